#pragma once
// A stand-in for the Windows console that keeps the console's state: the
// cells of the screen buffer with their attributes, the cursor, the text
// attribute, the caret, the input mode, the handles, and whether a restore is
// armed. Input records wait in it until their time on a virtual clock; typed
// lines are answered from a list. Tests look at the state, not at the calls.
#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/console_api.h"

namespace kotodama::test {

class FakeConsole : public ConsoleApi {
 public:
  static constexpr ConsoleHandle kOutput = 7, kInput = 3;
  static constexpr int kColumns = 120, kRows = 300;  // the buffer; the window is only its top 80 x 25
  struct Cell {
    std::string text = " ";  // UTF-8, or the Shift-JIS bytes written; "" on the right half of a wide character
    std::uint16_t attribute = 0x07;
  };
  struct Exit {};  // thrown by exitProcess, and when the clock runs past an hour

  // --- the console's state
  std::vector<Cell> cells = std::vector<Cell>(kColumns * kRows);
  Coord cursor;
  std::uint16_t attribute = 0x07;
  ConsoleCursorInfo caret{25, true};
  std::uint32_t inputMode = 0x1F7;  // a console window's usual input mode
  std::uint32_t outputCodePage = 932;
  bool outputOpen = true, inputOpen = true;
  std::optional<ConsoleRestore> armed;        // what an outside stop would put back; none: not armed
  std::int64_t clock = 0, inputWaits = 0;     // inputWaits: idle sleeps until input
  std::deque<std::pair<std::int64_t, InputRecord>> events;  // input records and the time they arrive at
  std::deque<std::string> lines;              // typed lines; none left: the read fails
  std::vector<std::string> multimedia;        // MCI and waveform calls, in order
  std::optional<JoyInfo> joystick[2];  // none: unplugged
  int messagesAllocated = 0;  // system texts not yet given back with LocalFree
  int exitStatus = -1;        // -1: the process has not ended

  // --- what happens to it
  ConsoleHandle stdInput = kInput;
  bool screenInfoOk = true;
  std::uint32_t countOverride = 0;  // > 0: the event count reported instead

  const Cell& cell(int x, int y) const { return cells[static_cast<std::size_t>(y * kColumns + x)]; }
  // `n` cells of row `y` from column `x` (right halves of wide characters add nothing).
  std::string text(int x, int y, int n) const {
    std::string s;
    for (int i = x; i < x + n; ++i) s += cell(i, y).text;
    return s;
  }

  // --- ConsoleApi: the clock moves only when the game waits; a wait for
  // input ends when the next record arrives.
  std::int64_t now() override { return clock; }
  void waitForInput(std::int64_t deadline) override {
    ++inputWaits;
    const std::int64_t next = events.empty() ? deadline : events.front().first;
    sleepUntil(next > clock ? std::min(next, deadline) : deadline);
  }
  void sleepUntil(std::int64_t deadline) override {
    clock = std::max(clock, deadline);
    if (clock > 3'600'000) throw Exit{};
  }
  [[noreturn]] void exitProcess(int status) override {
    exitStatus = status;
    throw Exit{};
  }

  bool getVersionEx(VersionInfo& info) override { return info.size == sizeof info; }
  ConsoleHandle getStdHandle(std::uint32_t which) override { return which == kStdOutputHandle ? kOutput : stdInput; }
  bool closeHandle(ConsoleHandle h) override {
    return store(out(h) || in(h), h == kOutput ? outputOpen : inputOpen, false);
  }
  std::uint32_t getLastError() override { return 6; }
  std::uint32_t formatMessage(std::uint32_t, std::uint32_t, std::uint32_t, char** text) override {
    static const char message[] = "The handle is invalid.\r\n";
    *text = std::strcpy(new char[sizeof message], message);
    ++messagesAllocated;
    return sizeof message - 1;
  }
  void localFree(char* text) override {
    delete[] text;
    --messagesAllocated;
  }

  bool setConsoleCursorPosition(ConsoleHandle h, Coord c) override {
    return store(out(h) && c.x >= 0 && c.y >= 0 && c.x < kColumns && c.y < kRows, cursor, c);
  }
  bool setConsoleTextAttribute(ConsoleHandle h, std::uint16_t a) override { return store(out(h), attribute, a); }
  bool getConsoleCursorInfo(ConsoleHandle h, ConsoleCursorInfo& info) override { return store(out(h), info, caret); }
  bool setConsoleCursorInfo(ConsoleHandle h, const ConsoleCursorInfo& info) override {
    return store(out(h) && info.size >= 1 && info.size <= 100, caret, info);
  }
  bool getConsoleScreenBufferInfo(ConsoleHandle h, ScreenBufferInfo& info) override {
    return store(out(h) && screenInfoOk, info, ScreenBufferInfo{{kColumns, kRows}, cursor, attribute, {}, {}});
  }
  bool fillConsoleOutputAttribute(ConsoleHandle h, std::uint16_t a, std::uint32_t n, Coord at,
                                  std::uint32_t& done) override {
    return fill(h, n, at, done, [a](Cell& c) { c.attribute = a; });
  }
  bool fillConsoleOutputCharacter(ConsoleHandle h, char ch, std::uint32_t n, Coord at, std::uint32_t& done) override {
    return fill(h, n, at, done, [ch](Cell& c) { c.text = std::string(1, ch); });
  }
  std::uint32_t getConsoleOutputCP() override { return outputCodePage; }
  bool writeConsoleA(ConsoleHandle h, const char* s, std::size_t n) override { return write(h, s, n, false); }
  bool writeConsoleUtf8(ConsoleHandle h, const char* s, std::size_t n) override { return write(h, s, n, true); }

  bool getConsoleMode(ConsoleHandle h, std::uint32_t& mode) override { return store(in(h), mode, inputMode); }
  bool setConsoleMode(ConsoleHandle h, std::uint32_t mode) override { return store(in(h), inputMode, mode); }
  bool getNumberOfConsoleInputEvents(ConsoleHandle h, std::uint32_t& count) override {
    return store(in(h), count, countOverride > 0 ? countOverride : static_cast<std::uint32_t>(due()));
  }
  bool readConsoleInput(ConsoleHandle h, InputRecord* records, std::uint32_t length, std::uint32_t& read) override {
    for (read = 0; in(h) && read < length && due() > 0; events.pop_front()) records[read++] = events.front().second;
    return in(h);
  }
  bool flushConsoleInputBuffer(ConsoleHandle h) override {
    while (in(h) && due() > 0) events.pop_front();
    return in(h);
  }
  bool readConsoleLine(ConsoleHandle h, std::string& utf8, std::size_t limit) override {
    if (!in(h) || lines.empty()) return false;
    utf8 = lines.front().substr(0, limit);
    lines.pop_front();
    if ((inputMode & kEnableEchoInput) != 0 && writeConsoleUtf8(kOutput, utf8.data(), utf8.size())) newLine();
    return true;
  }
  void armRestore(const ConsoleRestore& restore) override { armed = restore; }
  void disarmRestore() override { armed.reset(); }

  std::uint32_t joyGetPos(std::uint32_t id, JoyInfo& info) override {
    return id < 2 && joystick[id] && store(true, info, *joystick[id]) ? 0 : 167;  // JOYERR_UNPLUGGED
  }
  std::uint32_t mciSendCommand(std::uint32_t id, std::uint32_t msg, std::uintptr_t flags, MciPlayParams* p) override {
    return p != nullptr ? log("mci", {id, msg, flags, p->from}) : log("mci", {id, msg, flags});
  }
  std::uint32_t waveOutReset(WaveOutHandle d) override { return log("reset", {d}); }
  std::uint32_t waveOutUnprepareHeader(WaveOutHandle d, WaveHeader*, std::uint32_t size) override {
    return log("unprepare", {d, size});
  }
  std::uint32_t waveOutClose(WaveOutHandle d) override { return log("close", {d}); }

 private:
  bool out(ConsoleHandle h) const { return h == kOutput && outputOpen; }
  bool in(ConsoleHandle h) const { return h == kInput && inputOpen; }
  // A call that succeeds when `ok` and then copies `value` into `field`.
  template <typename T>
  static bool store(bool ok, T& field, const T& value) {
    if (ok) field = value;
    return ok;
  }
  template <typename Paint>
  bool fill(ConsoleHandle h, std::uint32_t length, Coord first, std::uint32_t& n, Paint paint) {
    const auto start = static_cast<std::size_t>(first.y * kColumns + first.x);
    for (n = 0; out(h) && n < length && start + n < cells.size(); ++n) paint(cells[start + n]);
    return out(h);
  }
  // A multimedia call as its name and its numbers: "mci 5 2054 65540 0".
  std::uint32_t log(std::string call, std::initializer_list<std::uintptr_t> numbers) {
    for (const std::uintptr_t n : numbers) call += " " + std::to_string(n);
    multimedia.push_back(call);
    return 0;
  }
  // Text at the cursor: Shift-JIS (a lead byte and its trail take two cells on code page 932) or UTF-8
  // (U+3000 to U+EFFF, CJK, kana and hangul, take two cells, the rest one).
  bool write(ConsoleHandle h, const char* bytes, std::size_t size, bool utf8) {
    for (std::size_t i = 0, n = 1; out(h) && i < size; i += n) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      const bool lead = outputCodePage == 932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
      const std::size_t utf8Length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      n = utf8 ? std::min(utf8Length, size - i) : lead && i + 1 < size ? 2 : 1;
      if (b == '\r') cursor.x = 0;
      else if (b == '\n') newLine();
      else put(std::string(bytes + i, n), utf8 ? 1 + (n == 3 && b >= 0xE3 && b <= 0xEE) : static_cast<int>(n));
    }
    return out(h);
  }
  void newLine() {
    cursor.x = 0;
    if (cursor.y + 1 < kRows) ++cursor.y;
  }
  // One character taking `width` cells at the cursor, on the next row when it does not fit.
  void put(std::string text, int width) {
    if (cursor.x + width > kColumns) newLine();
    Cell* first = &cells[static_cast<std::size_t>(cursor.y * kColumns + cursor.x)];
    for (int i = 0; i < width; ++i) first[i] = Cell{i == 0 ? text : "", attribute};
    cursor.x = static_cast<std::int16_t>(cursor.x + width);
    if (cursor.x >= kColumns) newLine();
  }
  // How many input records have arrived by now.
  std::size_t due() const {
    const auto later = std::find_if(events.begin(), events.end(), [this](const auto& e) { return e.first > clock; });
    return static_cast<std::size_t>(later - events.begin());
  }
};

// Short names for the records the tests feed in.
inline InputRecord keyEvent(std::uint16_t vk, bool down, std::uint32_t controlKeyState = 0) {
  return InputRecord{kKeyEvent, KeyEventRecord{down, 1, vk, 0, 0, controlKeyState}, {}};
}
inline InputRecord mouseEvent(std::int16_t x, std::int16_t y, std::uint32_t buttons) {
  return InputRecord{kMouseEvent, {}, MouseEventRecord{Coord{x, y}, buttons, 0, 0}};
}

}  // namespace kotodama::test
