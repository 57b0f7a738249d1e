#pragma once
// What the Console draws and reads through: the terminal (escape sequences,
// the input decoder and its event queue, line editing) or the Windows
// console (its own calls). Private to the console layer; the screens only
// see the Console.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/console_api.h"
#include "console/input_decoder.h"
#include "console/platform.h"

namespace kotodama {

// A typed line keeps at most this many bytes, as a terminal line does.
inline constexpr std::size_t kLineLimit = 4096;
// How long one idle sleep of a polling loop lasts at most.
inline constexpr std::int64_t kIdleSleepMs = 250;

class ConsoleBackend {
 public:
  virtual ~ConsoleBackend() = default;

  // Standard output can be drawn on.
  virtual bool hasOutput() const = 0;

  // Output. The cell is counted from 0 at the top-left corner; the colours
  // are the pair the console now stores, fg and bg the arguments as given
  // (16: unchanged).
  virtual void moveCursor(long column, long row) = 0;
  virtual void setColor(int fg, int bg, int storedFg, int storedBg) = 0;
  virtual void clearScreen(int fg, int bg, int storedFg, int storedBg) = 0;
  virtual void setCursor(bool visible, std::uint32_t size) = 0;
  virtual void print(const char* bytes, std::size_t size) = 0;
  virtual void flush() = 0;

  // Input. poll() appends the events that are due now, as the console folds
  // them; Nothing when none arrived, Ended when none ever will.
  enum class Polled { Events, Nothing, Ended };
  virtual Polled poll(std::vector<InputEvent>& out) = 0;
  // After many polls in a row found nothing: sleeps until input may have
  // arrived (a quarter of a second at most).
  virtual void idle() = 0;
  // keyDown has just answered that this key-state bit reads as down.
  virtual void reportedDown(int /*bit*/) {}
  // resetKeys: every key reads up.
  virtual void keysForgotten() {}
  // keyDown has just read the pointer's column or row.
  virtual void pointerRead() {}
  // Returns after n milliseconds; what arrives meanwhile waits.
  virtual void waitTicks(int n) = 0;
  // One typed line, in Shift-JIS without its line end, echoed as it is
  // typed; false when input has ended with nothing typed.
  virtual bool readLine(std::string& line) = 0;
  // Forgets every input that waits.
  virtual void discardInput() = 0;
  virtual JoystickReading joystick(int id) = 0;

  // Sound devices.
  virtual bool playSound(std::uint32_t deviceId, MciPlayParams& params, bool loop) = 0;
  virtual bool stopSound(std::uint32_t deviceId) = 0;
  virtual void releaseWaveDevice(WaveOutHandle device, WaveHeader* header) = 0;

  // Gives the console back as the game found it (at most once).
  virtual void restore() = 0;
  [[noreturn]] virtual void exitProcess(int status) = 0;
};

std::unique_ptr<ConsoleBackend> makeTerminalBackend(Platform& platform);
std::unique_ptr<ConsoleBackend> makeConsoleApiBackend(ConsoleApi& api);

}  // namespace kotodama
