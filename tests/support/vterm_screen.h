#pragma once
// A real terminal emulator (libvterm) that test output goes through, read
// back cell by cell: character and console colours.
#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

namespace kotodama::test {

struct Cell {
  std::string text;  // UTF-8; " " for an empty cell; "" for the right half of a wide character
  int width = 1;
  int fg = -1;  // console colour 0..15 (bold adds 8), -1 for the terminal's default
  int bg = -1;  // console colour 0..15 (blink adds 8), -1 for the terminal's default
  bool blink = false;
};

class VtermScreen {
 public:
  VtermScreen(int rows = 25, int columns = 80);
  ~VtermScreen();
  VtermScreen(const VtermScreen&) = delete;
  VtermScreen& operator=(const VtermScreen&) = delete;

  void feed(std::string_view bytes);
  // The window changes size, as a terminal's does (what no longer fits is lost).
  void resize(int rows, int columns);

  // Cells and rows are 1-based, as the game counts them. The right half of
  // a wide character whose left half was overwritten shows as the blank a
  // terminal shows there.
  Cell cell(int column, int row) const;
  // The row's text, one UTF-8 character per cell (wide characters once).
  std::string row(int row) const { return text(row, 1, columns_); }
  // The text of columns [from, to] of a row.
  std::string text(int row, int from, int to) const;
  // The whole screen, rows joined with '\n'.
  std::string dump() const;
  bool contains(std::string_view utf8) const { return dump().find(utf8) != std::string::npos; }

  // The caret's column and row, 1-based.
  std::pair<int, int> cursor() const;
  bool cursorVisible() const { return cursorVisible_; }
  bool altScreen() const { return altScreen_; }
  int rows() const { return rows_; }
  int columns() const { return columns_; }

  // Bytes the terminal would send back (answers to queries, mouse reports).
  std::string takeOutput();

 private:
  VTerm* vt_;
  VTermScreen* screen_;
  int rows_;
  int columns_;
  bool cursorVisible_ = true;
  bool altScreen_ = false;
};

}  // namespace kotodama::test
