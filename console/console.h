#pragma once
// The console: cursor placement, colours, clearing and the caret; polled
// keyboard, mouse and joystick state; typed lines; the game's clock; and the
// registry of sound handles. Every screen draws and reads through one Console.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

#include "console/console_api.h"
#include "console/host.h"

// GCC and clang check printf's arguments against its format; other
// compilers take the declaration as it is.
#if defined(__GNUC__) || defined(__clang__)
#define KOTODAMA_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define KOTODAMA_PRINTF_FORMAT(formatIndex, firstArgument)
#endif

namespace kotodama {

// Key codes the game asks keyDown about.
enum KeyCode : int {
  kLeftButton = 1,
  kRightButton = 2,
  kMiddleButton = 4,
  kEnter = 13,
  kEscape = 27,
  kLeft = 37,
  kUp = 38,
  kRight = 39,
  kDown = 40,
  kPointerColumn = 257,
  kPointerRow = 258,
  kJoystick1X = 272,
  kJoystick1Y = 273,
  kJoystick1Z = 274,
  kJoystick1Buttons = 279,
  kJoystick2X = 280,
  kJoystick2Y = 281,
  kJoystick2Z = 282,
  kJoystick2Buttons = 287,
};

// A sound the console can play. No sound is ever opened by the game, so the
// registry stays empty and every sound call does nothing.
class Sound {
 public:
  virtual ~Sound() = default;
  std::uint32_t deviceId = 0;  // the opened device, 0 when none
  MciPlayParams playParams;    // handed to the device with each play command
};
using SoundHandle = std::intptr_t;  // the address of a Sound; 0 is no sound

class ConsoleBackend;
struct InputEvent;

// A foreground and a background colour, as setColor and clearScreen take them.
struct ColorPair {
  int fg;
  int bg;
};

class Console {
 public:
  // The console of the system the game was built for, on the platform it
  // owns (openHost).
  static std::unique_ptr<Console> open();

  // A console on `host`, which outlives it: on a terminal, escape sequences
  // out and terminal bytes in; on a Windows console, the console's own calls.
  explicit Console(Host& host);
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;
  virtual ~Console();

  // Output. Columns 1..80 and rows 1..25, counted from 1. Colours are the
  // sixteen console colours; 16 leaves that colour unchanged.
  void moveCursor(int x, int y);
  void setColor(int fg, int bg);
  void setColor(ColorPair colors) { setColor(colors.fg, colors.bg); }
  void clearScreen(int fg, int bg);
  void clearScreen(ColorPair colors) { clearScreen(colors.fg, colors.bg); }
  void setCursorVisible(int visible, unsigned size);

  // Game text (Shift-JIS) at the cursor. print() stops at the first NUL, as
  // printf("%s") does; printBytes() prints exactly `size` bytes, a NUL showing
  // as a blank cell; printf() formats first.
  void print(const char* text);
  void print(const std::string& text) { printBytes(text.data(), text.size()); }
  void printBytes(const char* bytes, std::size_t size);
  void printf(const char* format, ...) KOTODAMA_PRINTF_FORMAT(2, 3);

  // Sends everything printed so far to the terminal in one write. Done
  // before every pause (waitTicks, a poll that sleeps), line read and exit,
  // so a frame leaves at once.
  void flush();

  // Input. keyDown answers 1 or 0 for key codes and mouse buttons (0..255,
  // other codes by their low eight bits), the 1-based pointer column (257)
  // and row (258), 0 before the first mouse report, and joystick readings
  // (272..274, 279, 280..282, 287), -1 when the joystick cannot be read.
  int keyDown(int code);
  void resetKeys();

  // Returns after n milliseconds of the clock. Reads the terminal meanwhile,
  // but folds nothing into the key state.
  void waitTicks(int n);

  // The confirm wait: resetKeys(); unless Enter already reads as down, polls
  // the left button and Enter until one reads as down; then waitTicks(50).
  void confirmWait();

  // Reads one whitespace-delimited token from the typed input, as
  // scanf("%s") would, echoing the line being typed at the cursor. The token
  // comes back in Shift-JIS; a token longer than `limit` bytes comes back
  // cut to limit + 1 bytes (enough to tell it is too long). What follows the
  // token on its line stays pending for the next call. When standard input
  // ends (Ctrl+D on an empty line, a closed pipe), the game ends as END does.
  std::string readToken(std::size_t limit);

  // Stops the game after a fatal message: discards pending input, waits for
  // one line (Enter, what is typed echoed) or the end of input, and ends the
  // process with kFatalStopStatus, so that a save that failed is not
  // reported as success.
  static constexpr int kFatalStopStatus = 1;
  [[noreturn]] void stopAfterMessage();

  // Ends the process with the terminal restored.
  [[noreturn]] void exit(int status);

  // Sound registry.
  bool playSound(SoundHandle handle, bool loop);
  bool stopSound(SoundHandle handle);
  bool closeSound(SoundHandle handle);

  // Sounds and waveform devices opened outside the game (it opens none). A
  // registered handle is the address of a Sound made with new, which
  // closeSound deletes; a device's header and its data (both made with new)
  // are released and freed when the console is destroyed.
  void registerSound(SoundHandle handle);
  void addWaveDevice(WaveOutHandle device, WaveHeader* header);

 private:
  Console(Host& host, std::unique_ptr<Host> owned);
  void poll();  // takes in the input that is due and folds it
  void fold(const InputEvent& event);
  void readLine();
  void releaseWaveDevices();
  bool soundRegistered(SoundHandle handle) const;

  std::unique_ptr<Host> host_;  // the platform, when the console owns it; outlives the backend
  std::unique_ptr<ConsoleBackend> backend_;
  std::vector<InputEvent> events_;  // scratch room for one poll
  int idlePolls_ = 0;
  std::string pendingLine_;  // typed text not yet taken by readToken (Shift-JIS)

  // State in the order the console keeps it.
  struct CursorInfo {
    std::uint32_t size = 8;
    bool visible = true;
  } cursorInfo_;
  std::int16_t originX_ = 1;
  std::int16_t originY_ = 1;
  // Only stored: the console keeps its colours until the first setColor.
  int foreground_ = 15;
  int background_ = 0;
  std::uint32_t keyState_[8] = {};
  std::int16_t mouseX_ = -1;
  std::int16_t mouseY_ = -1;
  std::map<WaveOutHandle, WaveHeader*> waveDevices_;
  std::multiset<std::intptr_t> soundRegistry_;

};

}  // namespace kotodama
