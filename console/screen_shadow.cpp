#include "console/screen_shadow.h"

#include <algorithm>
#include <cstring>

namespace kotodama {

namespace {

// Bytes of the character that starts with `lead`.
std::size_t characterLength(unsigned lead, TerminalEncoding encoding) {
  if (encoding == TerminalEncoding::ShiftJis) return isShiftJisLead(lead) ? 2 : 1;
  if (lead >= 0xF0) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

}  // namespace

void ScreenShadow::moveTo(int column, int row) {
  row_ = std::clamp(row, 1, kRows);
  moveToColumn(column);
}

void ScreenShadow::moveToColumn(int column) {
  column_ = std::clamp(column, 1, kColumns);
  wrapPending_ = false;
}

void ScreenShadow::setColors(int fg, int bg) {
  fg_ = fg & 15;
  bg_ = bg & 15;
}

void ScreenShadow::clear() {
  Cell blankCell;
  blankCell.fg = static_cast<std::uint8_t>(fg_);
  blankCell.bg = static_cast<std::uint8_t>(bg_);
  cells_.fill(blankCell);
}

void ScreenShadow::text(const char* bytes, std::size_t size) {
  std::string joined;
  if (!partial_.empty()) {
    joined = partial_ + std::string(bytes, size);
    partial_.clear();
    bytes = joined.data();
    size = joined.size();
  }
  for (std::size_t i = 0; i < size;) {
    const std::size_t length = characterLength(static_cast<unsigned char>(bytes[i]), encoding_);
    if (i + length > size) {
      partial_.assign(bytes + i, size - i);
      return;
    }
    put(bytes + i, length, typedCharWidth(std::string_view(bytes + i, length), encoding_));
    i += length;
  }
}

// The cell at `column` of the cursor's row becomes a blank, keeping its colours.
void ScreenShadow::blank(int column) {
  Cell& c = cells_[index(column, row_)];
  c.bytes[0] = ' ';
  c.size = 1;
  c.width = 1;
}

void ScreenShadow::cut(int column) {
  blank(column);
  cuts_.emplace_back(column, row_);
}

void ScreenShadow::newLine() {
  column_ = 1;
  wrapPending_ = false;
  if (row_ < kRows) {
    ++row_;
    return;
  }
  // Past the last row the terminal scrolls.
  std::copy(cells_.begin() + kColumns, cells_.end(), cells_.begin());
  Cell blankCell;
  blankCell.fg = static_cast<std::uint8_t>(fg_);
  blankCell.bg = static_cast<std::uint8_t>(bg_);
  std::fill(cells_.end() - kColumns, cells_.end(), blankCell);
}

void ScreenShadow::put(const char* bytes, std::size_t size, int width) {
  if (width <= 0) {
    // A character that takes no cell joins the one before it, as far as it fits.
    const int before = wrapPending_ ? column_ : column_ - 1;
    if (before < 1) return;
    Cell& c = cells_[index(before, row_)];
    if (c.width == 0) return;
    if (c.size + size <= sizeof c.bytes) {
      std::memcpy(c.bytes + c.size, bytes, size);
      c.size = static_cast<std::uint8_t>(c.size + size);
    }
    return;
  }
  if (wrapPending_ || column_ + width - 1 > kColumns) newLine();
  // A wide character cut in half leaves a blank in its colours where its
  // other half was.
  const int last = column_ + width - 1;
  if (cells_[index(column_, row_)].width == 0 && column_ > 1) cut(column_ - 1);
  if (cells_[index(last, row_)].width == 2 && last < kColumns) cut(last + 1);
  Cell& c = cells_[index(column_, row_)];
  std::memcpy(c.bytes, bytes, size);
  c.size = static_cast<std::uint8_t>(size);
  c.width = static_cast<std::uint8_t>(width);
  c.fg = static_cast<std::uint8_t>(fg_);
  c.bg = static_cast<std::uint8_t>(bg_);
  if (width == 2) {
    Cell& right = cells_[index(column_ + 1, row_)];
    right = c;
    right.width = 0;
  }
  if (last == kColumns) {
    column_ = kColumns;
    wrapPending_ = true;
  } else {
    column_ = last + 1;
  }
}

}  // namespace kotodama
