#pragma once
// A terminal in memory for fuzz targets that run whole screens: a virtual
// clock that jumps to each deadline; output checked to be well-formed UTF-8
// (no overlong forms, surrogates or code points past U+10FFFF) with no
// control character but the escape that starts a sequence, then dropped;
// input that taps `keys` in turn, one every 200 ticks, round and round (a tap
// that comes and goes while the game waits is lost, as on a terminal). A
// screen still going after 600,000 ticks is stuck. Ending the process throws
// Exit.
#include <cstdint>
#include <string_view>
#include <vector>

#include "console/platform.h"

namespace kotodama {

class MemoryPlatform : public Platform {
 public:
  struct Exit {};
  std::vector<std::string_view> keys;

  TerminalEncoding encoding() const override { return TerminalEncoding::Utf8; }
  bool hasOutput() const override { return true; }
  bool hasInput() const override { return true; }
  bool inputEnded() const override { return false; }
  std::int64_t now() override { return now_; }
  JoystickReading joystick(int) override { return {}; }
  [[noreturn]] void exitProcess(int) override { throw Exit{}; }
  void sleepUntil(std::int64_t deadline) override { advance(deadline); }
  void waitForInput(std::int64_t deadline) override { advance(keys.empty() || deadline < nextKey_ ? deadline : nextKey_); }

  void write(const char* bytes, std::size_t size) override {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size;) {
      const unsigned b = s[i];
      const std::size_t length = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
      if (length == 0 || length > size - i || (b < 0x20 && b != 0x1B) || b == 0x7F) __builtin_trap();
      for (std::size_t k = 1; k < length; ++k) {
        const unsigned lo = k > 1 ? 0x80 : b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const unsigned hi = k > 1 ? 0xBF : b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        if (s[i + k] < lo || s[i + k] > hi) __builtin_trap();
      }
      i += length;
    }
  }

  std::size_t read(char* buffer, std::size_t capacity) override {
    if (++readsAtOnce_ > 1'000'000) __builtin_trap();  // polling with the clock standing still
    if (keys.empty() || now_ < nextKey_) return 0;
    const std::string_view key = keys[turn_++ % keys.size()];
    nextKey_ = now_ + 200;
    return key.copy(buffer, capacity);
  }

 private:
  void advance(std::int64_t t) {
    if (t > now_) {
      now_ = t;
      readsAtOnce_ = 0;
    }
    if (now_ > 600'000) __builtin_trap();
  }
  std::int64_t now_ = 0;
  std::int64_t nextKey_ = 0;
  std::size_t turn_ = 0;
  int readsAtOnce_ = 0;
};

}  // namespace kotodama
