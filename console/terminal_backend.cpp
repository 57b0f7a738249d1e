// The console on a terminal: escape sequences out, with a shadow of the
// screen to draw it again from after a resize, a stop or Ctrl+L; bytes in,
// decoded into events and queued with their guessed releases (or, where the
// terminal knows the kitty keyboard protocol, its true ones); typed lines
// edited and echoed here. The OS side is the platform (platform_posix.cpp).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "console/console_backend.h"
#include "console/display_text.h"
#include "console/event_queue.h"
#include "console/screen_shadow.h"
#include "console/terminal_keyboard.h"
#include "console/terminal_screen.h"

namespace kotodama {

namespace {

// Queued events beyond which the terminal is left unread until the game
// catches up (the bytes wait in the terminal, nothing is lost).
constexpr std::size_t kQueueLimit = 8192;
// Bytes read from the terminal in one poll, at most: input that never ends
// (/dev/zero, a stream of garbage that makes no events) must not keep the
// game from drawing and waiting.
constexpr std::size_t kReadLimitPerPoll = 64 * 1024;
constexpr std::uint8_t kEnterKey = 13;
constexpr std::uint8_t kBackspaceKey = 8;
class TerminalBackend final : public ConsoleBackend {
 public:
  explicit TerminalBackend(Platform& platform)
      : platform_(platform),
        screen_(platform),
        decoder_(platform.encoding() == TerminalEncoding::ShiftJis),
        keyboard_(platform, screen_, queue_) {}

  bool hasOutput() const override { return platform_.hasOutput(); }

  void moveCursor(long column, long row) override { screen_.moveCursor(column, row); }
  void setColor(int fg, int bg, int storedFg, int storedBg) override { screen_.setColor(fg, bg, storedFg, storedBg); }
  void clearScreen(int fg, int bg, int storedFg, int storedBg) override {
    screen_.clearScreen(fg, bg, storedFg, storedBg);
  }
  void setCursor(bool visible, std::uint32_t) override { screen_.setCursor(visible); }
  void print(const char* bytes, std::size_t size) override { screen_.print(bytes, size); }
  void flush() override { screen_.flush(); }

  Polled poll(std::vector<InputEvent>& out) override {
    // Output waits for the next pause, so that a whole pass of a screen
    // leaves in one write.
    polling_ = polledSinceWait_ = true;
    const bool arrived = readTerminal();
    const std::size_t before = out.size();
    queue_.takeDue(platform_.now(), out);
    const bool due = out.size() > before;
    if (arrived || due) return Polled::Events;
    if (platform_.inputEnded() && queue_.empty() && decoder_.pendingDeadline() < 0) return Polled::Ended;
    return Polled::Nothing;
  }

  void idle() override {
    paused();
    const std::int64_t wake = nextWake(platform_.now() + kIdleSleepMs);
    // After bytes that made nothing, input that is readable says nothing new.
    if (flooded_) {
      platform_.sleepUntil(wake);
    } else {
      platform_.waitForInput(wake);
    }
    screen_.checkScreen();
  }

  void reportedDown(int bit) override { queue_.reportedDown(bit); }
  void keysForgotten() override { queue_.keysForgotten(); }

  void waitTicks(int n) override {
    paused();
    // A screen that polls between its pauses is still polling during them;
    // a wait with no poll since the last one is an animation.
    polling_ = polledSinceWait_;
    polledSinceWait_ = false;
    const std::int64_t deadline = platform_.now() + std::max(n, 0);
    for (;;) {
      readTerminal();
      const std::int64_t now = platform_.now();
      if (now >= deadline) return;
      const std::int64_t pending = decoder_.pendingDeadline();
      if (queue_.size() >= kQueueLimit) {
        platform_.sleepUntil(deadline);
      } else if (flooded_) {
        platform_.sleepUntil(pending >= 0 ? std::min(deadline, pending) : deadline);
      } else {
        platform_.waitForInput(pending >= 0 ? std::min(deadline, pending) : deadline);
      }
    }
  }

  bool readLine(std::string& typedLine) override;

  void discardInput() override {
    queue_.clear();
    char buffer[4096];
    for (std::size_t total = 0, n; total < kReadLimitPerPoll && (n = platform_.read(buffer, sizeof buffer)) > 0;) {
      total += n;
    }
    std::vector<InputEvent> dropped;
    decoder_.expire(platform_.now() + InputDecoder::kEscapeTimeoutMs, dropped);
  }

  JoystickReading joystick(int id) override { return platform_.joystick(id); }

  // No sound is ever opened on a terminal.
  bool playSound(std::uint32_t, MciPlayParams&, bool) override { return false; }
  bool stopSound(std::uint32_t) override { return false; }
  void releaseWaveDevice(WaveOutHandle, WaveHeader*) override {}

  void restore() override {}  // the platform gives the terminal back (keyboard flags included)
  [[noreturn]] void exitProcess(int status) override {
    platform_.exitProcess(status);
    std::abort();  // exitProcess never returns
  }

 private:
  // One character of the line being typed: its bytes as typed, and the cell
  // and columns its echo took (0 columns when it did not fit on the screen).
  struct TypedChar {
    std::string typed;
    int column = 0, row = 0, echoed = 0;
  };
  struct LineState {
    std::vector<TypedChar> chars;
    std::size_t bytes = 0;
    int column = 1, row = 1;  // where the next character is echoed
    bool done = false;        // Enter
    bool ended = false;       // end of input on an empty line
  };
  void paused() {
    queue_.paused();
    readSincePause_ = false;
  }

  // Terminal bytes -> decoded events -> queue; true if any arrived. Input
  // that fills whole buffers with bytes that make no event for the game (NUL
  // bytes without end, garbage) is read one buffer a pause, and the waits
  // then sleep as if nothing had come: such input never keeps the game
  // spinning.
  bool readTerminal() {
    screen_.checkScreen();
    char buffer[4096];
    const std::size_t queued = queue_.size();
    const std::size_t limit = !flooded_ ? kReadLimitPerPoll : readSincePause_ ? 0 : sizeof buffer;
    std::size_t total = 0;
    while (queue_.size() < kQueueLimit && total < limit) {
      const std::size_t n = platform_.read(buffer, sizeof buffer);
      if (n == 0) break;
      total += n;
      scratch_.clear();
      decoder_.feed(buffer, n, platform_.now(), scratch_);
      pushAll();
    }
    scratch_.clear();
    decoder_.expire(platform_.now(), scratch_);
    pushAll();
    const bool arrived = queue_.size() != queued;
    if (total > 0) {
      flooded_ = !arrived && decoder_.pendingDeadline() < 0 && total >= sizeof buffer;
      readSincePause_ = true;
    }
    keyboard_.checkTimeouts();
    return arrived;
  }

  void pushAll() {
    const auto arrival = polling_ ? EventQueue::Arrival::Polling : EventQueue::Arrival::Waiting;
    for (InputEvent& event : scratch_) {
      if (keyboard_.takeOwnEvent(event)) continue;
      // Under the keyboard protocol a plain press (CSI B) has its release reported too.
      if (keyboard_.flagsPushed() && event.kind == EventKind::Key) event.reportsRelease = true;
      queue_.push(event, arrival);
    }
  }

  std::int64_t nextWake(std::int64_t deadline) const {
    const std::int64_t due = queue_.nextDue();
    if (due >= 0) deadline = std::min(deadline, due);
    const std::int64_t pending = decoder_.pendingDeadline();
    if (pending >= 0) deadline = std::min(deadline, pending);
    return deadline;
  }

  // A mouse report read while a line is typed moves the pointer; its buttons
  // do nothing there. True when the event was one.
  bool notePointer(const InputEvent& event) {
    if (event.kind != EventKind::Mouse) return false;
    pointer_ = event;
    pointerMoved_ = true;
    return true;
  }

  void handleLineEvent(const InputEvent& event, LineState& line);
  void echo(TypedChar& typed, LineState& line);

  Platform& platform_;
  TerminalScreen screen_;
  InputDecoder decoder_;
  EventQueue queue_;
  std::vector<InputEvent> scratch_;
  KeyboardProtocol keyboard_;
  bool polling_ = false;          // a screen is polling keys (not an animation)
  bool polledSinceWait_ = false;  // ...it polled since the last wait began
  bool flooded_ = false;         // the last read filled a whole buffer with bytes that made no event
  bool readSincePause_ = false;  // ...and were read since the last pause
  bool pointerMoved_ = false;  // the pointer moved while a line was read...
  InputEvent pointer_;         // ...to here
};

// Echoes a typed character where the line has got to, on the next row when
// it does not fit on this one; a character that the game cannot hold shows
// as "?", as it will be stored.
void TerminalBackend::echo(TypedChar& typed, LineState& line) {
  const TerminalEncoding encoding = platform_.encoding();
  std::string shown = typedToShiftJis(typed.typed, encoding);
  if (encoding == TerminalEncoding::Utf8) shown = shiftJisToUtf8(shown);
  if (shown == "\t") shown = " ";
  const int width = typedCharWidth(shown, encoding);
  if (width <= 0) return;
  if (line.column + width > ScreenShadow::kColumns + 1) {
    if (line.row >= ScreenShadow::kRows) return;  // no room left: kept, not shown
    screen_.place(1, ++line.row);
    line.column = 1;
  }
  typed.column = line.column;
  typed.row = line.row;
  typed.echoed = width;
  screen_.text(shown.data(), shown.size());
  line.column += width;
}

void TerminalBackend::handleLineEvent(const InputEvent& event, LineState& line) {
  if (keyboard_.takeOwnEvent(event) || notePointer(event)) return;
  if (event.kind == EventKind::Key) {
    if (!event.pressed) return;
    if (event.vk == kEnterKey) {
      if (line.chars.empty() && line.row < ScreenShadow::kRows) {
        screen_.place(1, ++line.row);  // an empty line is no answer: the caret goes on to the next row
        line.column = 1;
      }
      line.done = true;
      return;
    }
    if (event.vk == kBackspaceKey) {  // Backspace takes back one whole character
      if (line.chars.empty()) return;
      const TypedChar last = line.chars.back();
      line.bytes -= last.typed.size();
      line.chars.pop_back();
      if (last.echoed == 0) return;
      screen_.place(last.column, last.row);
      screen_.text("  ", static_cast<std::size_t>(last.echoed));
      screen_.place(last.column, last.row);
      line.column = last.column;
      line.row = last.row;
      return;
    }
    if ((event.modifiers & kModCtrl) != 0) {
      if (event.vk == 'D' && line.chars.empty()) line.ended = true;
      if (event.vk == 'U') {
        while (!line.chars.empty()) {
          InputEvent backspace;
          backspace.vk = kBackspaceKey;
          handleLineEvent(backspace, line);
        }
      }
      return;
    }
  }
  if (event.text.empty() || line.bytes + event.text.size() > kLineLimit) return;
  TypedChar typed{event.text};
  echo(typed, line);
  line.bytes += typed.typed.size();
  line.chars.push_back(std::move(typed));
}

bool TerminalBackend::readLine(std::string& typedLine) {
  keyboard_.lineBegins();
  screen_.settle();
  LineState line;
  line.column = screen_.shadow().column();
  line.row = screen_.shadow().row();
  std::vector<InputEvent> events;
  queue_.takeAll(events);
  std::size_t next = 0;
  char buffer[4096];
  for (;;) {
    while (next < events.size() && !line.done && !line.ended) handleLineEvent(events[next++], line);
    if (line.done || line.ended) break;
    flush();
    events.clear();
    next = 0;
    screen_.checkScreen();
    const std::size_t n = platform_.read(buffer, sizeof buffer);
    if (n > 0) decoder_.feed(buffer, n, platform_.now(), events);
    decoder_.expire(platform_.now(), events);
    if (!events.empty()) continue;
    if (platform_.inputEnded()) {
      if (line.chars.empty()) line.ended = true;
      else line.done = true;
      break;
    }
    const std::int64_t pending = decoder_.pendingDeadline();
    if (n == sizeof buffer && pending < 0) {  // a whole buffer that made nothing: as the polls do, sleep
      platform_.sleepUntil(platform_.now() + kIdleSleepMs);
    } else {
      platform_.waitForInput(pending >= 0 ? pending : platform_.now() + 60'000);
    }
  }
  // Whatever was typed after the line ends waits for the game's next poll,
  // each key as a whole tap; the pointer is where it was seen last.
  for (; next < events.size(); ++next) {
    const InputEvent& event = events[next];
    if (!keyboard_.takeOwnEvent(event) && !notePointer(event)) queue_.push(event, EventQueue::Arrival::TypedAhead);
  }
  if (pointerMoved_) {
    pointer_.buttons = 0;
    pointer_.wheel = true;
    queue_.push(pointer_);
    pointerMoved_ = false;
  }
  flush();
  keyboard_.lineEnds();
  if (line.ended) return false;
  std::string typed;
  for (const TypedChar& c : line.chars) typed += c.typed;
  typedLine = typedToShiftJis(typed, platform_.encoding());
  return true;
}

}  // namespace

std::unique_ptr<ConsoleBackend> makeTerminalBackend(Platform& platform) {
  return std::make_unique<TerminalBackend>(platform);
}

}  // namespace kotodama
