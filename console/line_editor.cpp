#include "console/line_editor.h"

#include <cstdint>
#include <utility>

#include "console/console_backend.h"
#include "console/display_text.h"
#include "console/screen_shadow.h"

namespace kotodama {

namespace {

constexpr std::uint8_t kEnterKey = 13;
constexpr std::uint8_t kBackspaceKey = 8;

}  // namespace

bool LineEditor::notePointer(const InputEvent& event) {
  if (event.kind != EventKind::Mouse) return false;
  pointer_ = event;
  pointerMoved_ = true;
  return true;
}

// Echoes a typed character where the line has got to, on the next row when
// it does not fit on this one; a character that the game cannot hold shows
// as "?", as it will be stored.
void LineEditor::echo(TypedChar& typed, LineState& line) {
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

void LineEditor::handleLineEvent(const InputEvent& event, LineState& line) {
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

bool LineEditor::readLine(std::string& typedLine) {
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
    screen_.flush();
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
  screen_.flush();
  keyboard_.lineEnds();
  if (line.ended) return false;
  std::string typed;
  for (const TypedChar& c : line.chars) typed += c.typed;
  typedLine = typedToShiftJis(typed, platform_.encoding());
  return true;
}

}  // namespace kotodama
