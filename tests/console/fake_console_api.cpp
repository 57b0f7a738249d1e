#include "console/fake_console_api.h"

#include <cstdio>
#include <cstring>

namespace kotodama::test {

namespace {

std::string handleName(ConsoleHandle handle) {
  if (handle == FakeConsoleApi::kOutput) return "out";
  if (handle == FakeConsoleApi::kInput) return "in";
  if (handle == kInvalidHandle) return "invalid";
  return std::to_string(handle);
}

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(value));
  return text;
}

}  // namespace

FakeConsoleApi::~FakeConsoleApi() {
  for (char* text : allocated_) delete[] text;
}

std::vector<std::string> FakeConsoleApi::callsTo(const std::string& prefix) const {
  std::vector<std::string> found;
  for (const std::string& call : calls_) {
    if (call.compare(0, prefix.size(), prefix) == 0) found.push_back(call);
  }
  return found;
}

ScreenBufferInfo FakeConsoleApi::defaultScreen() {
  ScreenBufferInfo info;
  info.size = Coord{120, 300};
  info.cursor = Coord{0, 100};
  info.attributes = 0x07;
  info.window = SmallRect{0, 100, 79, 124};
  info.maximumWindowSize = Coord{120, 60};
  return info;
}

bool FakeConsoleApi::getVersionEx(VersionInfo& info) {
  log("GetVersionExA(" + std::to_string(info.size) + ")");
  if (!versionOk) return false;
  info.major = 10;
  info.platformId = platformId;
  return true;
}

ConsoleHandle FakeConsoleApi::getStdHandle(std::uint32_t which) {
  const bool output = which == kStdOutputHandle;
  log(std::string("GetStdHandle(") + (output ? "out" : which == kStdInputHandle ? "in" : "?") + ")");
  return output ? stdOutput : stdInput;
}

bool FakeConsoleApi::closeHandle(ConsoleHandle handle) {
  log("CloseHandle(" + handleName(handle) + ")");
  return true;
}

std::uint32_t FakeConsoleApi::getLastError() {
  log("GetLastError");
  return lastError;
}

std::uint32_t FakeConsoleApi::formatMessage(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                                            char** text) {
  log("FormatMessageA(" + hex(flags) + "," + std::to_string(messageId) + "," + hex(languageId) + ")");
  if (systemMessage.empty()) return 0;
  char* copy = new char[systemMessage.size() + 1];
  std::memcpy(copy, systemMessage.c_str(), systemMessage.size() + 1);
  allocated_.push_back(copy);
  ++messagesAllocated;
  *text = copy;
  return static_cast<std::uint32_t>(systemMessage.size());
}

void FakeConsoleApi::localFree(char* text) {
  log("LocalFree");
  for (auto it = allocated_.begin(); it != allocated_.end(); ++it) {
    if (*it == text) {
      delete[] * it;
      allocated_.erase(it);
      --messagesAllocated;
      return;
    }
  }
  log("LocalFree of a text never allocated");
}

bool FakeConsoleApi::setConsoleCursorPosition(ConsoleHandle output, Coord cell) {
  log("SetConsoleCursorPosition(" + handleName(output) + "," + std::to_string(cell.x) + "," + std::to_string(cell.y) +
      ")");
  return true;
}

bool FakeConsoleApi::setConsoleTextAttribute(ConsoleHandle output, std::uint16_t attribute) {
  log("SetConsoleTextAttribute(" + handleName(output) + "," + hex(attribute) + ")");
  return true;
}

bool FakeConsoleApi::getConsoleCursorInfo(ConsoleHandle output, ConsoleCursorInfo& info) {
  log("GetConsoleCursorInfo(" + handleName(output) + ")");
  if (!cursorInfoOk) return false;
  info = cursorInfo;
  return true;
}

bool FakeConsoleApi::setConsoleCursorInfo(ConsoleHandle output, const ConsoleCursorInfo& info) {
  log("SetConsoleCursorInfo(" + handleName(output) + "," + std::to_string(info.size) + "," +
      (info.visible ? "1" : "0") + ")");
  return true;
}

bool FakeConsoleApi::getConsoleScreenBufferInfo(ConsoleHandle output, ScreenBufferInfo& info) {
  log("GetConsoleScreenBufferInfo(" + handleName(output) + ")");
  if (!screenInfoOk) return false;
  info = screenInfo;
  return true;
}

bool FakeConsoleApi::fillConsoleOutputAttribute(ConsoleHandle output, std::uint16_t attribute, std::uint32_t length,
                                                Coord first, std::uint32_t& written) {
  log("FillConsoleOutputAttribute(" + handleName(output) + "," + hex(attribute) + "," + std::to_string(length) + "," +
      std::to_string(first.x) + "," + std::to_string(first.y) + ")");
  written = length;
  return true;
}

bool FakeConsoleApi::fillConsoleOutputCharacter(ConsoleHandle output, char character, std::uint32_t length,
                                                Coord first, std::uint32_t& written) {
  log("FillConsoleOutputCharacterA(" + handleName(output) + ",'" + std::string(1, character) + "'," +
      std::to_string(length) + "," + std::to_string(first.x) + "," + std::to_string(first.y) + ")");
  written = length;
  return true;
}

std::uint32_t FakeConsoleApi::getConsoleOutputCP() {
  log("GetConsoleOutputCP");
  return outputCodePage;
}

bool FakeConsoleApi::writeConsoleA(ConsoleHandle output, const char* bytes, std::size_t size) {
  log("WriteConsoleA(" + handleName(output) + "," + std::string(bytes, size) + ")");
  return true;
}

bool FakeConsoleApi::writeConsoleUtf8(ConsoleHandle output, const char* utf8, std::size_t size) {
  log("WriteConsoleW(" + handleName(output) + "," + std::string(utf8, size) + ")");
  return true;
}

bool FakeConsoleApi::getConsoleMode(ConsoleHandle handle, std::uint32_t& mode) {
  log("GetConsoleMode(" + handleName(handle) + ")");
  if (!modeOk) return false;
  mode = inputMode;
  return true;
}

bool FakeConsoleApi::setConsoleMode(ConsoleHandle handle, std::uint32_t mode) {
  log("SetConsoleMode(" + handleName(handle) + "," + hex(mode) + ")");
  return true;
}

bool FakeConsoleApi::getNumberOfConsoleInputEvents(ConsoleHandle input, std::uint32_t& count) {
  log("GetNumberOfConsoleInputEvents(" + handleName(input) + ")");
  if (!countOk || input == kInvalidHandle) return false;
  count = countOverride >= 0 ? static_cast<std::uint32_t>(countOverride) : static_cast<std::uint32_t>(events.size());
  return true;
}

bool FakeConsoleApi::readConsoleInput(ConsoleHandle input, InputRecord* records, std::uint32_t length,
                                      std::uint32_t& read) {
  log("ReadConsoleInputA(" + handleName(input) + "," + std::to_string(length) + ")");
  if (!readOk) return false;
  read = 0;
  while (read < length && !events.empty()) {
    records[read++] = events.front();
    events.pop_front();
  }
  return true;
}

bool FakeConsoleApi::flushConsoleInputBuffer(ConsoleHandle input) {
  log("FlushConsoleInputBuffer(" + handleName(input) + ")");
  events.clear();
  return true;
}

bool FakeConsoleApi::readConsoleLine(ConsoleHandle input, std::string& utf8, std::size_t limit) {
  log("ReadConsoleW(" + handleName(input) + ")");
  if (lines.empty()) return false;
  utf8 = lines.front().substr(0, limit);
  lines.pop_front();
  return true;
}

void FakeConsoleApi::armRestore(const ConsoleRestore& restore) {
  std::string line = "armRestore(" + handleName(restore.input) + "," + handleName(restore.output);
  line += restore.hasInputMode ? ",mode=" + hex(restore.inputMode) : ",no mode";
  line += restore.hasAttributes ? ",attr=" + hex(restore.attributes) : ",no attr";
  line += restore.hasCursor
              ? ",cursor=" + std::to_string(restore.cursor.size) + (restore.cursor.visible ? ":1" : ":0")
              : ",no cursor";
  log(line + ")");
}

void FakeConsoleApi::disarmRestore() { log("disarmRestore"); }

std::uint32_t FakeConsoleApi::joyGetPos(std::uint32_t joystickId, JoyInfo& info) {
  log("joyGetPos(" + std::to_string(joystickId) + ")");
  if (joystickId > 1) return 165;  // JOYERR_PARMS
  if (joystickError[joystickId] == 0) info = joystick[joystickId];
  return joystickError[joystickId];
}

std::uint32_t FakeConsoleApi::mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                                             MciPlayParams* params) {
  log("mciSendCommandA(" + std::to_string(deviceId) + "," + hex(message) + "," + hex(static_cast<std::uint32_t>(flags)) +
      "," + (params == nullptr ? std::string("null") : "from=" + std::to_string(params->from)) + ")");
  return mciResult;
}

std::uint32_t FakeConsoleApi::waveOutReset(WaveOutHandle device) {
  log("waveOutReset(" + std::to_string(device) + ")");
  return 0;
}

std::uint32_t FakeConsoleApi::waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) {
  log("waveOutUnprepareHeader(" + std::to_string(device) + ",length=" + std::to_string(header->bufferLength) +
      ",size=" + std::to_string(size) + ")");
  return 0;
}

std::uint32_t FakeConsoleApi::waveOutClose(WaveOutHandle device) {
  log("waveOutClose(" + std::to_string(device) + ")");
  return 0;
}

InputRecord keyEvent(std::uint16_t vk, bool down, std::uint32_t controlKeyState) {
  InputRecord record;
  record.eventType = kKeyEvent;
  record.key.keyDown = down;
  record.key.repeatCount = 1;
  record.key.virtualKeyCode = vk;
  record.key.controlKeyState = controlKeyState;
  return record;
}

InputRecord mouseEvent(std::int16_t x, std::int16_t y, std::uint32_t buttons, std::uint32_t flags) {
  InputRecord record;
  record.eventType = kMouseEvent;
  record.mouse.position = Coord{x, y};
  record.mouse.buttonState = buttons;
  record.mouse.eventFlags = flags;
  return record;
}

InputRecord otherEvent(std::uint16_t type) {
  InputRecord record;
  record.eventType = type;
  return record;
}

}  // namespace kotodama::test
