#pragma once
// A platform on the real monotonic clock whose input is a pipe and whose
// output is counted and dropped: the game's timing and CPU use, measured
// without a terminal in the way.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "console/platform.h"

namespace kotodama::bench {

struct Stop {};  // thrown to end a measured run

class RealtimePlatform : public Platform {
 public:
  RealtimePlatform() {
    if (pipe(fds_) != 0) throw std::runtime_error("pipe");
  }
  ~RealtimePlatform() override {
    close(fds_[0]);
    close(fds_[1]);
  }

  // Input as if typed now (from any thread).
  void type(std::string_view bytes) { (void)!::write(fds_[1], bytes.data(), bytes.size()); }

  TerminalEncoding encoding() const override { return TerminalEncoding::Utf8; }
  bool hasOutput() const override { return true; }
  bool hasInput() const override { return true; }
  void write(const char*, std::size_t size) override {
    writeTimes.push_back(now());
    writeSizes.push_back(size);
    if (onWrite) onWrite();
  }
  std::size_t read(char* buffer, std::size_t capacity) override {
    pollfd p{fds_[0], POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return 0;
    const ssize_t n = ::read(fds_[0], buffer, capacity);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  bool inputEnded() const override { return false; }
  std::int64_t now() override {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
  }
  void waitForInput(std::int64_t deadline) override {
    const std::int64_t wait = deadline - now();
    if (wait <= 0) return;
    pollfd p{fds_[0], POLLIN, 0};
    ::poll(&p, 1, static_cast<int>(wait));
  }
  void sleepUntil(std::int64_t deadline) override {
    for (std::int64_t wait = deadline - now(); wait > 0; wait = deadline - now()) ::poll(nullptr, 0, static_cast<int>(wait));
  }
  JoystickReading joystick(int) override { return {}; }
  [[noreturn]] void exitProcess(int) override { throw Stop{}; }

  std::vector<std::int64_t> writeTimes;
  std::vector<std::size_t> writeSizes;
  void (*onWrite)() = nullptr;

 private:
  int fds_[2] = {-1, -1};
};

// CPU time used by this process so far, in milliseconds.
inline double cpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace kotodama::bench
