// The terminal platform in a web page (an Emscripten build): the game's bytes
// go to the page's terminal emulator and the bytes it sends come back through
// the page (web/kotodama.js). Waits yield to the browser (Asyncify), so the
// page stays responsive while the game sleeps.
#include <emscripten.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/platform.h"
#include "slots/slot_file.h"

namespace kotodama {

namespace {

// The page's side (web/kotodama.js): Module.kotodamaWrite shows bytes,
// Module.kotodamaRead hands over what the visitor typed. The page hears of
// the end from the runtime itself (main returning, exit, abort) and gives its
// terminal back then, so every way out ends the same.
EM_JS(void, pageWrite, (const char* bytes, int size), {
  Module.kotodamaWrite(HEAPU8.slice(bytes, bytes + size));
});
EM_JS(int, pageRead, (char* buffer, int capacity), {
  return Module.kotodamaRead(HEAPU8.subarray(buffer, buffer + capacity));
});
EM_JS(int, pageHasInput, (), { return Module.kotodamaPending(); });
// Resolves after `ms`, or as soon as the visitor gives input; on a hidden
// page only then, or when the page is shown again.
EM_JS(void, pageWait, (int ms), { return Module.kotodamaResumeAfter(function () { return Module.kotodamaWait(ms); }); });
// The slot files' records in the page's storage (web/kotodama.js); the game
// waits while storage works.
EM_JS(void, pageLoadSlot, (const char* name), {
  return Module.kotodamaResumeAfter(function () { return Module.kotodamaLoadSlot(UTF8ToString(name)); });
});
EM_JS(int, pageStoreSlot, (const char* name), {
  return Module.kotodamaResumeAfter(function () { return Module.kotodamaStoreSlot(UTF8ToString(name)); });
});

bool isSlotFile(const char* path) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (std::strcmp(path, slotFileName(i)) == 0) return true;
  }
  return false;
}

// The slot files in the page's memory, each one kept in step with its
// record in storage: looked at or opened, a slot is read from storage first;
// a save's copy renamed over it counts only once storage holds it.
class WebSlotStorage final : public SlotStorage {
 public:
  int open(const char* path, OpenFor mode, int permissions) override {
    if ((mode == OpenFor::Reading || mode == OpenFor::Writing) && isSlotFile(path)) pageLoadSlot(path);
    return SlotStorage::open(path, mode, permissions);
  }

  int pathStatus(const char* path, FileStatus& status) override {
    if (isSlotFile(path)) pageLoadSlot(path);
    return SlotStorage::pathStatus(path, status);
  }

  int rename(const char* from, const char* to) override {
    refused_ = false;
    if (SlotStorage::rename(from, to) != 0) return -1;
    if (isSlotFile(to) && pageStoreSlot(to) != 1) {
      refused_ = true;
      errno = EIO;  // the save failed; the slot is read from storage again when next looked at
      return -1;
    }
    return 0;
  }

  std::string failureText() override {
    return refused_ ? "the browser's storage refused it" : SlotStorage::failureText();
  }

 private:
  bool refused_ = false;  // the last rename failed in storage, not in memory
};

class WebPlatform final : public Platform {
 public:
  WebPlatform() { write(kEnterSequence, sizeof kEnterSequence - 1); }

  TerminalEncoding encoding() const override { return TerminalEncoding::Utf8; }
  bool hasOutput() const override { return true; }
  bool hasInput() const override { return true; }

  void write(const char* bytes, std::size_t size) override {
    if (size > 0) pageWrite(bytes, static_cast<int>(size));
  }

  std::size_t read(char* buffer, std::size_t capacity) override {
    const int n = pageRead(buffer, static_cast<int>(capacity > 65536 ? 65536 : capacity));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }

  bool inputEnded() const override { return false; }

  // The page answers the keyboard protocol's query (web/kotodama.js).
  bool answersQueries() const override { return true; }

  std::int64_t now() override { return static_cast<std::int64_t>(emscripten_get_now()); }

  // One wait, woken by input: the callers look again and wait on. A hidden
  // page sleeps a second at a time, so the game all but stands still.
  void waitForInput(std::int64_t deadline) override {
    const std::int64_t wait = deadline - now();
    if (wait > 0 && !pageHasInput()) pageWait(static_cast<int>(wait > 60'000 ? 60'000 : wait));
  }

  bool skipsUnchangedFrames() const override { return true; }

  void sleepUntil(std::int64_t deadline) override {
    for (std::int64_t wait = deadline - now(); wait > 0; wait = deadline - now()) {
      emscripten_sleep(static_cast<unsigned>(wait > 60'000 ? 60'000 : wait));
    }
  }

  JoystickReading joystick(int) override { return {}; }

  [[noreturn]] void exitProcess(int status) override { std::exit(status); }
};

}  // namespace

std::unique_ptr<Host> openHost() { return std::make_unique<WebPlatform>(); }

SlotStorage& systemSlotStorage() {
  static WebSlotStorage storage;
  return storage;
}

}  // namespace kotodama
