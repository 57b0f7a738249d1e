#pragma once
// What the terminal shows: the 80 x 25 cells as the game last drew them,
// each with its character (the bytes the terminal was sent, so cut halves of
// double-byte characters stay what they were) and its colours, and the
// cursor and caret. It follows the game's own output, so the whole screen
// can be drawn again after a resize, a stop or Ctrl+L.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "console/display_text.h"

namespace kotodama {

class ScreenShadow final : public DisplaySink {
 public:
  static constexpr int kColumns = 80;
  static constexpr int kRows = 25;

  struct Cell {
    char bytes[4] = {' ', 0, 0, 0};  // one character in the terminal's encoding
    std::uint8_t size = 1;
    std::uint8_t width = 1;  // 2: a wide character; 0: its right half
    std::uint8_t fg = 7, bg = 0;
    bool operator==(const Cell&) const = default;
  };

  explicit ScreenShadow(TerminalEncoding encoding) : encoding_(encoding) {}

  // The cursor, 1-based, as CSI row ; column H puts it.
  void moveTo(int column, int row);
  void setColors(int fg, int bg);
  // Every cell blank in the current colours (the cursor stays).
  void clear();
  void setCaretVisible(bool visible) { caretVisible_ = visible; }

  // DisplaySink: text in the terminal's encoding at the cursor, and column moves.
  void text(const char* bytes, std::size_t size) override;
  void moveToColumn(int column) override;

  const Cell& cell(int column, int row) const { return cells_[index(column, row)]; }
  int column() const { return column_; }
  int row() const { return row_; }
  int fg() const { return fg_; }
  int bg() const { return bg_; }
  bool caretVisible() const { return caretVisible_; }
  // The last column was written: the next character goes on the next row.
  bool wrapPending() const { return wrapPending_; }

  // Cells (column, row) where a wide character was cut in half since the
  // last clearCuts(): the half left over is now a blank in its colours.
  const std::vector<std::pair<int, int>>& cuts() const { return cuts_; }
  void clearCuts() { cuts_.clear(); }

  // Both shadows leave the terminal showing the same: cells, colours, cursor and caret.
  bool showsSame(const ScreenShadow& other) const {
    return cells_ == other.cells_ && column_ == other.column_ && row_ == other.row_ &&
           wrapPending_ == other.wrapPending_ && fg_ == other.fg_ && bg_ == other.bg_ &&
           caretVisible_ == other.caretVisible_ && partial_ == other.partial_;
  }

 private:
  static std::size_t index(int column, int row) {
    return static_cast<std::size_t>((row - 1) * kColumns + (column - 1));
  }
  void put(const char* bytes, std::size_t size, int width);
  void blank(int column);
  void cut(int column);
  void newLine();

  TerminalEncoding encoding_;
  std::array<Cell, kColumns * kRows> cells_{};
  int column_ = 1, row_ = 1;
  bool wrapPending_ = false;  // the last column was written: the next character goes on the next row
  int fg_ = 7, bg_ = 0;
  bool caretVisible_ = true;
  std::string partial_;  // the start of a character split between two runs
  std::vector<std::pair<int, int>> cuts_;
};

}  // namespace kotodama
