#include "console/console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/console_backend.h"
#include "console/input_decoder.h"

namespace kotodama {

namespace {

// Polls in a row that find nothing new and are not separated by a wait;
// past this many the console sleeps until input instead of spinning.
constexpr int kIdlePolls = 200;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void setBit(std::uint32_t (&state)[8], int bit, bool down) {
  const std::uint32_t mask = 1u << (bit % 32);
  if (down) {
    state[bit / 32] |= mask;
  } else {
    state[bit / 32] &= ~mask;
  }
}

std::unique_ptr<ConsoleBackend> backendFor(Host& host) {
  if (Platform* terminal = host.terminal()) return makeTerminalBackend(*terminal);
  return makeConsoleApiBackend(*host.windowsConsole());  // a Host is one of the two
}

}  // namespace

std::unique_ptr<Console> Console::open() {
  std::unique_ptr<Host> host = openHost();
  Host& platform = *host;
  return std::unique_ptr<Console>(new Console(platform, std::move(host)));
}

Console::Console(Host& host) : Console(host, nullptr) {}

Console::Console(Host& host, std::unique_ptr<Host> owned) : host_(std::move(owned)), backend_(backendFor(host)) {
  if (backend_->hasOutput()) {
    backend_->setCursor(cursorInfo_.visible, cursorInfo_.size);  // shown, 8% of the cell
  } else {
    cursorInfo_ = {0, false};
  }
}

Console::~Console() {
  flush();
  backend_->restore();
  releaseWaveDevices();
  soundRegistry_.clear();
  waveDevices_.clear();
}

// ---------------------------------------------------------------- output

void Console::moveCursor(int x, int y) {
  backend_->moveCursor(static_cast<long>(x) - originX_, static_cast<long>(y) - originY_);
}

void Console::setColor(int fg, int bg) {
  if (fg != 16) foreground_ = fg;
  if (bg != 16) background_ = bg;
  backend_->setColor(fg, bg, foreground_, background_);
}

void Console::clearScreen(int fg, int bg) {
  if (fg != 16) foreground_ = fg;
  if (bg != 16) background_ = bg;
  backend_->clearScreen(fg, bg, foreground_, background_);
}

void Console::setCursorVisible(int visible, unsigned size) {
  if (!backend_->hasOutput()) return;
  cursorInfo_.visible = (visible & 0xFF) != 0;
  if (size >= 1 && size <= 99) cursorInfo_.size = size;
  backend_->setCursor(cursorInfo_.visible, cursorInfo_.size);
}

void Console::print(const char* text) { printBytes(text, std::strlen(text)); }

void Console::printBytes(const char* bytes, std::size_t size) { backend_->print(bytes, size); }

void Console::printf(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n > 0) printBytes(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

void Console::flush() { backend_->flush(); }

// ----------------------------------------------------------------- input

// The one place where input changes the key state, whichever console it
// came from.
void Console::fold(const InputEvent& event) {
  switch (event.kind) {
    case EventKind::Key:
      setBit(keyState_, event.vk, event.pressed);
      // The modifier state has the last word, even for the event of the
      // Shift, Ctrl or Alt key itself.
      setBit(keyState_, 18, (event.modifiers & kModAlt) != 0);
      setBit(keyState_, 17, (event.modifiers & kModCtrl) != 0);
      setBit(keyState_, 16, (event.modifiers & kModShift) != 0);
      return;
    case EventKind::Mouse:
      mouseX_ = event.x;
      mouseY_ = event.y;
      setBit(keyState_, 1, (event.buttons & kButtonLeft) != 0);
      setBit(keyState_, 4, (event.buttons & kButtonMiddle) != 0);
      setBit(keyState_, 2, (event.buttons & kButtonRight) != 0);
      return;
    case EventKind::Text:
    case EventKind::Answer:
      return;
  }
}

void Console::poll() {
  events_.clear();
  const ConsoleBackend::Polled polled = backend_->poll(events_);
  for (const InputEvent& event : events_) fold(event);
  if (polled == ConsoleBackend::Polled::Events) {
    idlePolls_ = 0;
    return;
  }
  // Nothing can ever arrive again: the game ends as END does.
  if (polled == ConsoleBackend::Polled::Ended) exit(0);
  if (++idlePolls_ > kIdlePolls) {
    // The game is polling in a tight loop: sleep until something can change.
    flush();
    backend_->idle();
  }
}

int Console::keyDown(int code) {
  switch (code) {
    case kJoystick1X: case kJoystick1Y: case kJoystick1Z: case kJoystick1Buttons:
    case kJoystick2X: case kJoystick2Y: case kJoystick2Z: case kJoystick2Buttons: {
      const JoystickReading reading = backend_->joystick(code >= kJoystick2X ? 1 : 0);
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
  if (code == kPointerColumn || code == kPointerRow) {
    backend_->pointerRead();
    return code == kPointerColumn ? mouseX_ + 1 : mouseY_ + 1;
  }
  const int bit = code & 0xFF;
  if ((keyState_[bit / 32] >> (bit % 32)) & 1u) {
    backend_->reportedDown(bit);
    return 1;
  }
  return 0;
}

void Console::resetKeys() {
  std::fill(std::begin(keyState_), std::end(keyState_), 0u);
  backend_->keysForgotten();
}

void Console::waitTicks(int n) {
  flush();
  idlePolls_ = 0;
  backend_->waitTicks(n);
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

void Console::readLine() {
  std::string line;
  if (!backend_->readLine(line)) exit(0);  // nothing more can be typed: the game ends as END does
  if (pendingLine_.size() < kLineLimit * 4) {
    pendingLine_ += line;
    pendingLine_ += '\n';
  }
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
    readLine();
  }
}

void Console::stopAfterMessage() {
  flush();
  backend_->discardInput();
  pendingLine_.clear();
  // Enter, or the input ending (Ctrl+D, a closed pipe): the game stopped on
  // a failure either way, and says so with its status.
  std::string line;
  backend_->readLine(line);
  exit(kFatalStopStatus);
}

void Console::exit(int status) {
  flush();
  backend_->restore();
  releaseWaveDevices();
  backend_->exitProcess(status);
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
  return backend_->playSound(sound->deviceId, sound->playParams, loop);
}

bool Console::stopSound(SoundHandle handle) {
  if (!soundRegistered(handle)) return false;
  Sound* sound = reinterpret_cast<Sound*>(handle);
  if (sound->deviceId == 0) return false;
  return backend_->stopSound(sound->deviceId);
}

bool Console::closeSound(SoundHandle handle) {
  if (!soundRegistered(handle)) return false;
  soundRegistry_.erase(handle);
  delete reinterpret_cast<Sound*>(handle);
  return true;
}

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

void Console::releaseWaveDevices() {
  // In key order: stop the device, unprepare its header, close it, then free
  // the header's data and the header.
  for (auto& [device, header] : waveDevices_) {
    if (device != 0) backend_->releaseWaveDevice(device, header);
    if (header != nullptr) {
      delete[] header->data;
      delete header;
      header = nullptr;
    }
  }
  waveDevices_.clear();
}

}  // namespace kotodama
