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
// How long the terminal has to say whether it knows the keyboard protocol.
constexpr std::int64_t kQueryTimeoutMs = 200;
// Asks for the keyboard protocol's flags, then for the primary device
// attributes, which every terminal answers (after the flags, if it knows them).
constexpr char kKeyboardQuery[] = "\033[?u\033[c";
// A key pressed under the keyboard protocol and then heard of no more (no
// repeat, no release) for this long: the terminal does not report releases
// after all, and they are guessed from then on.
constexpr std::int64_t kReleaseSilenceMs = 2000;

// The colour sequence of a console colour pair. ";1" and ";5" are kept for
// terminals that read them as bright colours; most terminals instead draw
// bold and blink (the text then vanishes half of the time), so one more
// sequence sets the bright colour itself, with blink off.
void appendColours(int fg, int bg, std::string& out) {
  char sequence[32];
  int n = std::snprintf(sequence, sizeof sequence, "\033[0");
  if (fg & 8) n += std::snprintf(sequence + n, sizeof sequence - n, ";1");
  n += std::snprintf(sequence + n, sizeof sequence - n, ";3%d", kColourCode[fg & 7]);
  if (bg & 8) n += std::snprintf(sequence + n, sizeof sequence - n, ";5");
  std::snprintf(sequence + n, sizeof sequence - n, ";4%dm", kColourCode[bg & 7]);
  out += sequence;
  if ((fg & 8) == 0 && (bg & 8) == 0) return;
  char foreground[4] = "", background[12] = "";
  if (fg & 8) std::snprintf(foreground, sizeof foreground, "9%d", kColourCode[fg & 7]);
  if (bg & 8) std::snprintf(background, sizeof background, "%s25;10%d", (fg & 8) ? ";" : "", kColourCode[bg & 7]);
  std::snprintf(sequence, sizeof sequence, "\033[%s%sm", foreground, background);
  out += sequence;
}

void appendMove(int column, int row, std::string& out) {
  char sequence[32];
  std::snprintf(sequence, sizeof sequence, "\033[%d;%dH", row, column);
  out += sequence;
}

// Where the game's text goes: the terminal's bytes, and the shadow.
class OutputSink final : public DisplaySink {
 public:
  OutputSink(std::string& out, ScreenShadow& shadow) : out_(out), escapes_(out), shadow_(shadow) {}
  void text(const char* bytes, std::size_t size) override {
    escapes_.text(bytes, size);
    shadow_.text(bytes, size);
    if (!shadow_.cuts().empty()) redrawCuts();
  }
  void moveToColumn(int column) override {
    escapes_.moveToColumn(column);
    shadow_.moveToColumn(column);
  }

 private:
  // Terminals differ in what the half of a wide character left over by a cut
  // shows (a blank in its own colours, or in the colours of what cut it), so
  // it is drawn again as the shadow keeps it; then the cursor and colours go
  // back where the text left them.
  void redrawCuts() {
    for (const auto& [column, row] : shadow_.cuts()) redraw(column, row);
    shadow_.clearCuts();
    if (shadow_.wrapPending()) {
      redraw(ScreenShadow::kColumns, shadow_.row());  // the cursor waits past the last column again
    } else {
      appendMove(shadow_.column(), shadow_.row(), out_);
    }
    appendColours(shadow_.fg(), shadow_.bg(), out_);
  }
  void redraw(int column, int row) {
    if (shadow_.cell(column, row).width == 0) --column;
    const ScreenShadow::Cell& cell = shadow_.cell(column, row);
    appendMove(column, row, out_);
    appendColours(cell.fg, cell.bg, out_);
    out_.append(cell.bytes, cell.size);
  }

  std::string& out_;
  EscapeSink escapes_;
  ScreenShadow& shadow_;
};

class TerminalBackend final : public ConsoleBackend {
 public:
  explicit TerminalBackend(Platform& platform)
      : platform_(platform),
        encoder_(platform.encoding()),
        decoder_(platform.encoding() == TerminalEncoding::ShiftJis),
        shadow_(platform.encoding()),
        sink_(out_, shadow_) {
    if (platform_.answersQueries()) {
      keyboard_ = Keyboard::Asking;
      awaitingAttributes_ = true;
      askedAt_ = platform_.now();
      platform_.write(kKeyboardQuery, sizeof kKeyboardQuery - 1);
    }
  }

  bool hasOutput() const override { return platform_.hasOutput(); }

  void moveCursor(long column, long row) override {
    encoder_.settle(sink_);
    char sequence[48];
    std::snprintf(sequence, sizeof sequence, "\033[%ld;%ldH", row + 1, column + 1);
    out_ += sequence;
    shadow_.moveTo(static_cast<int>(std::clamp(column + 1, 1L, 80L)), static_cast<int>(std::clamp(row + 1, 1L, 25L)));
    encoder_.setColumn(static_cast<int>(column + 1));  // the column the caller gave
  }

  void setColor(int fg, int bg, int storedFg, int storedBg) override {
    if (fg == 16 && bg == 16) return;
    encoder_.settle(sink_);
    appendColours(storedFg, storedBg, out_);
    shadow_.setColors(storedFg, storedBg);
  }

  void clearScreen(int fg, int bg, int storedFg, int storedBg) override {
    setColor(fg, bg, storedFg, storedBg);
    emit("\033[2J");
    shadow_.clear();
  }

  void setCursor(bool visible, std::uint32_t) override {
    emit(visible ? "\033[?25h" : "\033[?25l");
    shadow_.setCaretVisible(visible);
  }

  void print(const char* bytes, std::size_t size) override { encoder_.put(bytes, size, sink_); }

  void flush() override {
    encoder_.settle(sink_);
    if (out_.empty()) return;
    // While the terminal is too small, the game draws into the shadow only.
    if (screenFits_) platform_.write(out_.data(), out_.size());
    out_.clear();
  }

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
    checkScreen();
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
  // Whether the terminal knows the keyboard protocol.
  enum class Keyboard { Unknown, Asking, Known, Unsupported };

  void emit(const char* sequence) {
    encoder_.settle(sink_);
    out_ += sequence;
  }

  // Puts the cursor on a cell of the line being typed.
  void place(int column, int row) {
    appendMove(column, row, out_);
    shadow_.moveTo(column, row);
    encoder_.setColumn(column);
  }

  // Pushes the keyboard protocol's flags while keys are polled, and pops them
  // while a line of text is typed (text and input methods then arrive as
  // ordinary text).
  void setKeyboardFlags(bool wanted) {
    wanted = wanted && keyboard_ == Keyboard::Known;
    if (wanted == flagsPushed_) return;
    const char* sequence = wanted ? kKeyboardPush : kKeyboardPop;
    platform_.write(sequence, std::strlen(sequence));
    // Keys still down will not have their releases reported.
    if (!wanted) queue_.releaseHeldKeys(platform_.now());
    flagsPushed_ = wanted;
    platform_.keyboardFlagsPushed(wanted);
  }

  // Events the backend acts on itself rather than handing to the game: the
  // terminal's answers, Ctrl+L, and the keys a terminal driver would have
  // turned into signals. True when the event was taken.
  bool takeOwnEvent(const InputEvent& event) {
    if (event.kind == EventKind::Answer) {
      // Only the answer to the game's own question counts: the flags before
      // the device attributes that end it. Any later one is no answer (a
      // paste, a spoof) and changes nothing.
      if (!awaitingAttributes_) return true;
      if (event.answer == Answer::KeyboardFlags) {
        keyboard_ = Keyboard::Known;
        setKeyboardFlags(!inLine_);
      } else {
        awaitingAttributes_ = false;
        if (keyboard_ == Keyboard::Asking) keyboard_ = Keyboard::Unsupported;
      }
      return true;
    }
    if (event.kind == EventKind::Key && event.vk == 0) return true;  // a key with no code of its own
    if (event.kind == EventKind::Mouse || !event.pressed || (event.modifiers & kModCtrl) == 0) return false;
    if (event.vk == 'L') {
      if (screenFits_) repaint();
      return true;
    }
    if (!flagsPushed_) return false;
    if (event.vk == 'C') platform_.keySignal(KeySignal::Interrupt);
    if (event.vk == 'Z') platform_.keySignal(KeySignal::Suspend);
    if (event.kind == EventKind::Text && event.text == "\\") platform_.keySignal(KeySignal::Quit);
    return false;
  }

  // Draws every cell of the shadow again, in one write, and puts the cursor,
  // colours and caret back.
  void repaint() {
    encoder_.settle(sink_);
    out_.clear();  // already in the shadow
    std::string screen = "\033[0m\033[?25l\033[H\033[2J";
    int fg = -1, bg = -1;
    for (int row = 1; row <= ScreenShadow::kRows; ++row) {
      appendMove(1, row, screen);
      int at = 1;  // the terminal's cursor column
      for (int column = 1; column <= ScreenShadow::kColumns; ++column) {
        const ScreenShadow::Cell& cell = shadow_.cell(column, row);
        if (cell.width == 0) continue;
        if (at != column) screen += "\033[" + std::to_string(column) + "G";
        if (cell.fg != fg || cell.bg != bg) {
          fg = cell.fg;
          bg = cell.bg;
          appendColours(fg, bg, screen);
        }
        screen.append(cell.bytes, cell.size);
        at = column + std::max<int>(typedCharWidth(std::string_view(cell.bytes, cell.size), platform_.encoding()), 1);
      }
    }
    appendColours(shadow_.fg(), shadow_.bg(), screen);
    appendMove(shadow_.column(), shadow_.row(), screen);
    if (shadow_.caretVisible()) screen += "\033[?25h";
    platform_.write(screen.data(), screen.size());
  }

  // After a resize or a stop: the size notice while the terminal is too
  // small, and the whole screen again once it is large enough.
  void checkScreen() {
    TerminalSize size;
    if (!platform_.screenChanged(size)) return;
    screenFits_ = size.fits();
    if (screenFits_) {
      repaint();
      return;
    }
    out_.clear();
    const std::string notice = sizeNotice(size);
    platform_.write(notice.data(), notice.size());
  }

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
    checkScreen();
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
    if (keyboard_ == Keyboard::Asking && platform_.now() - askedAt_ >= kQueryTimeoutMs) {
      keyboard_ = Keyboard::Unsupported;  // flags that come late, before the attributes, still count
    }
    if (flagsPushed_ && queue_.heldSilently(platform_.now(), kReleaseSilenceMs)) {
      keyboard_ = Keyboard::Unsupported;
      setKeyboardFlags(false);  // every key still down comes up
    }
    return arrived;
  }

  void pushAll() {
    const auto arrival = polling_ ? EventQueue::Arrival::Polling : EventQueue::Arrival::Waiting;
    for (InputEvent& event : scratch_) {
      if (takeOwnEvent(event)) continue;
      // Under the keyboard protocol a plain press (CSI B) has its release reported too.
      if (flagsPushed_ && event.kind == EventKind::Key) event.reportsRelease = true;
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
  DisplayEncoder encoder_;
  std::string out_;
  InputDecoder decoder_;
  EventQueue queue_;
  std::vector<InputEvent> scratch_;
  ScreenShadow shadow_;
  OutputSink sink_;
  bool screenFits_ = true;
  bool polling_ = false;          // a screen is polling keys (not an animation)
  bool polledSinceWait_ = false;  // ...it polled since the last wait began
  bool inLine_ = false;           // a line of text is being read
  Keyboard keyboard_ = Keyboard::Unknown;
  std::int64_t askedAt_ = 0;
  bool flagsPushed_ = false;
  bool awaitingAttributes_ = false;  // asked, and the device attributes not yet answered
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
    place(1, ++line.row);
    line.column = 1;
  }
  typed.column = line.column;
  typed.row = line.row;
  typed.echoed = width;
  sink_.text(shown.data(), shown.size());
  line.column += width;
}

void TerminalBackend::handleLineEvent(const InputEvent& event, LineState& line) {
  if (takeOwnEvent(event) || notePointer(event)) return;
  if (event.kind == EventKind::Key) {
    if (!event.pressed) return;
    if (event.vk == kEnterKey) {
      if (line.chars.empty() && line.row < ScreenShadow::kRows) {
        place(1, ++line.row);  // an empty line is no answer: the caret goes on to the next row
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
      place(last.column, last.row);
      sink_.text("  ", static_cast<std::size_t>(last.echoed));
      place(last.column, last.row);
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
  inLine_ = true;
  setKeyboardFlags(false);
  encoder_.settle(sink_);
  LineState line;
  line.column = shadow_.column();
  line.row = shadow_.row();
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
    checkScreen();
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
    if (!takeOwnEvent(event) && !notePointer(event)) queue_.push(event, EventQueue::Arrival::TypedAhead);
  }
  if (pointerMoved_) {
    pointer_.buttons = 0;
    pointer_.wheel = true;
    queue_.push(pointer_);
    pointerMoved_ = false;
  }
  flush();
  inLine_ = false;
  setKeyboardFlags(true);
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
