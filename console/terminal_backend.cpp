// The console on a terminal, composed of its parts: the screen's life
// (terminal_screen.*: escape sequences out, the shadow, the size notice and
// the repaint), the keyboard protocol (terminal_keyboard.*) and typed lines
// (line_editor.*). Here: bytes in, decoded into events and queued with their
// guessed releases (or, where the terminal knows the kitty keyboard
// protocol, its true ones), polls and waits. The OS side is the platform
// (platform.h: platform_posix*.cpp, platform_web.cpp).
#include <algorithm>
#include <cstdlib>

#include "console/console_backend.h"
#include "console/event_queue.h"
#include "console/line_editor.h"
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

class TerminalBackend final : public ConsoleBackend {
 public:
  explicit TerminalBackend(Platform& platform)
      : platform_(platform),
        screen_(platform),
        decoder_(platform.encoding() == TerminalEncoding::ShiftJis),
        keyboard_(platform, screen_, queue_),
        editor_(platform, screen_, decoder_, queue_, keyboard_) {}

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
  void pointerRead() override { queue_.pointerRead(); }

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

  bool readLine(std::string& typedLine) override { return editor_.readLine(typedLine); }

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

  Platform& platform_;
  TerminalScreen screen_;
  InputDecoder decoder_;
  EventQueue queue_;
  std::vector<InputEvent> scratch_;
  KeyboardProtocol keyboard_;
  LineEditor editor_;
  bool polling_ = false;          // a screen is polling keys (not an animation)
  bool polledSinceWait_ = false;  // ...it polled since the last wait began
  bool flooded_ = false;         // the last read filled a whole buffer with bytes that made no event
  bool readSincePause_ = false;  // ...and were read since the last pause
};

}  // namespace

std::unique_ptr<ConsoleBackend> makeTerminalBackend(Platform& platform) {
  return std::make_unique<TerminalBackend>(platform);
}

}  // namespace kotodama
