#include "console/display_text.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <climits>
#include <string>
#include <vector>

namespace kotodama {
namespace {

// The Shift-JIS codes the tests draw with, written out by hand.
const std::string kMacron = "\x81\x50";    // ￣
const std::string kSubset = "\x81\xBC";    // ⊂ (one column on UTF-8 terminals)
const std::string kSuperset = "\x81\xBD";  // ⊃
const std::string kNa = "\x96\xBC";        // 名
const std::string kUnassigned = "\xEB\x40";
const std::string kSettle = "<settle>";  // a piece of a draw that calls settle()

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
  const TerminalEncoding sjis = TerminalEncoding::ShiftJis;
  const std::string sjisText = kNa + kSubset + "a\xB1\x80\xFD";
  const struct {
    const char* name;
    std::vector<std::string> pieces;
    int start;
    std::string expected;
    TerminalEncoding encoding = TerminalEncoding::Utf8;
  } cases[] = {
      {"ASCII, one column a byte", {"HP:", " 100~\\{}"}, 10, "HP: 100~\\{}|21"},
      {"full-width", {kNa + "\x91\x4F" "1" + kMacron + "\x82\xA0"}, 3, "名前1￣あ|12"},
      {"narrow ones put the cursor back", {"(" + kSubset + kSuperset + ")"}, 10, "(⊂\x1b[13G⊃\x1b[15G)|16"},
      {"narrow one split over two puts", {"a\x81", "\xBCz"}, 77, "a⊂\x1b[80Gz|81"},
      {"lone trail bytes where a row is cut", {"P" + kMacron + "\x80\xFD\xFE\xFF"}, 1, "P￣    |8"},
      {"lead at the end held, settled once", {"ab\x81", kSettle, kSettle, "\x50"}, 1, "ab P|5"},
      {"held lead pairs with the next put", {"x\x96", "\xBC\x91", "\x4F", "\x81", "\x50"}, 1, "x名前￣|8"},
      {"held lead before no trail", {"\x81", "!\x81", "\x50"}, 1, " !￣|5"},
      {"lead bytes are trail bytes too", {"\x81", "\x81", "\x50"}, 1, "＝P|4"},
      {"a cursor move drops a held lead", {"\x82", "@20", "\xA0"}, 1, " |21"},
      {"controls are blanks", {std::string("\0a\t\n\r\x1b\x7f\x1f" "b", 9)}, 1, " a      b|10"},
      {"half-width katakana", {"\xA1\xB1\xDE\xDF"}, 1, "｡ｱﾞﾟ|5"},
      {"unassigned code", {"[" + kUnassigned + "]"}, 1, "[??]|5"},
      {"lead before no trail", {std::string("\x82\x7F\x82\x20\x82\xFD\x82\0\x82?\xFC", 11), kSettle}, 1, "         ? |12"},
      {"column saturates", {"abc" + kMacron, "\x81", "\x50"}, INT_MAX - 1, "abc￣￣|" + std::to_string(INT_MAX)},
      {"column at least 1", {"@-5", "a"}, 1, "a|2"},
      {"Shift-JIS terminal: bytes as they are", {sjisText}, 1, sjisText + "|9", sjis},
      {"Shift-JIS terminal: controls", {std::string("\0\x1b\x7fx", 4)}, 1, "   x|5", sjis},
      {"Shift-JIS terminal: lead held", {"\x96", "\xBC", "\x96", kSettle, "\x96!"}, 1, kNa + "  !|6", sjis},
  };
  // Widths do not depend on the process locale, and the encoder leaves the thread's locale alone.
  const std::string before = setlocale(LC_ALL, nullptr);
  setlocale(LC_ALL, "C");
  for (const auto& c : cases) EXPECT_EQ(draw(c.pieces, c.start, c.encoding), c.expected) << c.name;
  EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), LC_GLOBAL_LOCALE);
  setlocale(LC_ALL, before.c_str());
}

TEST(ShiftJisConversion, WholeStringsTypedTextAndWidths) {
  enum Kind { ToSjis, ToUtf8, TypedUtf8, TypedSjis, WidthUtf8, WidthSjis };
  const struct {
    Kind kind;
    std::string in, out;
  } cases[] = {
      {ToSjis, "名前を入力\u3000(10文字以内)hero",
       "\x96\xBC\x91\x4F\x82\xF0\x93\xFC\x97\xCD\x81\x40(10\x95\xB6\x8E\x9A\x88\xC8\x93\xE0)hero"},
      {ToSjis, "\xC0\xAF\xE0\x80\xAF\xED\xA0\x80", "????????"},  // overlong, surrogate
      {ToUtf8, "\x83\x41\xB1" + kUnassigned + "\x81\x20\x80\xA0\xFF\x96", "アｱ?? ????"},
      {ToUtf8, std::string("a\0b", 3), std::string("a\0b", 3)},
      {TypedUtf8, "アイウエオ", "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49"},
      {TypedUtf8, "he\xF0\x9F\x90\x89\xFF\xBF" "ro\xE3\x82\xA2\xE3\x82", "he???ro\x83\x41??"},
      {TypedSjis, kNa + "a\xB1", kNa + "a\xB1"},
      {TypedSjis, "\x96" "1\x80\xFF" "a\x96", "?1??a?"},
      {WidthUtf8, "a", "1"}, {WidthUtf8, "名", "2"}, {WidthUtf8, "ｱ", "1"}, {WidthUtf8, "⊂", "1"},
      {WidthUtf8, "\xCC\x81", "0"}, {WidthUtf8, "\x01", "0"}, {WidthUtf8, "\xE3\x82", "1"}, {WidthUtf8, "", "0"},
      {WidthSjis, kNa, "2"}, {WidthSjis, "a", "1"}, {WidthSjis, "\xB1", "1"}, {WidthSjis, "\x96", "1"},
  };
  const TerminalEncoding utf8 = TerminalEncoding::Utf8, sjis = TerminalEncoding::ShiftJis;
  for (const auto& c : cases) {
    const std::string got = c.kind == ToSjis      ? utf8ToShiftJis(c.in)
                            : c.kind == ToUtf8    ? shiftJisToUtf8(c.in)
                            : c.kind == TypedUtf8 ? typedToShiftJis(c.in, utf8)
                            : c.kind == TypedSjis ? typedToShiftJis(c.in, sjis)
                                                  : std::to_string(typedCharWidth(c.in, c.kind == WidthUtf8 ? utf8 : sjis));
    EXPECT_EQ(got, c.out) << c.kind << " " << testing::PrintToString(c.in);
    if (c.kind == ToSjis && got.find('?') == std::string::npos) { EXPECT_EQ(shiftJisToUtf8(got), c.in); }
  }
}

}  // namespace
}  // namespace kotodama
