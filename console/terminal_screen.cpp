#include "console/terminal_screen.h"

#include <algorithm>
#include <cstdio>

namespace kotodama {

namespace {

// ANSI colour digit for the low three bits of a console colour.
constexpr int kColourCode[8] = {0, 4, 2, 6, 1, 5, 3, 7};

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

}  // namespace

void OutputSink::text(const char* bytes, std::size_t size) {
  escapes_.text(bytes, size);
  shadow_.text(bytes, size);
  if (!shadow_.cuts().empty()) redrawCuts();
}

void OutputSink::moveToColumn(int column) {
  escapes_.moveToColumn(column);
  shadow_.moveToColumn(column);
}

// Terminals differ in what the half of a wide character left over by a cut
// shows (a blank in its own colours, or in the colours of what cut it), so
// it is drawn again as the shadow keeps it; then the cursor and colours go
// back where the text left them.
void OutputSink::redrawCuts() {
  for (const auto& [column, row] : shadow_.cuts()) redraw(column, row);
  shadow_.clearCuts();
  if (shadow_.wrapPending()) {
    redraw(ScreenShadow::kColumns, shadow_.row());  // the cursor waits past the last column again
  } else {
    appendMove(shadow_.column(), shadow_.row(), out_);
  }
  appendColours(shadow_.fg(), shadow_.bg(), out_);
}

void OutputSink::redraw(int column, int row) {
  if (shadow_.cell(column, row).width == 0) --column;
  const ScreenShadow::Cell& cell = shadow_.cell(column, row);
  appendMove(column, row, out_);
  appendColours(cell.fg, cell.bg, out_);
  out_.append(cell.bytes, cell.size);
}

void TerminalScreen::moveCursor(long column, long row) {
  encoder_.settle(sink_);
  char sequence[48];
  std::snprintf(sequence, sizeof sequence, "\033[%ld;%ldH", row + 1, column + 1);
  out_ += sequence;
  shadow_.moveTo(static_cast<int>(std::clamp(column + 1, 1L, 80L)), static_cast<int>(std::clamp(row + 1, 1L, 25L)));
  encoder_.setColumn(static_cast<int>(column + 1));  // the column the caller gave
}

void TerminalScreen::setColor(int fg, int bg, int storedFg, int storedBg) {
  if (fg == 16 && bg == 16) return;
  encoder_.settle(sink_);
  appendColours(storedFg, storedBg, out_);
  shadow_.setColors(storedFg, storedBg);
}

void TerminalScreen::clearScreen(int fg, int bg, int storedFg, int storedBg) {
  setColor(fg, bg, storedFg, storedBg);
  emit("\033[2J");
  shadow_.clear();
}

void TerminalScreen::setCursor(bool visible) {
  emit(visible ? "\033[?25h" : "\033[?25l");
  shadow_.setCaretVisible(visible);
}

void TerminalScreen::flush() {
  encoder_.settle(sink_);
  if (out_.empty()) return;
  // While the terminal is too small, the game draws into the shadow only.
  if (screenFits_ && !(shown_ && shadow_.showsSame(*shown_))) platform_.write(out_.data(), out_.size());
  if (screenFits_ && platform_.skipsUnchangedFrames()) shown_ = shadow_;
  out_.clear();
}

// Puts the cursor on a cell of the line being typed.
void TerminalScreen::place(int column, int row) {
  appendMove(column, row, out_);
  shadow_.moveTo(column, row);
  encoder_.setColumn(column);
}

// Draws every cell of the shadow again, in one write, and puts the cursor,
// colours and caret back.
void TerminalScreen::repaint() {
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
  if (platform_.skipsUnchangedFrames()) shown_ = shadow_;
}

// After a resize or a stop: the size notice while the terminal is too
// small, and the whole screen again once it is large enough.
void TerminalScreen::checkScreen() {
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

}  // namespace kotodama
