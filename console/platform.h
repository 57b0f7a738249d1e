#pragma once
// The terminal platform: the one seam between the game and a POSIX system
// (platform_posix.cpp): bytes out, bytes in, a monotonic clock, sleeping,
// joysticks and leaving the process; scripted ones stand in for it in the
// tests. On Windows the seam is the console's own calls (console_api.h,
// platform_win32.cpp).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "console/console_api.h"
#include "console/display_text.h"
#include "console/terminal.h"

namespace kotodama {

struct JoystickReading {
  bool ok = false;  // false: absent or unreadable
  std::uint32_t x = 0, y = 0, z = 0, buttons = 0;
};

// Keys that a terminal driver turns into signals; under the keyboard
// protocol the terminal sends them as keys instead.
enum class KeySignal { Interrupt, Quit, Suspend };

class Platform {
 public:
  virtual ~Platform() = default;

  // How the terminal shows text.
  virtual TerminalEncoding encoding() const = 0;

  // Standard output and standard input exist (a closed descriptor has been
  // reported once already when this returns false).
  virtual bool hasOutput() const = 0;
  virtual bool hasInput() const = 0;

  // Writes terminal bytes, all of them, in order.
  virtual void write(const char* bytes, std::size_t size) = 0;

  // Reads the input bytes available now, without blocking; 0 when none.
  virtual std::size_t read(char* buffer, std::size_t capacity) = 0;

  // Standard input has ended: nothing will ever arrive again.
  virtual bool inputEnded() const = 0;

  // Milliseconds of a monotonic clock.
  virtual std::int64_t now() = 0;

  // Sleeps until input can be read or the clock reaches `deadline`, whichever
  // comes first. A deadline in the past returns at once.
  virtual void waitForInput(std::int64_t deadline) = 0;

  // Sleeps until the clock reaches `deadline`, whatever arrives meanwhile.
  virtual void sleepUntil(std::int64_t deadline) = 0;

  // Joystick 0 or 1.
  virtual JoystickReading joystick(int id) = 0;

  // Standard input and output are one interactive terminal, which answers
  // queries (the console may ask it what it knows).
  virtual bool answersQueries() const { return false; }

  // Frames that leave the screen as it was need not be written (a terminal
  // on a web page, where writing one costs the page a layout).
  virtual bool skipsUnchangedFrames() const { return false; }

  // The console has pushed (true) or popped (false) the keyboard protocol's
  // flags (CSI > 11 u / CSI < u): giving the terminal back pops them, taking
  // it again pushes them again.
  virtual void keyboardFlagsPushed(bool) {}

  // Ctrl+C, Ctrl+\ or Ctrl+Z arrived as a key: acts as the terminal driver
  // would have (ends or stops the process, the terminal given back first).
  virtual void keySignal(KeySignal) {}

  // True once after the terminal changed size or was given back and taken
  // again (a stop and continue): its screen must be drawn again. `size` is
  // its size now.
  virtual bool screenChanged(TerminalSize& /*size*/) { return false; }

  // Puts the terminal back as it was and ends the process with `status`.
  [[noreturn]] virtual void exitProcess(int status) = 0;
};

// The platform the game runs on: the terminal it was started in, which it
// takes over at once and gives back when destroyed or on exitProcess; on
// Windows, the console's calls.
#ifdef _WIN32
using NativePlatform = ConsoleApi;
#else
using NativePlatform = Platform;
#endif
std::unique_ptr<NativePlatform> openPlatform();

}  // namespace kotodama
