#include "console/fake_console.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kotodama::test {

namespace {

// Cells a console gives a character: two for the wide East Asian ranges.
int widthOf(char32_t cp) {
  const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                    (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                    (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                    (cp >= 0xFFE0 && cp <= 0xFFE6);
  return wide ? 2 : 1;
}

}  // namespace

FakeConsole::FakeConsole(int c, int r) : columns(c), rows(r), cells(static_cast<std::size_t>(c * r)) {}

FakeConsole::~FakeConsole() {
  for (char* text : allocated_) delete[] text;
}

std::string FakeConsole::text(int x, int y, int n) const {
  std::string s;
  for (int i = x; i < x + n && i < columns; ++i) s += cell(i, y).text;
  return s;
}

void FakeConsole::put(std::string text, int width) {
  if (cursor.x + width > columns) {  // no room left on the row: on to the next
    cursor.x = 0;
    if (cursor.y + 1 < rows) ++cursor.y;
  }
  Cell& first = cells[static_cast<std::size_t>(cursor.y * columns + cursor.x)];
  first = Cell{std::move(text), attribute};
  for (int i = 1; i < width; ++i) cells[static_cast<std::size_t>(cursor.y * columns + cursor.x + i)] = Cell{"", attribute};
  cursor.x = static_cast<std::int16_t>(cursor.x + width);
  if (cursor.x >= columns) {
    cursor.x = 0;
    if (cursor.y + 1 < rows) ++cursor.y;
  }
}

void FakeConsole::waitForInput(std::int64_t deadline) {
  ++inputWaits;
  const std::int64_t next = nextArrival();
  sleepUntil(next > clock && next < deadline ? next : deadline);
}

void FakeConsole::sleepUntil(std::int64_t deadline) {
  clock = std::max(clock, deadline);
  if (clock > clockLimit) throw Exit{-1};
}

bool FakeConsole::getVersionEx(VersionInfo& info) {
  if (!versionOk || info.size != sizeof(VersionInfo)) return false;
  info.platformId = platformId;
  return true;
}

ConsoleHandle FakeConsole::getStdHandle(std::uint32_t which) {
  return which == kStdOutputHandle ? stdOutput : which == kStdInputHandle ? stdInput : kInvalidHandle;
}

bool FakeConsole::closeHandle(ConsoleHandle handle) {
  if (handle == kOutput && outputOpen) return !(outputOpen = false);
  if (handle == kInput && inputOpen) return !(inputOpen = false);
  return false;
}

std::uint32_t FakeConsole::formatMessage(std::uint32_t, std::uint32_t, std::uint32_t, char** text) {
  if (systemMessage.empty()) return 0;
  char* copy = new char[systemMessage.size() + 1];
  std::memcpy(copy, systemMessage.c_str(), systemMessage.size() + 1);
  allocated_.push_back(copy);
  ++messagesAllocated;
  *text = copy;
  return static_cast<std::uint32_t>(systemMessage.size());
}

void FakeConsole::localFree(char* text) {
  for (char*& t : allocated_) {
    if (t == text) {
      delete[] t;
      t = nullptr;
      --messagesAllocated;
    }
  }
}

bool FakeConsole::setConsoleCursorPosition(ConsoleHandle output, Coord c) {
  if (!out(output) || c.x < 0 || c.y < 0 || c.x >= columns || c.y >= rows) return false;
  cursor = c;
  return true;
}

bool FakeConsole::setConsoleTextAttribute(ConsoleHandle output, std::uint16_t a) {
  if (!out(output)) return false;
  attribute = a;
  return true;
}

bool FakeConsole::getConsoleCursorInfo(ConsoleHandle output, ConsoleCursorInfo& info) {
  if (!out(output) || !cursorInfoOk) return false;
  info = caret;
  return true;
}

bool FakeConsole::setConsoleCursorInfo(ConsoleHandle output, const ConsoleCursorInfo& info) {
  if (!out(output) || info.size < 1 || info.size > 100) return false;
  caret = info;
  return true;
}

bool FakeConsole::getConsoleScreenBufferInfo(ConsoleHandle output, ScreenBufferInfo& info) {
  if (!out(output) || !screenInfoOk) return false;
  info.size = Coord{static_cast<std::int16_t>(columns), static_cast<std::int16_t>(rows)};
  info.cursor = cursor;
  info.attributes = attribute;
  info.window = window;
  return true;
}

bool FakeConsole::fillConsoleOutputAttribute(ConsoleHandle output, std::uint16_t a, std::uint32_t length, Coord first,
                                             std::uint32_t& written) {
  if (!out(output)) return false;
  const std::size_t start = static_cast<std::size_t>(first.y * columns + first.x);
  written = 0;
  for (std::size_t i = start; i < cells.size() && written < length; ++i, ++written) cells[i].attribute = a;
  return true;
}

bool FakeConsole::fillConsoleOutputCharacter(ConsoleHandle output, char character, std::uint32_t length, Coord first,
                                             std::uint32_t& written) {
  if (!out(output)) return false;
  const std::size_t start = static_cast<std::size_t>(first.y * columns + first.x);
  written = 0;
  for (std::size_t i = start; i < cells.size() && written < length; ++i, ++written) cells[i].text = std::string(1, character);
  return true;
}

bool FakeConsole::writeConsoleA(ConsoleHandle output, const char* bytes, std::size_t size) {
  if (!out(output)) return false;
  for (std::size_t i = 0; i < size; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const bool lead = outputCodePage == 932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
    if (lead && i + 1 < size) {
      put(std::string(bytes + i, 2), 2);
      ++i;
    } else if (b == '\r') {
      cursor.x = 0;
    } else if (b == '\n') {
      if (cursor.y + 1 < rows) ++cursor.y;
    } else {
      put(std::string(1, static_cast<char>(b)), 1);
    }
  }
  return true;
}

bool FakeConsole::writeConsoleUtf8(ConsoleHandle output, const char* utf8, std::size_t size) {
  if (!out(output)) return false;
  for (std::size_t i = 0; i < size;) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? b : (b & (0xFF >> (n + 1)));
    for (std::size_t k = 1; k < n && i + k < size; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    put(std::string(utf8 + i, std::min(n, size - i)), widthOf(cp));
    i += n;
  }
  return true;
}

bool FakeConsole::getConsoleMode(ConsoleHandle handle, std::uint32_t& mode) {
  if (!in(handle) || !modeOk) return false;
  mode = inputMode;
  return true;
}

bool FakeConsole::setConsoleMode(ConsoleHandle handle, std::uint32_t mode) {
  if (!in(handle) || !modeOk) return false;
  inputMode = mode;
  return true;
}

std::size_t FakeConsole::due() const {
  std::size_t n = 0;
  while (n < events_.size() && events_[n].time <= clock) ++n;
  return n;
}

bool FakeConsole::getNumberOfConsoleInputEvents(ConsoleHandle input, std::uint32_t& count) {
  if (!in(input) || !countOk) return false;
  count = countOverride >= 0 ? static_cast<std::uint32_t>(countOverride) : static_cast<std::uint32_t>(due());
  return true;
}

bool FakeConsole::readConsoleInput(ConsoleHandle input, InputRecord* records, std::uint32_t length,
                                   std::uint32_t& read) {
  read = 0;
  if (!in(input) || !readOk) return false;
  while (read < length && due() > 0) {
    records[read++] = events_.front().record;
    events_.pop_front();
  }
  return true;
}

bool FakeConsole::flushConsoleInputBuffer(ConsoleHandle input) {
  if (!in(input)) return false;
  while (due() > 0) events_.pop_front();
  return true;
}

bool FakeConsole::readConsoleLine(ConsoleHandle input, std::string& utf8, std::size_t limit) {
  if (!in(input) || lines.empty()) return false;
  utf8 = lines.front().substr(0, limit);
  lines.pop_front();
  if ((inputMode & kEnableEchoInput) != 0) {
    writeConsoleUtf8(kOutput, utf8.data(), utf8.size());
    cursor.x = 0;
    if (cursor.y + 1 < rows) ++cursor.y;
  }
  return true;
}

void FakeConsole::armRestore(const ConsoleRestore& restore) {
  restoreArmed = true;
  armed = restore;
}

std::uint32_t FakeConsole::joyGetPos(std::uint32_t id, JoyInfo& info) {
  if (id > 1 || joystickError[id] != 0) return id > 1 ? 165 : joystickError[id];
  info = joystick[id];
  return 0;
}

std::uint32_t FakeConsole::mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                                          MciPlayParams* params) {
  char line[96];
  std::snprintf(line, sizeof line, "mci(%u,%#x,%#lx,%s)", deviceId, message, static_cast<unsigned long>(flags),
                params != nullptr ? std::to_string(params->from).c_str() : "-");
  multimedia.push_back(line);
  return 0;
}

std::uint32_t FakeConsole::waveOutReset(WaveOutHandle device) {
  multimedia.push_back("reset(" + std::to_string(device) + ")");
  return 0;
}

std::uint32_t FakeConsole::waveOutUnprepareHeader(WaveOutHandle device, WaveHeader*, std::uint32_t size) {
  multimedia.push_back("unprepare(" + std::to_string(device) + "," + std::to_string(size) + ")");
  return 0;
}

std::uint32_t FakeConsole::waveOutClose(WaveOutHandle device) {
  multimedia.push_back("close(" + std::to_string(device) + ")");
  return 0;
}

InputRecord keyEvent(std::uint16_t vk, bool down, std::uint32_t controlKeyState) {
  InputRecord r;
  r.eventType = kKeyEvent;
  r.key.keyDown = down;
  r.key.virtualKeyCode = vk;
  r.key.repeatCount = 1;
  r.key.controlKeyState = controlKeyState;
  return r;
}

InputRecord mouseEvent(std::int16_t x, std::int16_t y, std::uint32_t buttons, std::uint32_t flags) {
  InputRecord r;
  r.eventType = kMouseEvent;
  r.mouse.position = Coord{x, y};
  r.mouse.buttonState = buttons;
  r.mouse.eventFlags = flags;
  return r;
}

}  // namespace kotodama::test
