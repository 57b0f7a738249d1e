#include "support/vterm_screen.h"

#include <vterm.h>

namespace kotodama::test {

namespace {

void appendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

VTermScreenCallbacks gCallbacks{};

// Console colour of an ANSI colour index (red and blue swap places).
constexpr int kConsoleColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

}  // namespace

int VtermScreen::onTermProp(int prop, const void* value, void* self) {
  auto* screen = static_cast<VtermScreen*>(self);
  const auto* v = static_cast<const VTermValue*>(value);
  if (prop == VTERM_PROP_CURSORVISIBLE) screen->cursorVisible_ = v->boolean != 0;
  if (prop == VTERM_PROP_ALTSCREEN) screen->altScreen_ = v->boolean != 0;
  return 1;
}

VtermScreen::VtermScreen(int rows, int columns) : rows_(rows), columns_(columns) {
  vt_ = vterm_new(rows, columns);
  vterm_set_utf8(vt_, 1);
  screen_ = vterm_obtain_screen(vt_);
  gCallbacks.settermprop = [](VTermProp prop, VTermValue* value, void* self) {
    return onTermProp(prop, value, self);
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
  VTermScreenCell c{};
  VTermPos pos{row - 1, column - 1};
  if (!vterm_screen_get_cell(screen_, pos, &c)) return result;
  if (c.chars[0] == 0xFFFFFFFFu) {
    result.text.clear();
    result.width = 0;
  } else if (c.chars[0] == 0) {
    result.text.assign(1, ' ');
  } else {
    result.text.clear();
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i] != 0; ++i) appendUtf8(result.text, c.chars[i]);
    result.width = c.width;
  }
  result.blink = c.attrs.blink != 0;
  if (VTERM_COLOR_IS_INDEXED(&c.fg) && !VTERM_COLOR_IS_DEFAULT_FG(&c.fg)) {
    result.fg = kConsoleColour[c.fg.indexed.idx & 7] + (c.attrs.bold || c.fg.indexed.idx >= 8 ? 8 : 0);
  }
  if (VTERM_COLOR_IS_INDEXED(&c.bg) && !VTERM_COLOR_IS_DEFAULT_BG(&c.bg)) {
    result.bg = kConsoleColour[c.bg.indexed.idx & 7] + (c.attrs.blink || c.bg.indexed.idx >= 8 ? 8 : 0);
  }
  return result;
}

std::string VtermScreen::text(int row, int from, int to) const {
  std::string out;
  for (int column = from; column <= to && column <= columns_; ++column) out += cell(column, row).text;
  return out;
}

std::string VtermScreen::row(int row) const { return text(row, 1, columns_); }

std::string VtermScreen::dump() const {
  std::string out;
  for (int r = 1; r <= rows_; ++r) {
    out += row(r);
    out += '\n';
  }
  return out;
}

bool VtermScreen::contains(std::string_view utf8) const {
  for (int r = 1; r <= rows_; ++r) {
    if (row(r).find(utf8) != std::string::npos) return true;
  }
  return false;
}

int VtermScreen::cursorColumn() const {
  VTermPos pos{};
  vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
  return pos.col + 1;
}

int VtermScreen::cursorRow() const {
  VTermPos pos{};
  vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
  return pos.row + 1;
}

std::string VtermScreen::takeOutput() {
  std::string out;
  char buffer[256];
  for (std::size_t n; (n = vterm_output_read(vt_, buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

}  // namespace kotodama::test
