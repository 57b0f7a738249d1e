// The console on a terminal: escape sequences out; bytes in, decoded into
// events and queued with their guessed releases; typed lines edited and
// echoed here. The OS side is the platform (platform_posix.cpp).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "console/console_backend.h"
#include "console/display_text.h"
#include "console/event_queue.h"

namespace kotodama {

namespace {

// ANSI colour digit for the low three bits of a console colour.
constexpr int kColourCode[8] = {0, 4, 2, 6, 1, 5, 3, 7};
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
  explicit TerminalBackend(Platform& platform) : platform_(platform), encoder_(platform.encoding()) {}

  bool hasOutput() const override { return platform_.hasOutput(); }

  void moveCursor(long column, long row) override {
    char sequence[48];
    std::snprintf(sequence, sizeof sequence, "\033[%ld;%ldH", row + 1, column + 1);
    emit(sequence);
    encoder_.setColumn(static_cast<int>(column + 1));  // the column the caller gave
  }

  void setColor(int fg, int bg, int storedFg, int storedBg) override {
    if (fg == 16 && bg == 16) return;
    char sequence[32];
    int n = std::snprintf(sequence, sizeof sequence, "\033[0");
    if (storedFg & 8) n += std::snprintf(sequence + n, sizeof sequence - n, ";1");
    n += std::snprintf(sequence + n, sizeof sequence - n, ";3%d", kColourCode[storedFg & 7]);
    if (storedBg & 8) n += std::snprintf(sequence + n, sizeof sequence - n, ";5");
    std::snprintf(sequence + n, sizeof sequence - n, ";4%dm", kColourCode[storedBg & 7]);
    emit(sequence);
    // ";1" and ";5" are kept for terminals that read them as bright colours;
    // most terminals instead draw bold and blink (the text then vanishes half
    // of the time), so one more sequence sets the bright colour itself, with
    // blink off.
    if ((storedFg & 8) == 0 && (storedBg & 8) == 0) return;
    char foreground[4] = "", background[12] = "";
    if (storedFg & 8) std::snprintf(foreground, sizeof foreground, "9%d", kColourCode[storedFg & 7]);
    if (storedBg & 8) {
      std::snprintf(background, sizeof background, "%s25;10%d", (storedFg & 8) ? ";" : "", kColourCode[storedBg & 7]);
    }
    std::snprintf(sequence, sizeof sequence, "\033[%s%sm", foreground, background);
    emit(sequence);
  }

  void clearScreen(int fg, int bg, int storedFg, int storedBg) override {
    setColor(fg, bg, storedFg, storedBg);
    emit("\033[2J");
  }

  void setCursor(bool visible, std::uint32_t) override { emit(visible ? "\033[?25h" : "\033[?25l"); }

  void print(const char* bytes, std::size_t size) override { encoder_.put(bytes, size, out_); }

  void flush() override {
    encoder_.settle(out_);
    if (out_.empty()) return;
    platform_.write(out_.data(), out_.size());
    out_.clear();
  }

  Polled poll(std::vector<InputEvent>& out) override {
    // Output waits for the next pause, so that a whole pass of a screen
    // leaves in one write.
    const bool arrived = readTerminal();
    const std::size_t before = out.size();
    queue_.takeDue(platform_.now(), out);
    const bool due = out.size() > before;
    if (arrived || due) return Polled::Events;
    if (platform_.inputEnded() && queue_.empty() && decoder_.pendingDeadline() < 0) return Polled::Ended;
    return Polled::Nothing;
  }

  void idle() override {
    queue_.paused();
    platform_.waitForInput(nextWake(platform_.now() + kIdleSleepMs));
  }

  void reportedDown(int bit) override { queue_.reportedDown(bit); }

  void waitTicks(int n) override {
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

  bool readLine(bool echo, std::string& typedLine) override;

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

  void restore() override {}  // the platform gives the terminal back as the process ends
  [[noreturn]] void exitProcess(int status) override {
    platform_.exitProcess(status);
    std::abort();  // exitProcess never returns
  }

 private:
  // One character of the line being typed: its bytes as typed, and the
  // columns its echo took (0 when it did not fit on the row).
  struct TypedChar {
    std::string typed;
    int echoed = 0;
  };
  struct LineState {
    std::vector<TypedChar> chars;
    std::size_t bytes = 0;
    int column = 1;
    bool done = false;   // Enter
    bool ended = false;  // end of input on an empty line
  };

  void emit(const char* sequence) {
    encoder_.settle(out_);
    out_ += sequence;
  }

  // Terminal bytes -> decoded events -> queue; true if any arrived.
  bool readTerminal() {
    char buffer[4096];
    bool arrived = false;
    for (std::size_t total = 0; queue_.size() < kQueueLimit && total < kReadLimitPerPoll;) {
      const std::size_t n = platform_.read(buffer, sizeof buffer);
      if (n == 0) break;
      total += n;
      arrived = true;
      scratch_.clear();
      decoder_.feed(buffer, n, platform_.now(), scratch_);
      pushAll();
    }
    scratch_.clear();
    decoder_.expire(platform_.now(), scratch_);
    pushAll();
    return arrived || !scratch_.empty();
  }

  void pushAll() {
    for (const InputEvent& event : scratch_) {
      if (event.kind == EventKind::Key && event.vk == 0) continue;  // a key with no code of its own
      queue_.push(event);
    }
  }

  std::int64_t nextWake(std::int64_t deadline) const {
    const std::int64_t due = queue_.nextDue();
    if (due >= 0) deadline = std::min(deadline, due);
    const std::int64_t pending = decoder_.pendingDeadline();
    if (pending >= 0) deadline = std::min(deadline, pending);
    return deadline;
  }

  void handleLineEvent(const InputEvent& event, LineState& line);

  Platform& platform_;
  DisplayEncoder encoder_;
  std::string out_;
  InputDecoder decoder_;
  EventQueue queue_;
  std::vector<InputEvent> scratch_;
};

void TerminalBackend::handleLineEvent(const InputEvent& event, LineState& line) {
  const TerminalEncoding encoding = platform_.encoding();
  if (event.kind == EventKind::Mouse) return;
  if (event.kind == EventKind::Key) {
    if (!event.pressed) return;
    if (event.vk == kEnterKey) {
      line.done = true;
      return;
    }
    if (event.vk == kBackspaceKey) {  // Backspace takes back one whole character
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
          backspace.vk = kBackspaceKey;
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

bool TerminalBackend::readLine(bool echo, std::string& typedLine) {
  encoder_.settle(out_);
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
  for (; next < events.size(); ++next) {
    if (events[next].kind != EventKind::Key || events[next].vk != 0) queue_.push(events[next]);
  }
  flush();
  if (line.ended) return false;
  std::string typed;
  for (const TypedChar& c : line.chars) typed += c.typed;
  typedLine = typedToShiftJis(typed, platform_.encoding());
  encoder_.setColumn(line.column);
  return true;
}

}  // namespace

std::unique_ptr<ConsoleBackend> makeTerminalBackend(Platform& platform) {
  return std::make_unique<TerminalBackend>(platform);
}

}  // namespace kotodama
