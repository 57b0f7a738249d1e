#include "console/draw.h"

#include <algorithm>

#include "console/display_text.h"

namespace kotodama {

namespace {

constexpr std::size_t kNoticeInside = 50;
constexpr int kNoticeTicks = 1000;

// A row of the notice frame with `text` centred between the bars.
std::string noticeRow(std::string_view text) {
  const std::size_t room = kNoticeInside - std::min(text.size(), kNoticeInside);
  const std::size_t left = room / 2;
  return "[]" + std::string(left, ' ') + std::string(text) + std::string(room - left, ' ') + "[]";
}

}  // namespace

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

Rows noticeFrame(std::string_view question, std::string_view message) {
  const std::string blank = noticeRow("");
  return {blank, noticeRow(question), noticeRow(message), blank, blank};
}

void showNotice(Console& console, std::string_view message) {
  // Nineteen full-width blanks.
  static const std::string wideBlanks = sjis("　　　　　　　　　　　　　　　　　　　");
  console.setColor(kHighlight);
  drawRows(console, kNoticeColumn, kNoticeTop, noticeFrame(wideBlanks, message));
  console.waitTicks(kNoticeTicks);
  console.setColor(kText);
}

}  // namespace kotodama
