#pragma once
// A stand-in for the Windows console that keeps the console's state: the
// cells of the screen buffer with their attributes, the cursor, the text
// attribute, the caret, the input mode, the handles, and whether a restore is
// armed. Input events wait in it until their time on a virtual clock; typed
// lines are answered from a list. Tests look at the state, not at the calls.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "console/console_api.h"

namespace kotodama::test {

class FakeConsole : public ConsoleApi {
 public:
  static constexpr ConsoleHandle kOutput = 7;
  static constexpr ConsoleHandle kInput = 3;

  FakeConsole(int columns = 120, int rows = 300);
  ~FakeConsole() override;

  struct Cell {
    std::string text = " ";  // UTF-8, or the Shift-JIS bytes written; "" on the right half of a wide character
    std::uint16_t attribute = 0x07;
  };

  // --- the console's state
  int columns, rows;
  std::vector<Cell> cells;
  Coord cursor{0, 0};
  SmallRect window{0, 0, 79, 24};
  std::uint16_t attribute = 0x07;
  ConsoleCursorInfo caret{25, true};
  std::uint32_t inputMode = 0x1F7;  // a console window's usual input mode
  std::uint32_t outputCodePage = 932;
  bool outputOpen = true, inputOpen = true;
  bool restoreArmed = false;
  ConsoleRestore armed;  // what an outside stop would put back
  std::int64_t clock = 0;
  std::int64_t inputWaits = 0;  // idle sleeps until input
  bool ended = false;           // exitProcess was called

  const Cell& cell(int x, int y) const { return cells[static_cast<std::size_t>(y * columns + x)]; }
  // The text of row `y` of the buffer from column `x`, `n` cells (right
  // halves of wide characters skipped).
  std::string text(int x, int y, int n) const;

  // --- what happens to it
  bool versionOk = true;
  std::uint32_t platformId = kPlatformWin32Nt;
  ConsoleHandle stdOutput = kOutput;
  ConsoleHandle stdInput = kInput;
  bool screenInfoOk = true, cursorInfoOk = true, modeOk = true, countOk = true, readOk = true;
  std::string systemMessage = "The handle is invalid.\r\n";
  int messagesAllocated = 0;  // texts not yet given back with LocalFree
  std::uint32_t joystickError[2] = {167, 167};  // JOYERR_UNPLUGGED
  JoyInfo joystick[2];
  std::vector<std::string> multimedia;  // MCI and waveform calls, in order
  // Input records and the time they arrive at.
  void at(std::int64_t t, const InputRecord& record) { events_.push_back({t, record}); }
  // The time the next input record arrives at (-1: none waits).
  std::int64_t nextArrival() const { return events_.empty() ? -1 : events_.front().time; }
  std::deque<std::string> lines;  // typed lines; none left: the read fails
  std::int64_t countOverride = -1;  // >= 0: the event count reported instead

  // --- ConsoleApi: the clock moves only when the game waits; a wait for
  // input ends when the next record arrives.
  std::int64_t now() override { return clock; }
  void waitForInput(std::int64_t deadline) override;
  void sleepUntil(std::int64_t deadline) override;
  [[noreturn]] void exitProcess(int status) override { throw Exit{status}; }
  struct Exit {
    int status;
  };
  std::int64_t clockLimit = 3'600'000;  // past this the clock throws Exit{-1}

  bool getVersionEx(VersionInfo& info) override;
  ConsoleHandle getStdHandle(std::uint32_t which) override;
  bool closeHandle(ConsoleHandle handle) override;
  std::uint32_t getLastError() override { return 6; }
  std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                              char** text) override;
  void localFree(char* text) override;
  bool setConsoleCursorPosition(ConsoleHandle output, Coord cell) override;
  bool setConsoleTextAttribute(ConsoleHandle output, std::uint16_t attribute) override;
  bool getConsoleCursorInfo(ConsoleHandle output, ConsoleCursorInfo& info) override;
  bool setConsoleCursorInfo(ConsoleHandle output, const ConsoleCursorInfo& info) override;
  bool getConsoleScreenBufferInfo(ConsoleHandle output, ScreenBufferInfo& info) override;
  bool fillConsoleOutputAttribute(ConsoleHandle output, std::uint16_t attribute, std::uint32_t length, Coord first,
                                  std::uint32_t& written) override;
  bool fillConsoleOutputCharacter(ConsoleHandle output, char character, std::uint32_t length, Coord first,
                                  std::uint32_t& written) override;
  std::uint32_t getConsoleOutputCP() override { return outputCodePage; }
  bool writeConsoleA(ConsoleHandle output, const char* bytes, std::size_t size) override;
  bool writeConsoleUtf8(ConsoleHandle output, const char* utf8, std::size_t size) override;
  bool getConsoleMode(ConsoleHandle handle, std::uint32_t& mode) override;
  bool setConsoleMode(ConsoleHandle handle, std::uint32_t mode) override;
  bool getNumberOfConsoleInputEvents(ConsoleHandle input, std::uint32_t& count) override;
  bool readConsoleInput(ConsoleHandle input, InputRecord* records, std::uint32_t length,
                        std::uint32_t& read) override;
  bool flushConsoleInputBuffer(ConsoleHandle input) override;
  bool readConsoleLine(ConsoleHandle input, std::string& utf8, std::size_t limit) override;
  void armRestore(const ConsoleRestore& restore) override;
  void disarmRestore() override { restoreArmed = false; }
  std::uint32_t joyGetPos(std::uint32_t joystickId, JoyInfo& info) override;
  std::uint32_t mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                               MciPlayParams* params) override;
  std::uint32_t waveOutReset(WaveOutHandle device) override;
  std::uint32_t waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) override;
  std::uint32_t waveOutClose(WaveOutHandle device) override;

 private:
  struct Timed {
    std::int64_t time;
    InputRecord record;
  };
  bool out(ConsoleHandle h) const { return h == kOutput && outputOpen; }
  bool in(ConsoleHandle h) const { return h == kInput && inputOpen; }
  void put(std::string text, int width);
  std::size_t due() const;
  std::deque<Timed> events_;
  std::vector<char*> allocated_;
};

// Short names for the records the tests feed in.
InputRecord keyEvent(std::uint16_t vk, bool down, std::uint32_t controlKeyState = 0);
InputRecord mouseEvent(std::int16_t x, std::int16_t y, std::uint32_t buttons, std::uint32_t flags = 0);

}  // namespace kotodama::test
