#pragma once
// The Windows console, joystick and sound calls that the console-API mode
// draws, reads and plays through, behind one narrow interface: the whole
// Windows platform. The records mirror the Windows ones field for field in
// plain portable types, so the console-API mode builds and is tested on every
// platform: platform_win32*.cpp hand each call to the system, the tests keep
// a console's state in a fake.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/host.h"

namespace kotodama {

// A console handle (HANDLE). Only kInvalidHandle (INVALID_HANDLE_VALUE) means
// "none"; a null handle is used like any other.
using ConsoleHandle = std::intptr_t;
inline constexpr ConsoleHandle kInvalidHandle = -1;

// GetStdHandle's STD_INPUT_HANDLE and STD_OUTPUT_HANDLE.
inline constexpr std::uint32_t kStdInputHandle = 0xFFFFFFF6u;   // (DWORD)-10
inline constexpr std::uint32_t kStdOutputHandle = 0xFFFFFFF5u;  // (DWORD)-11

// OSVERSIONINFOA, 148 bytes; `size` is dwOSVersionInfoSize.
struct VersionInfo {
  std::uint32_t size = 0;
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
  std::uint32_t platformId = 0;
  char servicePack[128] = {};
};
static_assert(sizeof(VersionInfo) == 148);
inline constexpr std::uint32_t kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT

// COORD, SMALL_RECT, CONSOLE_SCREEN_BUFFER_INFO, CONSOLE_CURSOR_INFO.
struct Coord {
  std::int16_t x = 0;
  std::int16_t y = 0;
};
struct SmallRect {
  std::int16_t left = 0, top = 0, right = 0, bottom = 0;
};
struct ScreenBufferInfo {
  Coord size;  // the whole buffer, not just the window
  Coord cursor;
  std::uint16_t attributes = 0;
  SmallRect window;
  Coord maximumWindowSize;
};
struct ConsoleCursorInfo {
  std::uint32_t size = 0;  // per cent of the cell, 1..100
  bool visible = false;
};

// INPUT_RECORD and its KEY_EVENT_RECORD and MOUSE_EVENT_RECORD. The Windows
// record keeps these in a union; here both are members and only the one the
// event type names means anything.
inline constexpr std::uint16_t kKeyEvent = 0x0001;
inline constexpr std::uint16_t kMouseEvent = 0x0002;
inline constexpr std::uint16_t kWindowBufferSizeEvent = 0x0004;
inline constexpr std::uint16_t kMenuEvent = 0x0008;
inline constexpr std::uint16_t kFocusEvent = 0x0010;

// dwControlKeyState bits.
inline constexpr std::uint32_t kRightAltPressed = 0x0001;
inline constexpr std::uint32_t kLeftAltPressed = 0x0002;
inline constexpr std::uint32_t kRightCtrlPressed = 0x0004;
inline constexpr std::uint32_t kLeftCtrlPressed = 0x0008;
inline constexpr std::uint32_t kShiftPressed = 0x0010;

// dwButtonState bits.
inline constexpr std::uint32_t kFromLeft1stButtonPressed = 0x0001;
inline constexpr std::uint32_t kRightmostButtonPressed = 0x0002;
inline constexpr std::uint32_t kFromLeft2ndButtonPressed = 0x0004;

struct KeyEventRecord {
  bool keyDown = false;
  std::uint16_t repeatCount = 0;
  std::uint16_t virtualKeyCode = 0;
  std::uint16_t virtualScanCode = 0;
  char asciiChar = 0;
  std::uint32_t controlKeyState = 0;
};
struct MouseEventRecord {
  Coord position;  // the cell of the screen buffer, from 0
  std::uint32_t buttonState = 0;
  std::uint32_t controlKeyState = 0;
  std::uint32_t eventFlags = 0;
};
struct InputRecord {
  std::uint16_t eventType = 0;
  KeyEventRecord key;
  MouseEventRecord mouse;
};

// Console input mode bits (GetConsoleMode / SetConsoleMode on the input).
inline constexpr std::uint32_t kEnableProcessedInput = 0x0001;
inline constexpr std::uint32_t kEnableLineInput = 0x0002;
inline constexpr std::uint32_t kEnableEchoInput = 0x0004;
inline constexpr std::uint32_t kEnableWindowInput = 0x0008;
inline constexpr std::uint32_t kEnableMouseInput = 0x0010;
inline constexpr std::uint32_t kEnableInsertMode = 0x0020;
inline constexpr std::uint32_t kEnableQuickEditMode = 0x0040;
inline constexpr std::uint32_t kEnableExtendedFlags = 0x0080;
inline constexpr std::uint32_t kEnableVirtualTerminalInput = 0x0200;

// FormatMessageA flags, and the user's default language (LANG_NEUTRAL,
// SUBLANG_DEFAULT).
inline constexpr std::uint32_t kFormatMessageAllocateBuffer = 0x0100;
inline constexpr std::uint32_t kFormatMessageIgnoreInserts = 0x0200;
inline constexpr std::uint32_t kFormatMessageFromSystem = 0x1000;
inline constexpr std::uint32_t kLanguageUserDefault = 0x0400;

// JOYINFO; joyGetPos answers 0 (JOYERR_NOERROR) when it read the joystick.
struct JoyInfo {
  std::uint32_t x = 0, y = 0, z = 0, buttons = 0;
};
inline constexpr std::uint32_t kJoystickId1 = 0;
inline constexpr std::uint32_t kJoystickId2 = 1;
inline constexpr std::uint32_t kJoyErrNoError = 0;

// MCI commands and flags, and MCI_PLAY_PARMS.
inline constexpr std::uint32_t kMciPlay = 0x0806;
inline constexpr std::uint32_t kMciStop = 0x0808;
inline constexpr std::uint32_t kMciNotify = 0x00000001;
inline constexpr std::uint32_t kMciWait = 0x00000002;
inline constexpr std::uint32_t kMciFrom = 0x00000004;
inline constexpr std::uint32_t kMciTo = 0x00000008;
inline constexpr std::uint32_t kMciDgvPlayRepeat = 0x00010000;
struct MciPlayParams {
  std::uintptr_t callback = 0;
  std::uint32_t from = 0;
  std::uint32_t to = 0;
};

// A waveform-output device (HWAVEOUT) and WAVEHDR, field for field: 32 bytes
// on 32-bit Windows, 48 on 64-bit.
using WaveOutHandle = std::uintptr_t;
struct WaveHeader {
  char* data = nullptr;
  std::uint32_t bufferLength = 0;
  std::uint32_t bytesRecorded = 0;
  std::uintptr_t user = 0;
  std::uint32_t flags = 0;
  std::uint32_t loops = 0;
  WaveHeader* next = nullptr;
  std::uintptr_t reserved = 0;
};

// What every stop of the game puts back: the input mode, the colours and the
// caret the console had when the game took it over. A `has...` flag is false
// when that part could not be read.
struct ConsoleRestore {
  ConsoleHandle input = kInvalidHandle;
  ConsoleHandle output = kInvalidHandle;
  bool hasInputMode = false;
  std::uint32_t inputMode = 0;
  bool hasAttributes = false;
  std::uint16_t attributes = 0;
  bool hasCursor = false;
  ConsoleCursorInfo cursor;
};

// The Windows platform: the calls, named after the Windows functions they
// make, each answering as the Windows one does (true, or 0 for the
// multimedia calls, on success); the clock, sleeping and leaving are every
// platform's (host.h).
class ConsoleApi : public Host {
 public:
  ConsoleApi* windowsConsole() final { return this; }

  // kernel32
  virtual bool getVersionEx(VersionInfo& info) = 0;
  virtual ConsoleHandle getStdHandle(std::uint32_t which) = 0;
  virtual bool closeHandle(ConsoleHandle handle) = 0;
  virtual std::uint32_t getLastError() = 0;
  // FormatMessageA with no message source; with kFormatMessageAllocateBuffer
  // the text is allocated and its address stored in *text. Returns the
  // length of the text, 0 on failure.
  virtual std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                                      char** text) = 0;
  virtual void localFree(char* text) = 0;

  virtual bool setConsoleCursorPosition(ConsoleHandle output, Coord cell) = 0;
  virtual bool setConsoleTextAttribute(ConsoleHandle output, std::uint16_t attribute) = 0;
  virtual bool getConsoleCursorInfo(ConsoleHandle output, ConsoleCursorInfo& info) = 0;
  virtual bool setConsoleCursorInfo(ConsoleHandle output, const ConsoleCursorInfo& info) = 0;
  virtual bool getConsoleScreenBufferInfo(ConsoleHandle output, ScreenBufferInfo& info) = 0;
  virtual bool fillConsoleOutputAttribute(ConsoleHandle output, std::uint16_t attribute, std::uint32_t length,
                                          Coord first, std::uint32_t& written) = 0;
  virtual bool fillConsoleOutputCharacter(ConsoleHandle output, char character, std::uint32_t length, Coord first,
                                          std::uint32_t& written) = 0;
  virtual std::uint32_t getConsoleOutputCP() = 0;
  // WriteConsoleA: bytes in the console's output code page, all of them.
  virtual bool writeConsoleA(ConsoleHandle output, const char* bytes, std::size_t size) = 0;
  // WriteConsoleW of UTF-8 text converted to UTF-16.
  virtual bool writeConsoleUtf8(ConsoleHandle output, const char* utf8, std::size_t size) = 0;

  virtual bool getConsoleMode(ConsoleHandle handle, std::uint32_t& mode) = 0;
  virtual bool setConsoleMode(ConsoleHandle handle, std::uint32_t mode) = 0;
  virtual bool getNumberOfConsoleInputEvents(ConsoleHandle input, std::uint32_t& count) = 0;
  // ReadConsoleInputA into `records`, room for `length`; `read` is how many
  // it filled (never more than length).
  virtual bool readConsoleInput(ConsoleHandle input, InputRecord* records, std::uint32_t length,
                                std::uint32_t& read) = 0;
  virtual bool flushConsoleInputBuffer(ConsoleHandle input) = 0;
  // Reads one typed line with the console's own line editing and echo
  // (ReadConsoleW, in the line mode the caller has set), as UTF-8 without its
  // line end; at most `limit` bytes are kept, the rest of the line is read
  // and dropped. False when nothing can be read any more.
  virtual bool readConsoleLine(ConsoleHandle input, std::string& utf8, std::size_t limit) = 0;

  // Puts `restore` back if the process is stopped from outside (Ctrl+C,
  // Ctrl+Break, the window closed) until disarmRestore; from then on the game
  // changes nothing more on the console.
  virtual void armRestore(const ConsoleRestore& restore) = 0;
  virtual void disarmRestore() = 0;

  // winmm
  virtual std::uint32_t joyGetPos(std::uint32_t joystickId, JoyInfo& info) = 0;
  virtual std::uint32_t mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                                       MciPlayParams* params) = 0;
  virtual std::uint32_t waveOutReset(WaveOutHandle device) = 0;
  virtual std::uint32_t waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) = 0;
  virtual std::uint32_t waveOutClose(WaveOutHandle device) = 0;
};

}  // namespace kotodama
