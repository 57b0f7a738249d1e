// The console on a Windows console: every operation is a direct call on the
// standard handles through the platform's ConsoleApi; input comes from the
// console's own input events, joysticks through joyGetPos and sounds through
// MCI. The terminal side of the Console is in console.cpp.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"

namespace kotodama {

namespace {

// At most this many input records are read by one poll; what is left stays
// pending in the console for the next poll (a count is untrusted and must not
// decide the size of an allocation on its own).
constexpr std::uint32_t kMaxRecordsPerPoll = 4096;
// Polls in a row that find nothing and are not separated by a wait; past
// this many a poll sleeps until console input arrives (at most kIdleSleepMs).
constexpr int kIdlePolls = 200;
constexpr std::int64_t kIdleSleepMs = 250;
// A typed line keeps at most this many bytes, as on a terminal.
constexpr std::size_t kLineLimit = 4096;
// Ctrl+Z typed at the start of a line ends the input, as Ctrl+D does on a
// terminal.
constexpr char kEndOfInput = '\x1a';

// The console attribute of a colour pair: background in the high four bits,
// foreground in the low four; only the low four bits of each count.
std::uint16_t attributeOf(int foreground, int background) {
  return static_cast<std::uint16_t>(((background & 15) << 4) | (foreground & 15));
}

// A coordinate cut to 16 bits, as COORD holds it (wrapping, never overflowing).
std::int16_t cut16(int value, int origin) {
  const std::uint32_t bits = static_cast<std::uint32_t>(value) - static_cast<std::uint32_t>(origin);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(bits & 0xFFFFu));
}

void setBit(std::uint32_t (&state)[8], unsigned bit, bool down) {
  const std::uint32_t mask = 1u << (bit % 32);
  if (down) {
    state[bit / 32] |= mask;
  } else {
    state[bit / 32] &= ~mask;
  }
}

// The one console whose console-API state the exit handler gives back.
Console* gOpenConsole = nullptr;

// Reads the column out of a column move "\x1b[<n>G" at the start of `text`
// (the display encoder's only escape sequence); 0 when it is none.
std::size_t columnMove(std::string_view text, int& column) {
  if (text.size() < 4 || text[0] != '\x1b' || text[1] != '[') return 0;
  std::size_t i = 2;
  long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    if (value < 100000) value = value * 10 + (text[i] - '0');
    ++i;
  }
  if (i == 2 || i >= text.size() || text[i] != 'G') return 0;
  column = static_cast<int>(value);
  return i + 1;
}

}  // namespace

// ------------------------------------------------------------ construction

bool Console::openConsoleApi() {
  api_ = platform_.consoleApi();
  if (api_ == nullptr) return false;

  // The platform test: the NT family draws through the console calls. A
  // query that fails is taken as NT too, the only Windows there is today.
  VersionInfo version;
  version.size = static_cast<std::uint32_t>(sizeof(VersionInfo));  // 148
  consoleApiMode_ = !api_->getVersionEx(version) || version.platformId == kPlatformWin32Nt;
  if (!consoleApiMode_) return false;

  // The standard handles; a missing one is reported with the system's words.
  outputHandle_ = api_->getStdHandle(kStdOutputHandle);
  if (outputHandle_ == kInvalidHandle) writeSystemError();
  inputHandle_ = api_->getStdHandle(kStdInputHandle);
  if (inputHandle_ == kInvalidHandle) writeSystemError();
  hasOutput_ = outputHandle_ != kInvalidHandle;
  hasInput_ = inputHandle_ != kInvalidHandle;
  apiOpen_ = true;

  // The console as the game found it, for every stop to put back; then mouse
  // events on (they are the pointer), quick edit off (it would take the mouse
  // for selecting text) and Ctrl+C handled by the system (it ends the game).
  restore_ = ConsoleRestore{};
  restore_.input = inputHandle_;
  restore_.output = outputHandle_;
  if (hasInput_) restore_.hasInputMode = api_->getConsoleMode(inputHandle_, restore_.inputMode);
  if (hasOutput_) {
    ScreenBufferInfo info;
    restore_.hasAttributes = api_->getConsoleScreenBufferInfo(outputHandle_, info);
    restore_.attributes = info.attributes;
    restore_.hasCursor = api_->getConsoleCursorInfo(outputHandle_, restore_.cursor);
  }
  api_->armRestore(restore_);
  if (restore_.hasInputMode) {
    gameInputMode_ = (restore_.inputMode | kEnableMouseInput | kEnableExtendedFlags | kEnableProcessedInput) &
                     ~(kEnableQuickEditMode | kEnableLineInput | kEnableEchoInput | kEnableVirtualTerminalInput);
    api_->setConsoleMode(inputHandle_, gameInputMode_);
  }

  // Text goes out as it is on a code page 932 console, converted elsewhere.
  encoder_ = DisplayEncoder(api_->getConsoleOutputCP() == 932 ? TerminalEncoding::ShiftJis
                                                              : TerminalEncoding::Utf8);

  foreground_ = 15;  // stored only: the console keeps its colours until the first setColor
  background_ = 0;
  if (!hasOutput_) cursorInfo_ = CursorInfo{0, false};
  setCursorVisible(1, 8);
  originY_ = 1;
  originX_ = 1;
  std::fill(std::begin(keyState_), std::end(keyState_), 0u);
  mouseX_ = -1;
  mouseY_ = -1;

  // Given back at exit too, when the process ends without destroying it.
  static const bool registered = std::atexit(&Console::closeConsoleApiAtExit) == 0;
  (void)registered;
  gOpenConsole = this;
  return true;
}

void Console::writeSystemError() {
  const std::uint32_t error = api_->getLastError();
  char* text = nullptr;
  const std::uint32_t length =
      api_->formatMessage(kFormatMessageAllocateBuffer | kFormatMessageFromSystem | kFormatMessageIgnoreInserts,
                          error, kLanguageUserDefault, &text);
  // The system's text as it is, nothing before or after it.
  if (length > 0 && text != nullptr && outputHandle_ != kInvalidHandle) api_->writeConsoleA(outputHandle_, text, length);
  if (text != nullptr) api_->localFree(text);
}

// ------------------------------------------------------------- destruction

void Console::closeConsoleApi() {
  if (apiOpen_) {
    apiOpen_ = false;
    if (gOpenConsole == this) gOpenConsole = nullptr;
    // Put back what the game changed, then close the handles.
    if (restore_.hasInputMode) api_->setConsoleMode(restore_.input, restore_.inputMode);
    if (restore_.hasAttributes) api_->setConsoleTextAttribute(restore_.output, restore_.attributes);
    if (restore_.hasCursor) api_->setConsoleCursorInfo(restore_.output, restore_.cursor);
    api_->disarmRestore();
    if (outputHandle_ != kInvalidHandle) {
      api_->closeHandle(outputHandle_);
      outputHandle_ = kInvalidHandle;
    }
    if (inputHandle_ != kInvalidHandle) {
      api_->closeHandle(inputHandle_);
      inputHandle_ = kInvalidHandle;
    }
    hasOutput_ = false;
    hasInput_ = false;
  }
  releaseWaveDevices();
}

void Console::closeConsoleApiAtExit() {
  if (gOpenConsole == nullptr) return;
  gOpenConsole->flush();
  gOpenConsole->closeConsoleApi();
}

void Console::releaseWaveDevices() {
  // In key order: stop the device, unprepare its header, close it, then free
  // the header's data and the header.
  for (auto& [device, header] : waveDevices_) {
    if (device != 0 && api_ != nullptr) {
      api_->waveOutReset(device);
      if (header != nullptr) api_->waveOutUnprepareHeader(device, header, sizeof(WaveHeader));
      api_->waveOutClose(device);
    }
    if (header != nullptr) {
      delete[] header->data;
      delete header;
      header = nullptr;
    }
  }
  waveDevices_.clear();
}

// ------------------------------------------------------------------ output

void Console::apiMoveCursor(int x, int y) {
  flush();  // text printed before lands where the cursor was
  encoder_.setColumn(x);
  if (outputHandle_ == kInvalidHandle) return;
  api_->setConsoleCursorPosition(outputHandle_, Coord{cut16(x, originX_), cut16(y, originY_)});
}

void Console::apiSetColor(int fg, int bg) {
  if (fg != 16) foreground_ = fg;
  if (bg != 16) background_ = bg;
  flush();
  // Even (16, 16) sends the stored pair again.
  if (outputHandle_ != kInvalidHandle) api_->setConsoleTextAttribute(outputHandle_, attributeOf(foreground_, background_));
}

void Console::apiClearScreen(int fg, int bg) {
  if (fg != 16) foreground_ = fg;
  if (bg != 16) background_ = bg;
  flush();
  ScreenBufferInfo info;
  if (outputHandle_ != kInvalidHandle && api_->getConsoleScreenBufferInfo(outputHandle_, info)) {
    // The whole buffer, rows above and below the window included. The text
    // colours stay those of the last setColor.
    const auto columns = static_cast<std::uint32_t>(std::max<int>(info.size.x, 0));
    const auto rows = static_cast<std::uint32_t>(std::max<int>(info.size.y, 0));
    const std::uint32_t cells = columns * rows;  // at most 32767 * 32767
    std::uint32_t written = 0;
    api_->fillConsoleOutputAttribute(outputHandle_, attributeOf(foreground_, background_), cells, Coord{0, 0},
                                     written);
    api_->fillConsoleOutputCharacter(outputHandle_, ' ', cells, Coord{0, 0}, written);
  }
  apiMoveCursor(1, 1);
}

void Console::apiSetCursorVisible(int visible, unsigned size) {
  if (outputHandle_ == kInvalidHandle) return;
  cursorInfo_.visible = (visible & 0xFF) != 0;
  if (size >= 1 && size <= 99) cursorInfo_.size = size;
  flush();
  api_->setConsoleCursorInfo(outputHandle_, ConsoleCursorInfo{cursorInfo_.size, cursorInfo_.visible});
}

void Console::apiWrite(const std::string& text) {
  if (outputHandle_ == kInvalidHandle) return;
  if (encoder_.encoding() == TerminalEncoding::ShiftJis) {
    api_->writeConsoleA(outputHandle_, text.data(), text.size());
    return;
  }
  // UTF-8 from the display encoder, with a column move after each character
  // that the console shows narrower than the game counts it: the cursor is
  // put on that column of the row it is on, so no cell moves.
  std::string_view rest = text;
  while (!rest.empty()) {
    const std::size_t escape = rest.find('\x1b');
    const std::string_view plain = rest.substr(0, escape);
    if (!plain.empty()) api_->writeConsoleUtf8(outputHandle_, plain.data(), plain.size());
    if (escape == std::string_view::npos) break;
    rest.remove_prefix(escape);
    int column = 0;
    const std::size_t length = columnMove(rest, column);
    if (length == 0) {  // not one of the encoder's: dropped
      rest.remove_prefix(1);
      continue;
    }
    rest.remove_prefix(length);
    ScreenBufferInfo info;
    if (api_->getConsoleScreenBufferInfo(outputHandle_, info)) {
      api_->setConsoleCursorPosition(outputHandle_, Coord{cut16(column, 1), info.cursor.y});
    }
  }
}

// ------------------------------------------------------------------- input

void Console::apiPoll() {
  bool arrived = false;
  std::uint32_t count = 0;
  if (api_->getNumberOfConsoleInputEvents(inputHandle_, count) && count > 0) {
    const std::uint32_t room = std::min(count, kMaxRecordsPerPoll);
    std::vector<InputRecord> records(room);
    std::uint32_t read = 0;
    if (api_->readConsoleInput(inputHandle_, records.data(), room, read) && read > 0) {
      arrived = true;
      for (std::uint32_t i = 0; i < std::min(read, room); ++i) apiFold(records[i]);
    }
  }  // the records are freed here, before the answer
  if (arrived) {
    idlePolls_ = 0;
    return;
  }
  if (++idlePolls_ > kIdlePolls) {
    // The game is polling in a tight loop: sleep until something can change.
    flush();
    platform_.waitForInput(platform_.now() + kIdleSleepMs);
  }
}

void Console::apiFold(const InputRecord& record) {
  switch (record.eventType) {
    case kKeyEvent: {
      const KeyEventRecord& key = record.key;
      if (key.virtualKeyCode > 255) return;
      setBit(keyState_, key.virtualKeyCode, key.keyDown);
      // The control-key state has the last word, even for the event of the
      // Shift, Ctrl or Alt key itself.
      const std::uint32_t state = key.controlKeyState;
      setBit(keyState_, 18, (state & (kRightAltPressed | kLeftAltPressed)) != 0);
      setBit(keyState_, 17, (state & (kRightCtrlPressed | kLeftCtrlPressed)) != 0);
      setBit(keyState_, 16, (state & kShiftPressed) != 0);
      return;
    }
    case kMouseEvent: {
      const MouseEventRecord& mouse = record.mouse;
      mouseX_ = mouse.position.x;
      mouseY_ = mouse.position.y;
      setBit(keyState_, 1, (mouse.buttonState & kFromLeft1stButtonPressed) != 0);
      setBit(keyState_, 4, (mouse.buttonState & kFromLeft2ndButtonPressed) != 0);
      setBit(keyState_, 2, (mouse.buttonState & kRightmostButtonPressed) != 0);
      return;
    }
    default:
      return;  // window size, menu and focus events are read and dropped
  }
}

JoystickReading Console::apiJoystick(int id) {
  JoyInfo info;
  if (api_->joyGetPos(id == 0 ? kJoystickId1 : kJoystickId2, info) != kJoyErrNoError) return {};
  return JoystickReading{true, info.x, info.y, info.z, info.buttons};
}

void Console::apiWaitTicks(int n) {
  // Events that arrive meanwhile wait in the console for the next poll.
  flush();
  idlePolls_ = 0;
  platform_.sleepUntil(platform_.now() + std::max(n, 0));
}

void Console::apiReadLine(bool echo) {
  flush();
  // The console's own line editing while the line is typed (with its echo,
  // unless the line is only waited for), then back to single events.
  if (restore_.hasInputMode) {
    const std::uint32_t lineMode =
        gameInputMode_ | kEnableLineInput | kEnableProcessedInput | (echo ? kEnableEchoInput : 0u);
    api_->setConsoleMode(inputHandle_, lineMode);
  }
  std::string typed;
  const bool read = api_->readConsoleLine(inputHandle_, typed, kLineLimit);
  if (restore_.hasInputMode) api_->setConsoleMode(inputHandle_, gameInputMode_);
  encoder_.setColumn(1);  // the console's echo ended the line
  // Nothing more can be typed: the game ends as END does.
  if (!read || (!typed.empty() && typed[0] == kEndOfInput)) exit(0);
  if (pendingLine_.size() < kLineLimit * 4) {
    pendingLine_ += utf8ToShiftJis(typed);
    pendingLine_ += '\n';
  }
}

// ------------------------------------------------------------------- sound

void Console::registerSound(SoundHandle handle) {
  if (handle != 0) soundRegistry_.insert(handle);
}

void Console::addWaveDevice(WaveOutHandle device, WaveHeader* header) {
  WaveHeader*& slot = waveDevices_[device];
  if (slot != nullptr && slot != header) {  // a device has one header: the old one is freed
    delete[] slot->data;
    delete slot;
  }
  slot = header;
}

bool Console::apiPlaySound(Sound& sound, bool loop) {
  // From the start, without waiting: playback runs on while the game goes on.
  sound.playParams.from = 0;
  const std::uint32_t flags = kMciFrom | (loop ? kMciDgvPlayRepeat : 0u);
  return api_->mciSendCommand(sound.deviceId, kMciPlay, flags, &sound.playParams) == 0;
}

bool Console::apiStopSound(Sound& sound) {
  return api_->mciSendCommand(sound.deviceId, kMciStop, kMciWait, nullptr) == 0;
}

}  // namespace kotodama
