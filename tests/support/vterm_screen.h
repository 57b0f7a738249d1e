#pragma once
// A real terminal emulator (libvterm) that test output goes through, read
// back cell by cell: character and console colours.
#include <vterm.h>

#include <string>
#include <string_view>

namespace kotodama::test {

struct Cell {
  std::string text;  // UTF-8; " " for an empty cell; "" for the right half of a wide character
  int width = 1;
  int fg = -1;  // console colour 0..15 (bold adds 8), -1 for the terminal's default
  int bg = -1;  // console colour 0..15 (blink adds 8), -1 for the terminal's default
  bool blink = false;
};

namespace detail {

// The console colour of a cell's colour, its bright bit set by `bright`;
// -1 for the terminal's default. Red and blue swap places.
inline int consoleColour(const VTermColor& colour, bool isDefault, bool bright) {
  constexpr int kConsoleColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  if (!VTERM_COLOR_IS_INDEXED(&colour) || isDefault) return -1;
  return kConsoleColour[colour.indexed.idx & 7] + (bright || colour.indexed.idx >= 8 ? 8 : 0);
}

inline VTermScreenCallbacks gCallbacks{};

}  // namespace detail

class VtermScreen {
 public:
  VtermScreen(int rows = 25, int columns = 80)
      : vt_(vterm_new(rows, columns)), screen_(vterm_obtain_screen(vt_)), rows_(rows), columns_(columns) {
    vterm_set_utf8(vt_, 1);
    detail::gCallbacks.settermprop = [](VTermProp prop, VTermValue* value, void* self) {
      auto* screen = static_cast<VtermScreen*>(self);
      if (prop == VTERM_PROP_CURSORVISIBLE) screen->cursorVisible_ = value->boolean != 0;
      if (prop == VTERM_PROP_ALTSCREEN) screen->altScreen_ = value->boolean != 0;
      return 1;
    };
    vterm_screen_set_callbacks(screen_, &detail::gCallbacks, this);
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_reset(screen_, 1);
  }
  ~VtermScreen() { vterm_free(vt_); }
  VtermScreen(const VtermScreen&) = delete;
  VtermScreen& operator=(const VtermScreen&) = delete;

  void feed(std::string_view bytes) {
    if (!bytes.empty()) vterm_input_write(vt_, bytes.data(), bytes.size());
  }
  // The window changes size, as a terminal's does (what no longer fits is lost).
  void resize(int rows, int columns) {
    vterm_set_size(vt_, rows, columns);
    rows_ = rows;
    columns_ = columns;
  }

  // Cells and rows are 1-based, as the game counts them. The right half of
  // a wide character whose left half was overwritten shows as the blank a
  // terminal shows there.
  Cell cell(int column, int row) const {
    Cell result;
    VTermScreenCell c{}, left{};
    if (!vterm_screen_get_cell(screen_, {row - 1, column - 1}, &c)) return result;
    // libvterm keeps a right half whose left half was overwritten by a narrow
    // character, and gives that character a width of 2.
    vterm_screen_get_cell(screen_, {row - 1, column - 2}, &left);
    if (c.chars[0] == 0xFFFFFFFFu && left.width == 2 && left.chars[0] >= 0x80 && left.chars[0] != 0xFFFFFFFFu) {
      result.width = 0;
    } else if (c.chars[0] == 0 || c.chars[0] == 0xFFFFFFFFu) {
      result.text.assign(1, ' ');
    } else {
      char utf8[6 * VTERM_MAX_CHARS_PER_CELL];  // libvterm writes up to six bytes a character
      result.text.assign(utf8, vterm_screen_get_text(screen_, utf8, sizeof utf8, {row - 1, row, column - 1, column}));
      result.width = c.width;
    }
    result.blink = c.attrs.blink != 0;
    result.fg = detail::consoleColour(c.fg, VTERM_COLOR_IS_DEFAULT_FG(&c.fg), c.attrs.bold);
    result.bg = detail::consoleColour(c.bg, VTERM_COLOR_IS_DEFAULT_BG(&c.bg), c.attrs.blink);
    return result;
  }
  // The row's text, one UTF-8 character per cell (wide characters once).
  std::string row(int row) const { return text(row, 1, columns_); }
  // The text of columns [from, to] of a row.
  std::string text(int row, int from, int to) const {
    std::string out;
    for (int column = from; column <= to && column <= columns_; ++column) out += cell(column, row).text;
    return out;
  }
  // The whole screen, rows joined with '\n'.
  std::string dump() const {
    std::string out;
    for (int r = 1; r <= rows_; ++r) out.append(row(r)).push_back('\n');
    return out;
  }
  bool contains(std::string_view utf8) const { return dump().find(utf8) != std::string::npos; }

  // The caret's column and row, 1-based.
  std::pair<int, int> cursor() const {
    VTermPos pos{};
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return {pos.col + 1, pos.row + 1};
  }
  bool cursorVisible() const { return cursorVisible_; }
  bool altScreen() const { return altScreen_; }
  int rows() const { return rows_; }
  int columns() const { return columns_; }

  // Bytes the terminal would send back (answers to queries, mouse reports).
  std::string takeOutput() {
    std::string out;
    char buffer[256];
    for (std::size_t n; (n = vterm_output_read(vt_, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
    return out;
  }

 private:
  VTerm* vt_;
  VTermScreen* screen_;
  int rows_;
  int columns_;
  bool cursorVisible_ = true;
  bool altScreen_ = false;
};

}  // namespace kotodama::test
