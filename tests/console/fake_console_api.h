#pragma once
// A recording stand-in for the Windows console, joystick and sound calls:
// every call is logged as one line ("SetConsoleCursorPosition(out,4,2)"), in
// order, with its arguments; the answers come from the public fields. And a
// platform that hands it to the Console, with a virtual clock.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "console/console_api.h"
#include "console/platform.h"

namespace kotodama::test {

class FakeConsoleApi : public ConsoleApi {
 public:
  static constexpr ConsoleHandle kOutput = 7;
  static constexpr ConsoleHandle kInput = 3;

  FakeConsoleApi() = default;
  FakeConsoleApi(const FakeConsoleApi&) = delete;
  FakeConsoleApi& operator=(const FakeConsoleApi&) = delete;
  ~FakeConsoleApi() override;

  // --- the calls made, oldest first; clearCalls() forgets them
  const std::vector<std::string>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  // The calls whose name starts with `prefix`.
  std::vector<std::string> callsTo(const std::string& prefix) const;

  // --- the answers
  bool versionOk = true;
  std::uint32_t platformId = kPlatformWin32Nt;
  ConsoleHandle stdOutput = kOutput;
  ConsoleHandle stdInput = kInput;
  std::uint32_t lastError = 6;
  std::string systemMessage = "The handle is invalid.\r\n";
  int messagesAllocated = 0;  // FormatMessage texts not yet given back with LocalFree
  bool screenInfoOk = true;
  ScreenBufferInfo screenInfo = defaultScreen();
  bool cursorInfoOk = true;
  ConsoleCursorInfo cursorInfo{25, true};
  std::uint32_t outputCodePage = 932;
  bool modeOk = true;
  std::uint32_t inputMode = 0x1F7;  // a console window's usual input mode
  // Input events waiting in the console. `countOk` / `readOk` false make
  // those calls fail; `countOverride` >= 0 reports that count instead.
  std::deque<InputRecord> events;
  bool countOk = true;
  bool readOk = true;
  std::int64_t countOverride = -1;
  // Lines typed at the console's own line input; none left: the read fails.
  std::deque<std::string> lines;
  // joyGetPos answers: error code, and the reading when it is 0.
  std::uint32_t joystickError[2] = {167, 167};  // JOYERR_UNPLUGGED
  JoyInfo joystick[2];
  std::uint32_t mciResult = 0;

  // --- ConsoleApi
  bool getVersionEx(VersionInfo& info) override;
  ConsoleHandle getStdHandle(std::uint32_t which) override;
  bool closeHandle(ConsoleHandle handle) override;
  std::uint32_t getLastError() override;
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
  std::uint32_t getConsoleOutputCP() override;
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
  void disarmRestore() override;
  std::uint32_t joyGetPos(std::uint32_t joystickId, JoyInfo& info) override;
  std::uint32_t mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                               MciPlayParams* params) override;
  std::uint32_t waveOutReset(WaveOutHandle device) override;
  std::uint32_t waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) override;
  std::uint32_t waveOutClose(WaveOutHandle device) override;

  // A 120 x 300 buffer with an 80 x 25 window scrolled to row 100.
  static ScreenBufferInfo defaultScreen();

 private:
  void log(std::string line) { calls_.push_back(std::move(line)); }
  std::vector<std::string> calls_;
  std::vector<char*> allocated_;
};

// Short names for the records the tests feed in.
InputRecord keyEvent(std::uint16_t vk, bool down, std::uint32_t controlKeyState = 0);
InputRecord mouseEvent(std::int16_t x, std::int16_t y, std::uint32_t buttons, std::uint32_t flags = 0);
InputRecord otherEvent(std::uint16_t type);

// Thrown by exitProcess.
struct FakeExit {
  int status;
};

// A platform whose console is the fake: a virtual clock that every wait
// moves, no terminal bytes, joysticks that would read 1, 2, 3, 4 if the
// console ever asked the platform instead of joyGetPos.
class FakeApiPlatform : public Platform {
 public:
  FakeConsoleApi api;
  std::int64_t clock = 0;
  int inputWaits = 0;  // waitForInput calls: the idle sleeps of a polling loop
  std::string terminalBytes;

  TerminalEncoding encoding() const override { return TerminalEncoding::Utf8; }
  bool hasOutput() const override { return true; }
  bool hasInput() const override { return true; }
  void write(const char* bytes, std::size_t size) override { terminalBytes.append(bytes, size); }
  std::size_t read(char*, std::size_t) override { return 0; }
  bool inputEnded() const override { return false; }
  std::int64_t now() override { return clock; }
  void waitForInput(std::int64_t deadline) override {
    ++inputWaits;
    clock = std::max(clock, deadline);
  }
  void sleepUntil(std::int64_t deadline) override { clock = std::max(clock, deadline); }
  JoystickReading joystick(int) override { return JoystickReading{true, 1, 2, 3, 4}; }
  ConsoleApi* consoleApi() override { return &api; }
  [[noreturn]] void exitProcess(int status) override { throw FakeExit{status}; }
};

}  // namespace kotodama::test
