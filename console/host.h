#pragma once
// What every platform gives the game, whatever it draws on: a monotonic
// clock, sleeping, and the end of the process; and which of the two seams it
// is: a terminal's bytes (platform.h) or a Windows console's calls
// (console_api.h). Only those two derive from it.
#include <cstdint>
#include <memory>

namespace kotodama {

class Platform;
class ConsoleApi;

class Host {
 public:
  virtual ~Host() = default;
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Milliseconds of a monotonic clock.
  virtual std::int64_t now() = 0;

  // Sleeps until input can be read or the clock reaches `deadline`, whichever
  // comes first. A deadline in the past returns at once.
  virtual void waitForInput(std::int64_t deadline) = 0;

  // Sleeps until the clock reaches `deadline`, whatever arrives meanwhile.
  virtual void sleepUntil(std::int64_t deadline) = 0;

  // Ends the process with `status`. A terminal is put back as it was first;
  // a Windows console has been given back by the Console already.
  [[noreturn]] virtual void exitProcess(int status) = 0;

  // The seam this platform is; the other one is null.
  virtual Platform* terminal() { return nullptr; }
  virtual ConsoleApi* windowsConsole() { return nullptr; }

 private:
  Host() = default;
  friend class Platform;
  friend class ConsoleApi;
};

// The platform of the system the game was built for: the terminal it was
// started in, which it takes over at once and gives back when destroyed or on
// exitProcess; on Windows, the console's calls.
std::unique_ptr<Host> openHost();

}  // namespace kotodama
