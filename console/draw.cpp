#include "console/draw.h"

#include <algorithm>

#include "console/display_text.h"

namespace kotodama {

std::string sjis(std::string_view utf8) { return utf8ToShiftJis(utf8); }

Rows sjisRows(std::initializer_list<std::string_view> utf8Rows) {
  Rows rows;
  rows.reserve(utf8Rows.size());
  for (std::string_view row : utf8Rows) rows.push_back(sjis(row));
  return rows;
}

void drawRow(Console& console, int x, int y, std::string_view row, std::size_t limit) {
  console.moveCursor(x, y);
  console.printBytes(row.data(), std::min(row.size(), limit));
}

void drawRows(Console& console, int x, int y, const Rows& rows) {
  for (const std::string& row : rows) drawRow(console, x, y++, row);
}

void drawScreen(Console& console, const Rows& rows) {
  int y = 1;
  for (const std::string& row : rows) drawRow(console, 1, y++, row, 79);
}

}  // namespace kotodama
