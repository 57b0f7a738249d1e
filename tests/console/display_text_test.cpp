#include "console/display_text.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <locale.h>
#include <vterm.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

namespace kotodama {
namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// The Shift-JIS codes the tests draw with, written out by hand.
const std::string kMacron = bytes({0x81, 0x50});    // ￣
const std::string kSubset = bytes({0x81, 0xBC});    // ⊂ (one column on UTF-8 terminals)
const std::string kSuperset = bytes({0x81, 0xBD});  // ⊃
const std::string kNa = bytes({0x96, 0xBC});        // 名
const std::string kMae = bytes({0x91, 0x4F});       // 前
const std::string kA = bytes({0x82, 0xA0});         // あ
const std::string kUnassigned = bytes({0xEB, 0x40});

bool isValidUtf8(const std::string& s) {
  iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string copy = s;
  char* in = copy.data();
  std::size_t inLeft = copy.size();
  bool ok = true;
  while (inLeft > 0 && ok) {
    char buffer[256];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) && errno != E2BIG) ok = false;
  }
  iconv_close(cd);
  return ok;
}

struct Drawn {
  std::string out;
  int column;
};

Drawn draw(std::initializer_list<std::string> pieces, int startColumn = 1,
           TerminalEncoding encoding = TerminalEncoding::Utf8, bool settle = true) {
  DisplayEncoder encoder(encoding);
  encoder.setColumn(startColumn);
  std::string out;
  for (const std::string& piece : pieces) encoder.put(piece.data(), piece.size(), out);
  if (settle) encoder.settle(out);
  return {out, encoder.column()};
}

// ------------------------------------------------------------------ display

TEST(DisplayEncoderText, AsciiPassesAndCountsOneColumnPerByte) {
  EXPECT_EQ(draw({"hero"}).out, "hero");
  EXPECT_EQ(draw({"hero"}).column, 5);
  EXPECT_EQ(draw({"HP:", " 100"}, 10).column, 17);
  EXPECT_EQ(draw({"~\\{}"}).out, "~\\{}");
  EXPECT_EQ(draw({""}, 7).column, 7);
  EXPECT_EQ(draw({""}, 7).out, "");
}

TEST(DisplayEncoderText, FullWidthCharactersBecomeUtf8AndTakeTwoColumns) {
  const Drawn d = draw({kNa + kMae + "1" + kMacron + kA}, 3);
  EXPECT_EQ(d.out, "名前1￣あ");
  EXPECT_EQ(d.column, 3 + 9);
  EXPECT_EQ(d.out.find('\x1b'), std::string::npos);
}

TEST(DisplayEncoderText, NarrowCharactersPutTheCursorBackWhereTheGameExpects) {
  EXPECT_EQ(draw({kSubset}, 10).out, "⊂\x1b[12G");
  EXPECT_EQ(draw({kSubset}, 10).column, 12);
  EXPECT_EQ(draw({"(" + kSubset + kSuperset + ")"}, 1).out, "(⊂\x1b[4G⊃\x1b[6G)");
  // Split over two puts, the move still names the column after the pair.
  EXPECT_EQ(draw({"a\x81", "\xBCz"}, 77).out, "a⊂\x1b[80Gz");
}

TEST(DisplayEncoderText, WidthsDoNotDependOnTheProcessLocale) {
  const std::string before = setlocale(LC_ALL, nullptr);
  setlocale(LC_ALL, "C");
  EXPECT_EQ(draw({kSubset + kNa}).out, "⊂\x1b[3G名");
  EXPECT_STREQ(setlocale(LC_ALL, nullptr), "C");
  EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), LC_GLOBAL_LOCALE);
  setlocale(LC_ALL, before.c_str());
}

TEST(DisplayEncoderText, RowCutAtItsStartShowsTheLoneTrailByte) {
  // The "P" is the trail byte of ￣ (81 50) whose lead fell off the row.
  const Drawn d = draw({bytes({0x50}) + kMacron});
  EXPECT_EQ(d.out, "P￣");
  EXPECT_EQ(d.column, 4);
  // A lone trail byte that is no ASCII character shows as a blank.
  EXPECT_EQ(draw({bytes({0x80, 0xFD, 0xFE, 0xFF})}).out, "    ");
}

TEST(DisplayEncoderText, RowCutAtItsEndHoldsTheLeadUntilSettled) {
  DisplayEncoder encoder(TerminalEncoding::Utf8);
  std::string out;
  encoder.put("ab\x81", 3, out);
  EXPECT_EQ(out, "ab");
  EXPECT_EQ(encoder.column(), 4);  // the held byte has its column already
  encoder.settle(out);
  EXPECT_EQ(out, "ab ");
  EXPECT_EQ(encoder.column(), 4);
  encoder.settle(out);  // nothing more is held
  EXPECT_EQ(out, "ab ");
  // Settled, the lead is gone: the next byte stands on its own.
  encoder.put("\x50", 1, out);
  EXPECT_EQ(out, "ab P");
}

TEST(DisplayEncoderText, HeldLeadPairsWithTheTrailOfTheNextPut) {
  EXPECT_EQ(draw({"\x81", "\x50"}).out, "￣");
  EXPECT_EQ(draw({"\x81", "\x50"}).column, 3);
  EXPECT_EQ(draw({"x\x96", "\xBC\x91", "\x4F"}).out, "x名前");
  // The next put starts with no trail byte: the lead is a blank, the byte itself.
  EXPECT_EQ(draw({"\x81", "!"}).out, " !");
  EXPECT_EQ(draw({"\x81", "!\x81", "\x50"}).out, " !￣");
  EXPECT_EQ(draw({"\x81", "!\x81", "\x50"}).column, 5);
  // Lead bytes are trail bytes too: two leads make one character.
  EXPECT_EQ(draw({"\x81", "\x81", "\x50"}).out, "＝P");
}

TEST(DisplayEncoderText, MovingTheCursorDropsAHeldLead) {
  DisplayEncoder encoder(TerminalEncoding::Utf8);
  std::string out;
  encoder.put("\x82", 1, out);
  encoder.setColumn(20);
  encoder.put("\xA0", 1, out);
  EXPECT_EQ(out, " ");  // 0xA0 on its own is no character
  EXPECT_EQ(encoder.column(), 21);
}

TEST(DisplayEncoderText, NulAndControlBytesAreBlanks) {
  const std::string text = bytes({0x00, 'a', 0x09, 0x0A, 0x0D, 0x1B, 0x7F, 0x1F, 'b'});
  const Drawn d = draw({text});
  EXPECT_EQ(d.out, " a      b");
  EXPECT_EQ(d.column, 10);
}

TEST(DisplayEncoderText, HalfWidthKatakanaTakeOneColumn) {
  const Drawn d = draw({bytes({0xA1, 0xB1, 0xDE, 0xDF})});
  EXPECT_EQ(d.out, "｡ｱﾞﾟ");
  EXPECT_EQ(d.column, 5);
}

TEST(DisplayEncoderText, InvalidPairsKeepTheirColumns) {
  // An unassigned code still fills its two cells.
  const Drawn unassigned = draw({"[" + kUnassigned + "]"});
  EXPECT_EQ(unassigned.out, "[??]");
  EXPECT_EQ(unassigned.column, 5);
  // A lead byte before a byte that is no trail: a blank, then that byte.
  EXPECT_EQ(draw({bytes({0x82, 0x7F, 0x82, 0x20, 0x82, 0xFD, 0x82, 0x00})}).out, "        ");
  EXPECT_EQ(draw({bytes({0x82, 0x3F})}).out, " ?");
  EXPECT_EQ(draw({bytes({0xFC})}).out, " ");
}

TEST(DisplayEncoderText, ColumnNeverOverflows) {
  DisplayEncoder encoder(TerminalEncoding::Utf8);
  std::string out;
  encoder.setColumn(INT_MAX - 1);
  encoder.put("abc\x81\x50", 5, out);
  encoder.put("\x81", 1, out);
  encoder.put("\x50", 1, out);
  EXPECT_EQ(encoder.column(), INT_MAX);
  encoder.setColumn(-5);
  EXPECT_EQ(encoder.column(), 1);
}

TEST(DisplayEncoderText, EncodersDoNotShareHeldBytes) {
  DisplayEncoder first(TerminalEncoding::Utf8);
  DisplayEncoder second(TerminalEncoding::Utf8);
  std::string a, b;
  first.put("\x96", 1, a);
  second.put("\x91", 1, b);
  first.put("\xBC", 1, a);
  second.put("\x4F", 1, b);
  EXPECT_EQ(a, "名");
  EXPECT_EQ(b, "前");
}

TEST(DisplayEncoderText, ShiftJisTerminalGetsTheBytesThemselves) {
  const TerminalEncoding sjis = TerminalEncoding::ShiftJis;
  const std::string text = kNa + kSubset + "a" + bytes({0xB1, 0x80, 0xFD});
  EXPECT_EQ(draw({text}, 1, sjis).out, text);
  EXPECT_EQ(draw({text}, 1, sjis).column, 1 + static_cast<int>(text.size()));
  EXPECT_EQ(draw({bytes({0x00, 0x1B, 0x7F, 'x'})}, 1, sjis).out, "   x");
  EXPECT_EQ(draw({"\x96", "\xBC"}, 1, sjis).out, kNa);
  // A lead with no trail would swallow whatever the console sends next.
  EXPECT_EQ(draw({"\x96"}, 1, sjis).out, " ");
  EXPECT_EQ(draw({"\x96!"}, 1, sjis).out, " !");
}

// ---------------------------------------------------------- whole strings

TEST(ShiftJisConversion, GameTextsRoundTrip) {
  const struct {
    const char* utf8;
    std::size_t sjisSize;
  } texts[] = {
      {"名前を入力してください。", 24},
      {"このキャラクターをセーブしますか？", 34},
      {"(10文字以内)", 12},
      {"ＨＰ：１００　ｱｲｳ", 17},
      {"hero", 4},
  };
  for (const auto& text : texts) {
    const std::string sjis = utf8ToShiftJis(text.utf8);
    EXPECT_EQ(sjis.size(), text.sjisSize) << text.utf8;
    EXPECT_EQ(shiftJisToUtf8(sjis), text.utf8);
  }
}

TEST(ShiftJisConversion, FullWidthFormsGetTheirGameCodes) {
  EXPECT_EQ(utf8ToShiftJis("￣"), kMacron);
  EXPECT_EQ(utf8ToShiftJis("＼"), bytes({0x81, 0x5F}));
  EXPECT_EQ(utf8ToShiftJis("⊂⊃"), kSubset + kSuperset);
  EXPECT_EQ(utf8ToShiftJis("\u3000"), bytes({0x81, 0x40}));
  EXPECT_EQ(utf8ToShiftJis("ア"), bytes({0x83, 0x41}));
  EXPECT_EQ(utf8ToShiftJis("ｱ"), bytes({0xB1}));
  EXPECT_EQ(utf8ToShiftJis("a\\~"), "a\\~");
}

TEST(ShiftJisConversion, BadInputBecomesQuestionMarks) {
  EXPECT_EQ(utf8ToShiftJis("a\xF0\x9F\x98\x80" "b"), "a?b");  // an emoji has no code
  EXPECT_EQ(utf8ToShiftJis("\xE3\x81"), "??");                // cut short
  EXPECT_EQ(utf8ToShiftJis("\xC0\xAF\xED\xA0\x80"), "?????");  // overlong, surrogate
  EXPECT_EQ(shiftJisToUtf8(kUnassigned + "x"), "?x");
  EXPECT_EQ(shiftJisToUtf8(bytes({0x81, 0x20, 0x80, 0xA0, 0xFF, 0x96})), "? ????");
  EXPECT_EQ(shiftJisToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

// ------------------------------------------------------------- typed text

TEST(TypedTextEncoding, Utf8IsConvertedCharacterByCharacter) {
  const TerminalEncoding utf8 = TerminalEncoding::Utf8;
  EXPECT_EQ(typedToShiftJis("アイウエオ", utf8),
            bytes({0x83, 0x41, 0x83, 0x43, 0x83, 0x45, 0x83, 0x47, 0x83, 0x49}));
  EXPECT_EQ(typedToShiftJis("hero", utf8), "hero");
  EXPECT_EQ(typedToShiftJis("\xF0\x9F\x90\x89", utf8), "?");
  EXPECT_EQ(typedToShiftJis("a\xFF\xBF" "b", utf8), "a??b");
  EXPECT_EQ(typedToShiftJis("\xE3\x82\xA2\xE3\x82", utf8), bytes({0x83, 0x41, '?', '?'}));
}

TEST(TypedTextEncoding, ShiftJisKeepsItsBytesButNotLoneLeads) {
  const TerminalEncoding sjis = TerminalEncoding::ShiftJis;
  EXPECT_EQ(typedToShiftJis(kNa + "a" + bytes({0xB1}), sjis), kNa + "a" + bytes({0xB1}));
  EXPECT_EQ(typedToShiftJis(bytes({0x96, '1'}), sjis), "?1");
  EXPECT_EQ(typedToShiftJis(bytes({'a', 0x96}), sjis), "a?");
  EXPECT_EQ(typedToShiftJis(bytes({0x80, 0xFF}), sjis), "??");
}

TEST(TypedTextEncoding, CharacterWidths) {
  const TerminalEncoding utf8 = TerminalEncoding::Utf8;
  EXPECT_EQ(typedCharWidth("a", utf8), 1);
  EXPECT_EQ(typedCharWidth("名", utf8), 2);
  EXPECT_EQ(typedCharWidth("ｱ", utf8), 1);
  EXPECT_EQ(typedCharWidth("⊂", utf8), 1);
  EXPECT_EQ(typedCharWidth("\xCC\x81", utf8), 0);  // a combining accent
  EXPECT_EQ(typedCharWidth("\x01", utf8), 0);
  EXPECT_EQ(typedCharWidth("\xE3\x82", utf8), 1);
  EXPECT_EQ(typedCharWidth("", utf8), 0);
  const TerminalEncoding sjis = TerminalEncoding::ShiftJis;
  EXPECT_EQ(typedCharWidth(kNa, sjis), 2);
  EXPECT_EQ(typedCharWidth("a", sjis), 1);
  EXPECT_EQ(typedCharWidth(bytes({0xB1}), sjis), 1);
  EXPECT_EQ(typedCharWidth(bytes({0x96}), sjis), 1);
}

// --------------------------------------------------- against a terminal

// Random rows of game text, cut into puts at random places, drawn on a
// terminal emulator: after every put the terminal's cursor stands where the
// encoder says the game's next byte goes.
class Terminal {
 public:
  Terminal() : vt_(vterm_new(25, 80)) {
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    vterm_screen_reset(screen_, 1);
  }
  ~Terminal() { vterm_free(vt_); }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void write(const std::string& s) { vterm_input_write(vt_, s.data(), s.size()); }
  int cursorColumn() const {
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.col + 1;
  }
  std::uint32_t cell(int column) const {
    VTermScreenCell cell;
    vterm_screen_get_cell(screen_, VTermPos{0, column - 1}, &cell);
    return cell.chars[0];
  }

 private:
  VTerm* vt_;
  VTermScreen* screen_;
};

std::string randomRow(std::mt19937& rng, std::size_t limit) {
  // Pieces for every kind of byte, broken ones too, and any byte at all
  // (this terminal and wcwidth agree on the widths of every code page 932
  // character).
  static const std::vector<std::string> pieces = {
      "a", "Z", "P", "~", " ", "@", kMacron, kSubset, kSuperset, kNa, kMae, kA, kUnassigned,
      bytes({0x83, 0x41}), bytes({0x83, 0x94}), bytes({0x88, 0x9F}), bytes({0xEA, 0xA4}),
      bytes({0x81, 0x40}), bytes({0x82, 0x60}), bytes({0xB1}), bytes({0xDF}), bytes({0x00}),
      bytes({0x1B}), bytes({0x7F}), bytes({0x80}), bytes({0xA0}), bytes({0xFF}), bytes({0x81}),
      bytes({0x9F}), bytes({0xE0}), bytes({0xFC}), bytes({0x40}), bytes({0xBC})};
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::string row;
  for (;;) {
    const std::string piece = anyByte(rng) < 96 ? bytes({anyByte(rng)}) : pieces[pick(rng)];
    if (row.size() + piece.size() > limit) return row;
    row += piece;
  }
}

// Which bytes of a row start a two-byte character, as the game counts them.
std::vector<bool> pairStarts(const std::string& row) {
  auto lead = [](unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); };
  auto trail = [](unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; };
  std::vector<bool> starts(row.size(), false);
  for (std::size_t i = 0; i + 1 < row.size(); ++i) {
    if (lead(static_cast<unsigned char>(row[i])) && trail(static_cast<unsigned char>(row[i + 1]))) {
      starts[i] = true;
      ++i;
    }
  }
  return starts;
}

TEST(DisplayEncoderTerminal, CursorFollowsTheGameColumnsWhereverRowsAreCut) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 2000; ++round) {
    const std::string row = randomRow(rng, 76);
    const std::vector<bool> starts = pairStarts(row);
    Terminal terminal;
    DisplayEncoder encoder(TerminalEncoding::Utf8);
    std::string all;
    std::size_t done = 0;
    while (done < row.size()) {
      const std::size_t left = row.size() - done;
      std::uniform_int_distribution<std::size_t> cut(0, round % 2 == 0 ? left : std::min<std::size_t>(left, 3));
      const std::size_t size = cut(rng);
      std::string out;
      encoder.put(row.data() + done, size, out);
      done += size;
      all += out;
      terminal.write(out);
      // A lead byte at the end of a put is not on the screen yet.
      const unsigned char last = done > 0 ? static_cast<unsigned char>(row[done - 1]) : 0;
      const bool lastIsLead = (last >= 0x81 && last <= 0x9F) || (last >= 0xE0 && last <= 0xFC);
      const bool held = lastIsLead && (done < 2 || !starts[done - 2]);
      ASSERT_EQ(terminal.cursorColumn() + (held ? 1 : 0), encoder.column()) << testing::PrintToString(row);
    }
    std::string out;
    encoder.settle(out);
    all += out;
    terminal.write(out);
    ASSERT_EQ(terminal.cursorColumn(), encoder.column());
    ASSERT_EQ(encoder.column(), 1 + static_cast<int>(row.size()));
    ASSERT_TRUE(isValidUtf8(all)) << testing::PrintToString(row);
    // Every single ASCII byte sits in its own column.
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (starts[i]) {
        ++i;
        continue;
      }
      const auto b = static_cast<unsigned char>(row[i]);
      if (b >= 0x20 && b < 0x7F) {
        ASSERT_EQ(terminal.cell(static_cast<int>(i) + 1), b) << i;
      }
    }
  }
}

}  // namespace
}  // namespace kotodama
