#include "console/display_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <climits>
#include <string>
#include <vector>

namespace kotodama {
namespace {

// The Shift-JIS codes the tests draw with, written out by hand.
const std::string kMacron = "\x81\x50";  // ￣
const std::string kSubset = "\x81\xBC";  // ⊂ (one column on UTF-8 terminals), ⊃ after it
const std::string kNa = "\x96\xBC";      // 名
const std::string kSettle = "<settle>";  // a piece of a draw that calls settle()
constexpr TerminalEncoding utf8 = TerminalEncoding::Utf8, sjis = TerminalEncoding::ShiftJis;

// Puts `pieces` one by one from `start` ("@n" moves the cursor to column n);
// "what came out|the column it ends on".
std::string draw(const std::vector<std::string>& pieces, int start, TerminalEncoding encoding) {
  DisplayEncoder encoder(encoding);
  encoder.setColumn(start);
  std::string out;
  for (const std::string& piece : pieces) {
    if (piece == kSettle) encoder.settle(out);
    else if (piece.size() > 1 && piece[0] == '@') encoder.setColumn(std::stoi(piece.substr(1)));
    else encoder.put(piece.data(), piece.size(), out);
  }
  return out + "|" + std::to_string(encoder.column());
}

TEST(DisplayEncoderText, CellsStayWhereTheGamePutsThem) {
  const struct { const char* name; std::vector<std::string> pieces; int start; std::string expected;
    TerminalEncoding encoding = utf8; } cases[] = {
      {"ASCII, one column a byte", {"HP:", " 100~\\{}"}, 10, "HP: 100~\\{}|21"},
      {"full-width", {kNa + "\x91\x4F" "1" + kMacron + "\x82\xA0"}, 3, "名前1￣あ|12"},
      {"narrow ones put the cursor back", {"(" + kSubset + "\x81\xBD)"}, 10, "(⊂\x1b[13G⊃\x1b[15G)|16"},
      {"narrow one split over two puts", {"a\x81", "\xBCz"}, 77, "a⊂\x1b[80Gz|81"},
      {"lone trail bytes where a row is cut", {"P" + kMacron + "\x80\xFD\xFE\xFF"}, 1, "P￣    |8"},
      {"lead at the end held, settled once", {"ab\x81", kSettle, kSettle, "\x50"}, 1, "ab P|5"},
      {"held lead pairs with the next put", {"x\x96", "\xBC\x91", "\x4F", "\x81", "\x50"}, 1, "x名前￣|8"},
      {"lead bytes are trail bytes too", {"\x81", "\x81", "\x50"}, 1, "＝P|4"},
      {"a cursor move drops a held lead", {"\x82", "@20", "\xA0"}, 1, " |21"},
      {"controls are blanks", {std::string("\0a\t\n\r\x1b\x7f\x1f" "b", 9)}, 1, " a      b|10"},
      {"half-width katakana, unassigned", {"\xA1\xB1\xDE\xDF[\xEB\x40]"}, 1, "｡ｱﾞﾟ[??]|9"},
      {"lead, no trail", {std::string("\x82\x7F\x82\x20\x82\xFD\x82\0\x82?\xFC", 11), kSettle}, 1, "         ? |12"},
      {"column saturates", {"abc" + kMacron}, INT_MAX - 1, "abc￣|" + std::to_string(INT_MAX)},
      {"column at least 1", {"@-5", "a"}, 1, "a|2"},
      {"Shift-JIS terminal: as is", {kNa + kSubset + "a\xB1\x80\xFD"}, 1, kNa + kSubset + "a\xB1\x80\xFD|9", sjis},
      {"Shift-JIS terminal: controls, lead held",
       {std::string("\0\x1b\x7fx", 4), "\x96", "\xBC", "\x96", kSettle, "\x96!"}, 1, "   x" + kNa + "  !|10", sjis},
  };
  // Widths do not depend on the process locale, and the encoder leaves the thread's locale alone.
  const std::string before = setlocale(LC_ALL, nullptr);
  setlocale(LC_ALL, "C");
  for (const auto& c : cases) EXPECT_EQ(draw(c.pieces, c.start, c.encoding), c.expected) << c.name;
  EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), LC_GLOBAL_LOCALE);
  setlocale(LC_ALL, before.c_str());
}

// What the other conversion tests leave out: bytes that are no character
// become "?" (a NUL stays), and the widths of what is typed.
TEST(ShiftJisConversion, WholeStringsTypedTextAndWidths) {
  EXPECT_EQ(utf8ToShiftJis("\xC0\xAF\xE0\x80\xAF\xED\xA0\x80"), "????????");  // overlong, surrogate
  EXPECT_EQ(shiftJisToUtf8("\x83\x41\xB1\xEB\x40\x81\x20\x80\xA0\xFF\x96"), "アｱ?? ????");
  EXPECT_EQ(shiftJisToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(typedToShiftJis("he\xF0\x9F\x90\x89\xFF\xBF" "ro\xE3\x82\xA2\xE3\x82", utf8), "he???ro\x83\x41??");
  EXPECT_EQ(typedToShiftJis(kNa + "a\xB1" "\x96" "1\x80\xFF" "a\x96", sjis), kNa + "a\xB1?1??a?");
  const struct { std::string typed; TerminalEncoding encoding; int width; } widths[] = {
      {"a", utf8, 1}, {"名", utf8, 2}, {"ｱ", utf8, 1}, {"⊂", utf8, 1}, {"\xCC\x81", utf8, 0}, {"\x01", utf8, 0},
      {"\xE3\x82", utf8, 1}, {"", utf8, 0}, {kNa, sjis, 2}, {"a", sjis, 1}, {"\xB1", sjis, 1}, {"\x96", sjis, 1},
  };
  for (const auto& w : widths) {
    EXPECT_EQ(typedCharWidth(w.typed, w.encoding), w.width) << testing::PrintToString(w.typed);
  }
}

}  // namespace
}  // namespace kotodama
