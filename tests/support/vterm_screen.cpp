#include "support/vterm_screen.h"

#include <vterm.h>

namespace kotodama::test {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
  const int trail = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;  // continuation bytes
  const std::uint32_t lead = trail == 0 ? 0 : (0xFF00u >> (trail + 1)) & 0xFF;  // 0xC0, 0xE0 or 0xF0
  out += static_cast<char>(lead | (c >> (6 * trail)));
  for (int i = trail - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

VTermScreenCallbacks gCallbacks{};

// Console colour of an ANSI colour index (red and blue swap places).
constexpr int kConsoleColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

// The console colour of a cell's colour, its bright bit set by `bright`;
// -1 for the terminal's default.
int consoleColour(const VTermColor& colour, bool isDefault, bool bright) {
  if (!VTERM_COLOR_IS_INDEXED(&colour) || isDefault) return -1;
  return kConsoleColour[colour.indexed.idx & 7] + (bright || colour.indexed.idx >= 8 ? 8 : 0);
}

}  // namespace

VtermScreen::VtermScreen(int rows, int columns) : rows_(rows), columns_(columns) {
  vt_ = vterm_new(rows, columns);
  vterm_set_utf8(vt_, 1);
  screen_ = vterm_obtain_screen(vt_);
  gCallbacks.settermprop = [](VTermProp prop, VTermValue* value, void* self) {
    auto* screen = static_cast<VtermScreen*>(self);
    if (prop == VTERM_PROP_CURSORVISIBLE) screen->cursorVisible_ = value->boolean != 0;
    if (prop == VTERM_PROP_ALTSCREEN) screen->altScreen_ = value->boolean != 0;
    return 1;
  };
  vterm_screen_set_callbacks(screen_, &gCallbacks, this);
  vterm_screen_enable_altscreen(screen_, 1);
  vterm_screen_reset(screen_, 1);
}

VtermScreen::~VtermScreen() { vterm_free(vt_); }

void VtermScreen::feed(std::string_view bytes) {
  if (!bytes.empty()) vterm_input_write(vt_, bytes.data(), bytes.size());
}

void VtermScreen::resize(int rows, int columns) {
  vterm_set_size(vt_, rows, columns);
  rows_ = rows;
  columns_ = columns;
}

Cell VtermScreen::cell(int column, int row) const {
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
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i] != 0; ++i) appendUtf8(result.text, c.chars[i]);
    result.width = c.width;
  }
  result.blink = c.attrs.blink != 0;
  result.fg = consoleColour(c.fg, VTERM_COLOR_IS_DEFAULT_FG(&c.fg), c.attrs.bold);
  result.bg = consoleColour(c.bg, VTERM_COLOR_IS_DEFAULT_BG(&c.bg), c.attrs.blink);
  return result;
}

std::string VtermScreen::text(int row, int from, int to) const {
  std::string out;
  for (int column = from; column <= to && column <= columns_; ++column) out += cell(column, row).text;
  return out;
}

std::string VtermScreen::dump() const {
  std::string out;
  for (int r = 1; r <= rows_; ++r) out.append(row(r)).push_back('\n');
  return out;
}

std::pair<int, int> VtermScreen::cursor() const {
  VTermPos pos{};
  vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
  return {pos.col + 1, pos.row + 1};
}

std::string VtermScreen::takeOutput() {
  std::string out;
  char buffer[256];
  for (std::size_t n; (n = vterm_output_read(vt_, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

}  // namespace kotodama::test
