// The terminal platform in a web page (an Emscripten build): the game's bytes
// go to the page's terminal emulator and the bytes it sends come back through
// the page (web/kotodama.js). Waits yield to the browser (Asyncify), so the
// page stays responsive while the game sleeps.
#include <emscripten.h>

#include <cstdlib>

#include "console/platform.h"

namespace kotodama {

namespace {

// How long one slice of a wait lasts before the input is looked at again.
constexpr int kSliceMs = 8;

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

  void waitForInput(std::int64_t deadline) override {
    for (std::int64_t wait = deadline - now(); wait > 0 && !pageHasInput(); wait = deadline - now()) {
      emscripten_sleep(static_cast<unsigned>(wait < kSliceMs ? wait : kSliceMs));
    }
  }

  void sleepUntil(std::int64_t deadline) override {
    for (std::int64_t wait = deadline - now(); wait > 0; wait = deadline - now()) {
      emscripten_sleep(static_cast<unsigned>(wait > 60'000 ? 60'000 : wait));
    }
  }

  JoystickReading joystick(int) override { return {}; }

  [[noreturn]] void exitProcess(int status) override { std::exit(status); }
};

}  // namespace

std::unique_ptr<Platform> openPlatform() { return std::make_unique<WebPlatform>(); }

}  // namespace kotodama
