#pragma once
// The terminal platform: the one seam between the game and a POSIX system
// (platform_posix*.cpp) or a web page (platform_web.cpp): bytes out, bytes
// in, joysticks, and what every platform gives (host.h: the clock, sleeping,
// leaving the process); scripted ones stand in for it in the tests. On
// Windows the seam is the console's own calls (console_api.h,
// platform_win32*.cpp).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "console/display_text.h"
#include "console/host.h"
#include "console/terminal.h"

namespace kotodama {

struct JoystickReading {
  bool ok = false;  // false: absent or unreadable
  std::uint32_t x = 0, y = 0, z = 0, buttons = 0;
};

// Keys that a terminal driver turns into signals; under the keyboard
// protocol the terminal sends them as keys instead.
enum class KeySignal { Interrupt, Quit, Suspend };

class Platform : public Host {
 public:
  Platform* terminal() final { return this; }

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
};

}  // namespace kotodama
