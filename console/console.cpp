#include "console/console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kotodama {

namespace {

// ANSI colour digit for the low three bits of a console colour.
constexpr int kColourCode[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// Polls in a row that find nothing new and are not separated by a wait;
// past this many the console sleeps until input instead of spinning.
constexpr int kIdlePolls = 200;
// How long one idle sleep lasts at most.
constexpr std::int64_t kIdleSleepMs = 250;
// Queued events beyond which the terminal is left unread until the game
// catches up (the bytes wait in the terminal, nothing is lost).
constexpr std::size_t kQueueLimit = 8192;
// A typed line keeps at most this many bytes, as a terminal line does.
constexpr std::size_t kLineLimit = 4096;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

Console::Console(Platform& platform) : platform_(platform), encoder_(platform.encoding()) {
  if (openConsoleApi()) return;  // a Windows console: console_api_mode.cpp
  hasOutput_ = platform_.hasOutput();
  hasInput_ = platform_.hasInput();
  if (!hasOutput_) {
    cursorInfo_.size = 0;
    cursorInfo_.visible = false;
  }
  foreground_ = 15;
  background_ = 0;
  setCursorVisible(1, 8);
  originX_ = 1;
  originY_ = 1;
  std::fill(std::begin(keyState_), std::end(keyState_), 0u);
  mouseX_ = -1;
  mouseY_ = -1;
}

Console::~Console() {
  flush();
  closeConsoleApi();  // gives the console back and releases the waveform devices
  soundRegistry_.clear();
  waveDevices_.clear();
}

// ---------------------------------------------------------------- output

void Console::settleText() { encoder_.settle(out_); }

void Console::emit(const char* sequence) {
  settleText();
  out_ += sequence;
}

void Console::moveCursor(int x, int y) {
  if (consoleApiMode_) return apiMoveCursor(x, y);
  char sequence[48];
  const long row = static_cast<long>(y) - originY_ + 1;
  const long column = static_cast<long>(x) - originX_ + 1;
  std::snprintf(sequence, sizeof sequence, "\033[%ld;%ldH", row, column);
  emit(sequence);
  encoder_.setColumn(x);
}

void Console::setColor(int fg, int bg) {
  if (consoleApiMode_) return apiSetColor(fg, bg);
  if (fg != 16) foreground_ = fg;
  if (bg != 16) background_ = bg;
  if (fg == 16 && bg == 16) return;
  char sequence[32];
  int n = std::snprintf(sequence, sizeof sequence, "\033[0");
  if (foreground_ & 8) n += std::snprintf(sequence + n, sizeof sequence - n, ";1");
  n += std::snprintf(sequence + n, sizeof sequence - n, ";3%d", kColourCode[foreground_ & 7]);
  if (background_ & 8) n += std::snprintf(sequence + n, sizeof sequence - n, ";5");
  std::snprintf(sequence + n, sizeof sequence - n, ";4%dm", kColourCode[background_ & 7]);
  emit(sequence);
}

void Console::clearScreen(int fg, int bg) {
  if (consoleApiMode_) return apiClearScreen(fg, bg);
  setColor(fg, bg);
  emit("\033[2J");
}

void Console::setCursorVisible(int visible, unsigned size) {
  if (consoleApiMode_) return apiSetCursorVisible(visible, size);
  if (!hasOutput_) return;
  cursorInfo_.visible = (visible & 0xFF) != 0;
  if (size >= 1 && size <= 99) cursorInfo_.size = size;
  emit(cursorInfo_.visible ? "\033[?25h" : "\033[?25l");
}

void Console::print(const char* text) { printBytes(text, std::strlen(text)); }

void Console::printBytes(const char* bytes, std::size_t size) { encoder_.put(bytes, size, out_); }

void Console::printf(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n > 0) printBytes(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

void Console::flush() {
  settleText();
  if (out_.empty()) return;
  if (consoleApiMode_) apiWrite(out_);
  else platform_.write(out_.data(), out_.size());
  out_.clear();
}

// ----------------------------------------------------------------- input

bool Console::readTerminal() {
  char buffer[4096];
  bool arrived = false;
  while (queue_.size() < kQueueLimit) {
    const std::size_t n = platform_.read(buffer, sizeof buffer);
    if (n == 0) break;
    arrived = true;
    scratch_.clear();
    decoder_.feed(buffer, n, platform_.now(), scratch_);
    for (const InputEvent& event : scratch_) queue_.push(event);
  }
  scratch_.clear();
  decoder_.expire(platform_.now(), scratch_);
  for (const InputEvent& event : scratch_) queue_.push(event);
  return arrived || !scratch_.empty();
}

void Console::fold(const InputEvent& event) {
  auto setBit = [this](int bit, bool down) {
    const std::uint32_t mask = 1u << (bit % 32);
    if (down) {
      keyState_[bit / 32] |= mask;
    } else {
      keyState_[bit / 32] &= ~mask;
    }
  };
  switch (event.kind) {
    case EventKind::Key:
      if (event.vk == 0) return;
      setBit(event.vk, event.pressed);
      setBit(18, (event.modifiers & kModAlt) != 0);
      setBit(17, (event.modifiers & kModCtrl) != 0);
      setBit(16, (event.modifiers & kModShift) != 0);
      return;
    case EventKind::Mouse:
      mouseX_ = event.x;
      mouseY_ = event.y;
      setBit(1, (event.buttons & kButtonLeft) != 0);
      setBit(4, (event.buttons & kButtonMiddle) != 0);
      setBit(2, (event.buttons & kButtonRight) != 0);
      return;
    case EventKind::Text:
      return;
  }
}

std::int64_t Console::nextWake(std::int64_t deadline) const {
  const std::int64_t due = queue_.nextDue();
  if (due >= 0) deadline = std::min(deadline, due);
  const std::int64_t pending = decoder_.pendingDeadline();
  if (pending >= 0) deadline = std::min(deadline, pending);
  return deadline;
}

void Console::poll() {
  if (consoleApiMode_) return apiPoll();
  // Output waits for the next pause, so that a whole pass of a screen leaves
  // in one write; a poll that is about to sleep flushes first (below).
  const bool arrived = readTerminal();
  scratch_.clear();
  queue_.takeDue(platform_.now(), scratch_);
  for (const InputEvent& event : scratch_) fold(event);
  if (arrived || !scratch_.empty()) {
    idlePolls_ = 0;
    return;
  }
  if (platform_.inputEnded() && queue_.empty() && decoder_.pendingDeadline() < 0) {
    // Nothing can ever arrive again: the game ends as END does.
    exit(0);  // flushes first
  }
  if (++idlePolls_ > kIdlePolls) {
    // The game is polling in a tight loop: sleep until something can change.
    flush();
    queue_.paused();
    platform_.waitForInput(nextWake(platform_.now() + kIdleSleepMs));
  }
}

int Console::keyDown(int code) {
  switch (code) {
    case kJoystick1X: case kJoystick1Y: case kJoystick1Z: case kJoystick1Buttons:
    case kJoystick2X: case kJoystick2Y: case kJoystick2Z: case kJoystick2Buttons: {
      const int id = code >= kJoystick2X ? 1 : 0;
      const JoystickReading reading = api_ != nullptr ? apiJoystick(id) : platform_.joystick(id);
      if (!reading.ok) return -1;
      std::uint32_t value = 0;
      switch (code & 7) {
        case 0: value = reading.x; break;
        case 1: value = reading.y; break;
        case 2: value = reading.z; break;
        default: value = reading.buttons; break;
      }
      return static_cast<int>(value & 0x7FFFFFFFu);
    }
    default:
      break;
  }
  poll();
  if (code == kPointerColumn) return mouseX_ + 1;
  if (code == kPointerRow) return mouseY_ + 1;
  const int bit = code & 0xFF;
  if ((keyState_[bit / 32] >> (bit % 32)) & 1u) {
    queue_.reportedDown(bit);
    return 1;
  }
  return 0;
}

void Console::resetKeys() { std::fill(std::begin(keyState_), std::end(keyState_), 0u); }

void Console::waitTicks(int n) {
  if (consoleApiMode_) return apiWaitTicks(n);
  flush();
  idlePolls_ = 0;
  queue_.paused();
  const std::int64_t deadline = platform_.now() + std::max(n, 0);
  for (;;) {
    readTerminal();
    const std::int64_t now = platform_.now();
    if (now >= deadline) return;
    if (queue_.size() >= kQueueLimit) {
      platform_.sleepUntil(deadline);
    } else {
      const std::int64_t pending = decoder_.pendingDeadline();
      platform_.waitForInput(pending >= 0 ? std::min(deadline, pending) : deadline);
    }
  }
}

void Console::confirmWait() {
  resetKeys();
  if (!keyDown(kEnter)) {
    while (!keyDown(kEnter) && !keyDown(kLeftButton)) {
    }
  }
  waitTicks(50);
}

// ------------------------------------------------------------ typed lines

void Console::handleLineEvent(const InputEvent& event, LineState& line) {
  const TerminalEncoding encoding = platform_.encoding();
  if (event.kind == EventKind::Mouse) return;
  if (event.kind == EventKind::Key) {
    if (!event.pressed) return;
    if (event.vk == kEnter) {
      line.done = true;
      return;
    }
    if (event.vk == 8) {  // Backspace takes back one whole character
      if (line.chars.empty()) return;
      const int columns = line.chars.back().echoed;
      line.bytes -= line.chars.back().typed.size();
      line.chars.pop_back();
      for (int i = 0; i < columns; ++i) out_ += "\b";
      for (int i = 0; i < columns; ++i) out_ += " ";
      for (int i = 0; i < columns; ++i) out_ += "\b";
      line.column -= columns;
      return;
    }
    if ((event.modifiers & kModCtrl) != 0) {
      if (event.vk == 'D' && line.chars.empty()) line.ended = true;
      if (event.vk == 'U') {
        while (!line.chars.empty()) {
          InputEvent backspace;
          backspace.vk = 8;
          handleLineEvent(backspace, line);
        }
      }
      return;
    }
  }
  if (event.text.empty() || line.bytes + event.text.size() > kLineLimit) return;
  TypedChar typed{event.text, 0};
  // Echo what will be stored: a character the game cannot hold shows as "?".
  std::string echo = typedToShiftJis(event.text, encoding);
  if (encoding == TerminalEncoding::Utf8) echo = shiftJisToUtf8(echo);
  if (echo == "\t") echo = " ";
  const int width = typedCharWidth(echo, encoding);
  if (width > 0 && line.column + width <= 81) {
    out_ += echo;
    typed.echoed = width;
    line.column += width;
  }
  line.bytes += typed.typed.size();
  line.chars.push_back(std::move(typed));
}

void Console::readLine(bool echo) {
  if (consoleApiMode_) return apiReadLine(echo);
  settleText();
  LineState line;
  line.column = encoder_.column();
  const std::size_t echoMark = out_.size();
  std::vector<InputEvent> events;
  queue_.takeAll(events);
  std::size_t next = 0;
  char buffer[4096];
  for (;;) {
    while (next < events.size() && !line.done && !line.ended) handleLineEvent(events[next++], line);
    if (!echo) out_.resize(std::min(out_.size(), echoMark));
    if (line.done || line.ended) break;
    flush();
    events.clear();
    next = 0;
    const std::size_t n = platform_.read(buffer, sizeof buffer);
    if (n > 0) {
      decoder_.feed(buffer, n, platform_.now(), events);
      continue;
    }
    decoder_.expire(platform_.now(), events);
    if (!events.empty()) continue;
    if (platform_.inputEnded()) {
      if (line.chars.empty()) line.ended = true;
      else line.done = true;
      break;
    }
    const std::int64_t pending = decoder_.pendingDeadline();
    platform_.waitForInput(pending >= 0 ? pending : platform_.now() + 60'000);
  }
  // Whatever was typed after the line ends waits for the game's next poll.
  for (; next < events.size(); ++next) queue_.push(events[next]);
  flush();
  if (line.ended) exit(0);
  std::string typed;
  for (const TypedChar& c : line.chars) typed += c.typed;
  if (pendingLine_.size() < kLineLimit * 4) {
    pendingLine_ += typedToShiftJis(typed, platform_.encoding());
    pendingLine_ += '\n';
  }
  encoder_.setColumn(line.column);
}

std::string Console::readToken(std::size_t limit) {
  for (;;) {
    std::size_t start = 0;
    while (start < pendingLine_.size() && isBlank(pendingLine_[start])) ++start;
    if (start < pendingLine_.size()) {
      std::size_t end = start;
      while (end < pendingLine_.size() && !isBlank(pendingLine_[end])) ++end;
      std::string token = pendingLine_.substr(start, std::min(end - start, limit + 1));
      pendingLine_.erase(0, end);
      return token;
    }
    pendingLine_.clear();
    readLine(true);
  }
}

void Console::stopAfterMessage() {
  flush();
  if (consoleApiMode_) api_->flushConsoleInputBuffer(inputHandle_);
  queue_.clear();
  pendingLine_.clear();
  char buffer[4096];
  while (platform_.read(buffer, sizeof buffer) > 0) {
  }
  std::vector<InputEvent> dropped;
  decoder_.expire(platform_.now() + InputDecoder::kEscapeTimeoutMs, dropped);
  readLine(false);
  exit(0);
}

void Console::exit(int status) {
  flush();
  closeConsoleApi();
  platform_.exitProcess(status);
  std::abort();  // exitProcess never returns
}

// ----------------------------------------------------------------- sound

bool Console::soundRegistered(SoundHandle handle) const {
  return handle != 0 && soundRegistry_.count(handle) > 0;
}

bool Console::playSound(SoundHandle handle, bool loop) {
  if (!soundRegistered(handle)) return false;
  Sound* sound = reinterpret_cast<Sound*>(handle);
  if (sound->deviceId == 0) return false;
  if (api_ != nullptr) return apiPlaySound(*sound, loop);
  return platform_.playSound(sound->deviceId, loop);
}

bool Console::stopSound(SoundHandle handle) {
  if (!soundRegistered(handle)) return false;
  Sound* sound = reinterpret_cast<Sound*>(handle);
  if (sound->deviceId == 0) return false;
  if (api_ != nullptr) return apiStopSound(*sound);
  return platform_.stopSound(sound->deviceId);
}

bool Console::closeSound(SoundHandle handle) {
  if (!soundRegistered(handle)) return false;
  soundRegistry_.erase(handle);
  delete reinterpret_cast<Sound*>(handle);
  return true;
}

}  // namespace kotodama
