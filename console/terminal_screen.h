#pragma once
// The terminal's screen for its whole life: the game's drawing turned into
// escape sequences and kept in the shadow; the size notice while the window
// is too small, and the whole screen drawn again after a resize, a stop or
// Ctrl+L. Private to the terminal backend.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "console/display_text.h"
#include "console/platform.h"
#include "console/screen_shadow.h"

namespace kotodama {

// Where the game's text goes: the terminal's bytes, and the shadow.
class OutputSink final : public DisplaySink {
 public:
  OutputSink(std::string& out, ScreenShadow& shadow) : out_(out), escapes_(out), shadow_(shadow) {}
  void text(const char* bytes, std::size_t size) override;
  void moveToColumn(int column) override;

 private:
  void redrawCuts();
  void redraw(int column, int row);

  std::string& out_;
  EscapeSink escapes_;
  ScreenShadow& shadow_;
};

class TerminalScreen {
 public:
  explicit TerminalScreen(Platform& platform)
      : platform_(platform), encoder_(platform.encoding()), shadow_(platform.encoding()), sink_(out_, shadow_) {}

  // The game's drawing; it leaves on flush.
  void moveCursor(long column, long row);
  void setColor(int fg, int bg, int storedFg, int storedBg);
  void clearScreen(int fg, int bg, int storedFg, int storedBg);
  void setCursor(bool visible);
  void print(const char* bytes, std::size_t size) { encoder_.put(bytes, size, sink_); }
  void flush();

  // For the echo of a typed line: the text the encoder holds back is drawn,
  // the cursor put on a cell, text drawn as it is.
  void settle() { encoder_.settle(sink_); }
  void place(int column, int row);
  void text(const char* bytes, std::size_t size) { sink_.text(bytes, size); }
  const ScreenShadow& shadow() const { return shadow_; }

  // The window is large enough for the game (it draws into the shadow only
  // while it is not).
  bool fits() const { return screenFits_; }
  void repaint();
  void checkScreen();

 private:
  void emit(const char* sequence) {
    encoder_.settle(sink_);
    out_ += sequence;
  }

  Platform& platform_;
  DisplayEncoder encoder_;
  std::string out_;
  ScreenShadow shadow_;
  std::optional<ScreenShadow> shown_;  // what the terminal shows, where unchanged frames are skipped
  OutputSink sink_;
  bool screenFits_ = true;
};

}  // namespace kotodama
