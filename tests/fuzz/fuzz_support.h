#pragma once
// Shared by the fuzz targets: checks that trap; a judge of UTF-8 that is not
// the game's own (glibc iconv: no overlong forms, no surrogates; the four-byte
// forms past U+10FFFF it decodes, UTF-8 does not have, so they are refused
// here); and a terminal in memory for targets that run whole screens.
#include <iconv.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/platform.h"

#define CHECK(condition)                \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (false)

namespace kotodama::fuzz {

// The code points of `utf8`, or nothing when it is not valid UTF-8.
inline std::optional<std::wstring> decodeUtf8(std::string_view utf8) {
  static const iconv_t cd = iconv_open("WCHAR_T", "UTF-8");
  CHECK(cd != reinterpret_cast<iconv_t>(-1));
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in(utf8);
  std::wstring out(utf8.size() + 1, L'\0');
  char *inPtr = in.data(), *outPtr = reinterpret_cast<char*>(out.data());
  std::size_t inLeft = in.size(), outLeft = out.size() * sizeof(wchar_t);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
  out.resize(out.size() - outLeft / sizeof(wchar_t));
  if (std::ranges::any_of(out, [](wchar_t c) { return c > 0x10FFFF; })) return std::nullopt;
  return out;
}

// What goes to a UTF-8 terminal: whole characters, and no control character
// but the ESC that starts a sequence.
inline void checkTerminalText(std::string_view bytes) {
  const auto points = decodeUtf8(bytes);
  CHECK(points.has_value());
  for (wchar_t c : *points) CHECK(c == 0x1B || (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)));
}

// A virtual clock that jumps to each deadline; output checked as terminal
// text, then dropped; input that taps `keys` in turn, one every 200 ticks,
// round and round (a tap that comes and goes while the game waits is lost, as
// on a terminal). A screen still going after 600,000 ticks, or polling a
// million times with the clock standing still, is stuck; so is one that ends
// the process.
class MemoryPlatform : public Platform {
 public:
  std::vector<std::string_view> keys;

  TerminalEncoding encoding() const override { return TerminalEncoding::Utf8; }
  bool hasOutput() const override { return true; }
  bool hasInput() const override { return true; }
  bool inputEnded() const override { return false; }
  std::int64_t now() override { return now_; }
  JoystickReading joystick(int) override { return {}; }
  [[noreturn]] void exitProcess(int) override { __builtin_trap(); }
  void sleepUntil(std::int64_t deadline) override { advance(deadline); }
  void waitForInput(std::int64_t deadline) override { advance(keys.empty() || deadline < nextKey_ ? deadline : nextKey_); }
  void write(const char* bytes, std::size_t size) override { checkTerminalText({bytes, size}); }

  std::size_t read(char* buffer, std::size_t capacity) override {
    CHECK(++readsAtOnce_ <= 1'000'000);
    if (keys.empty() || now_ < nextKey_) return 0;
    nextKey_ = now_ + 200;
    return keys[turn_++ % keys.size()].copy(buffer, capacity);
  }

 private:
  void advance(std::int64_t t) {
    if (t > now_) {
      now_ = t;
      readsAtOnce_ = 0;
    }
    CHECK(now_ <= 600'000);
  }
  std::int64_t now_ = 0, nextKey_ = 0;
  std::size_t turn_ = 0;
  int readsAtOnce_ = 0;
};

}  // namespace kotodama::fuzz
