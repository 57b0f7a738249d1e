// A fighter from its name: the statistics a name gives, name entry on the
// scripted bench, and the status screen that shows a new fighter and asks
// whether to save it.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "characters/character.h"
#include "characters/name_entry.h"
#include "characters/status_screen.h"
#include "support/bench.h"
#include "support/golden.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

// ------------------------------------------------------------- statistics

TEST(Stats, WorkedExamplesSignedBytesAndRemainders) {
  const struct { std::string name; std::array<std::int32_t, 4> stats; } cases[] = {
      {"", {100, 30, 30, 30}}, {"hero", {316, 250, 230, 32}}, {"abcdefghij", {795, 135, 265, 92}},
      {"abc", {570, 225, 69, 61}},  // speed sums the quotients: 320 + 320 + 321
      // Bytes from 0x80 count negative. Five full-width katakana weigh -124845,
      // whose remainder -845 is negated (not lifted to 155); ten 0x80 bytes give
      // the most negative sum, and a negative defence sum (-480 -> 180).
      {"\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", {845, 130, 120, 165}},
      {std::string(10, '\x80'), {920, 80, 180, 150}},
      // Remainders at the floor stay and those below it are lifted: hp 100 stays and
      // 99 becomes 199; attack 50 stays, 49 becomes 79, -13 becomes 43; defence and speed alike.
      {"F~~", {100, 43, 151, 101}}, {"!3~", {199, 96, 198, 262}}, {"!G", {525, 50, 204, 231}},
      {"!<", {819, 79, 251, 295}}, {"!!", {177, 292, 50, 252}}, {"L", {348, 273, 79, 176}},
      {"4", {396, 75, 127, 50}}, {"!C", {541, 86, 272, 79}},
  };
  for (const auto& c : cases) {
    const Character f = named(c.name);
    EXPECT_EQ((std::array{f.hp, f.attack, f.defense, f.speed}), c.stats) << testing::PrintToString(c.name);
  }
}

// ------------------------------------------------------------- name entry

const std::string kTooLong = "名前が長すぎます。";

// Runs one name entry into a 12-byte name field on `bench`, after a pause
// of 1000 ticks (keys typed meanwhile are part of the line, as they would be
// in a console's input buffer). Gives the name stored, "exit <status>", or
// "waiting" (with what was written, if anything). Nothing past the name
// field may change, however long the typed line.
std::string enter(Bench& bench, int forOpponent = 0) {
  struct { char name[12], after[44]; } field;
  std::memset(&field, '#', sizeof field);
  const Outcome o = bench.run([&] {
    bench.console.waitTicks(1000);
    return enterName(bench.console, field.name, forOpponent);
  });
  const std::string name(field.name, strnlen(field.name, sizeof field.name));
  EXPECT_EQ(std::string(field.after, sizeof field.after), std::string(sizeof field.after, '#')) << "overrun";
  if (o.kind == Outcome::Exited) return "exit " + std::to_string(o.value);
  if (o.kind == Outcome::TimedOut) return name == std::string(12, '#') ? "waiting" : "waiting, wrote " + name;
  return o.value == static_cast<int>(name.size()) ? name : name + ", length " + std::to_string(o.value);
}

// At most 10 bytes of Shift-JIS are taken (five full-width characters, not
// six); a longer name is refused in the prompt's place, the echo overdrawn,
// and asked again (the retry here types "ok").
// Typed UTF-8 is stored as Shift-JIS, with "?" for what Shift-JIS cannot
// hold. Backspace takes back whole characters (and nothing before the line);
// mouse reports and other sequences never end up in the name. Ctrl+D on an
// empty line or a closed pipe ends the game as END does; a last line without
// its line end still counts, as for scanf. Waiting for a line, the box on
// the whole screen, the echo from the caret (column 32, row 12).
TEST(NameEntry, WhatIsStored) {
  const std::string aiueo = "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", bs(keys::kBackspace);
  const struct {  // `typed` arrives during the pause, `later` at the prompt
    std::string typed, later, stored, echo;
    bool endsInput = false;
    TerminalEncoding encoding = TerminalEncoding::Utf8;
  } cases[] = {
      {"abcdefghij\r", "", "abcdefghij", ">abcdefghij "}, {"abcdefghijk\r", "", "ok", ">ok         "},
      {"アイウエオ\r", "", aiueo, ">アイウエオ "}, {"アイウエオカ\r", "", "ok", ">ok         "},
      {"aé😀b\r", "", "a??b", ">a??b       "},
      {"a\xff\xed\xa0\x80é\r", "", "a?????", ">a?????     "},  // not UTF-8: each byte a "?"
      {"ab\x04\r", "", "ab", ">ab         "},  // Ctrl+D ends nothing on a typed name...
      {"\x04", "", "exit 0", ""},               // ...and the game on an empty one
      {"", std::string(1 << 20, 'x') + "\r", "ok", ">ok         "},  // a pasted megabyte
      {bs + "abc" + keys::mouseMove(40, 12) + keys::mousePress(40, 12) + keys::mouseRelease(40, 12),
       bs + bs + "アイ" + std::string(keys::kUp) + "\x1b[15~" + bs + "ウ\r", "a\x83\x41\x83\x45", ">aアウ      "},
      // On a Shift-JIS terminal a typed double-byte character is one: Backspace takes it back whole.
      {aiueo + "\x88\x9f" + bs + "\r", "", aiueo, "", false, TerminalEncoding::ShiftJis},
      {"", "", "exit 0", "", true}, {"hero", "", "hero", "", true}, {"hero", "", "waiting", ""},
  };
  for (const auto& c : cases) {
    Bench bench(c.encoding);
    bench.platform.at(100, c.typed).at(1500, c.later).whenShows(kTooLong, "ok\r", 300).limitAt(2000);
    if (c.endsInput) bench.platform.endInputAt(2000);
    EXPECT_EQ(enter(bench), c.stored) << testing::PrintToString(c.typed.substr(0, 20));
    if (!c.echo.empty()) { EXPECT_EQ(bench.screen().text(12, 31, 42), c.echo) << c.stored; }
    if (c.stored == "waiting") expectGolden(bench.screen(), "name-entry");
    EXPECT_EQ(bench.screen().text(10, 25, 58) == "[]       " + kTooLong + "     []", c.stored == "ok") << c.stored;
  }
}

// One whitespace-delimited token, as scanf("%s") reads it: blank lines do
// not answer, and the rest of the line answers the next entry at once, the
// opponent's prompt filling the box.
TEST(NameEntry, ReadsOneTokenAndKeepsTheRestOfTheLine) {
  Bench bench;
  bench.platform.at(100, "\r   \r\t\n  ab cd\r\n");
  EXPECT_EQ(enter(bench), "ab");
  const std::int64_t before = bench.platform.clock();
  bench.platform.at(before + 2500, "ef\r");
  EXPECT_EQ(enter(bench, 1), "cd");
  EXPECT_EQ(bench.platform.clock(), before + 1000);  // no wait but the pause
  EXPECT_EQ(bench.screen().text(10, 25, 58), "[]相手の名前を入力してください。[]");
  EXPECT_EQ(enter(bench), "ef");  // the line is used up: a third entry waits for a new one
}

// ---------------------------------------------------------- status screen

const std::string kQuestion = std::string(12, ' ') + "このキャラクターをセーブしますか？" + std::string(12, ' ');
const std::string kWarning = "このキャラクターのデータは保存されませんがよろしいですか？";

bool lit(const VtermScreen& s, int first, int last) { return s.cell(first, 24).bg == 12 && s.cell(last, 24).bg == 12; }

// Scripts of keys and pointer moves and clicks, and what the screen shows
// when they are done: the lit buttons, the question row, the answer. With no
// script, the whole screen: the fighter of a name typed in UTF-8 (its
// Shift-JIS bytes give the statistics), drawn in the colours name entry left.
// ⊂ and ⊃ take one column in a UTF-8 terminal; the blank after each keeps the
// portrait in its columns.
TEST(StatusScreen, TheSaveQuestion) {
  const std::string R(keys::kRight), L(keys::kLeft), E(keys::kEnter), Esc(keys::kEscape);
  const auto at = keys::mouseMove;
  const auto click = [&](int c) { return at(c, 24) + keys::mousePress(c, 24) + keys::mouseRelease(c, 24); };
  const struct { std::vector<std::pair<int, std::string>> script; std::string shown; } cases[] = {
      {{}, "YES question"}, {{{500, E}}, "YES question -> 0"},
      {{{100, E}}, "YES question"},  // typed ahead of the name's line end, a whole tap
      {{{500, R}, {1000, E}, {1100, E}}, "NO question"},  // a fresh tap, however soon after the confirm
      {{{500, R}, {1000, E}, {1500, Esc}, {2000, E}}, "NO question"},
      {{{500, R}, {1000, E}, {2000, E}, {2100, E}}, "NO warning"},
      {{{500, R}, {1000, E}, {2000, E}, {3000, E}, {4000, L}, {4500, E}}, "YES warning -> 1"},
      {{{500, click(30)}}, "YES question -> 0"},
      {{{300, at(52, 24)}, {500, click(52)}, {1500, click(52)}}, "NO question"},
      {{{300, at(52, 24)}, {500, keys::mousePress(52, 24)}, {1500, keys::mouseRelease(52, 24)}}, "NO warning"},
      {{{300, at(52, 24)}, {500, click(52)}, {1500, click(30)}}, "YES warning -> 1"},
      // Where the pointer counts as on a button: YES on columns 26 to 35, NO on 49 to 57, row 24 only.
      {{{200, R}, {1000, at(25, 24)}}, "NO question"}, {{{200, R}, {1000, at(26, 24)}}, "YES question"},
      {{{200, R}, {1000, at(35, 24)}}, "YES question"}, {{{200, R}, {1000, at(36, 24)}}, "NO question"},
      {{{200, R}, {1000, at(30, 23)}}, "NO question"}, {{{1000, at(48, 24)}}, "YES question"},
      {{{1000, at(49, 24)}}, "NO question"}, {{{1000, at(57, 24)}}, "NO question"},
      {{{1000, at(58, 24)}}, "YES question"}, {{{1000, at(52, 25)}}, "YES question"},
      // Pointer mode: once the pointer leaves, nothing is lit and Enter answers nothing, until Left or Right.
      {{{500, at(30, 24)}, {1000, at(40, 10)}, {1500, E}}, " question"},
      {{{500, at(30, 24)}, {1000, at(40, 10)}, {1500, E}, {2000, R}, {2500, E}}, "YES question -> 0"},
      // The keyboard's YES and the pointer on NO: YES answers first when both come at once.
      {{{500, at(52, 24) + E}}, "YES question -> 0"},
      {{{500, at(52, 24)}, {1000, E}, {1500, at(30, 24)}, {2000, E}}, "YES warning -> 1"},
  };
  // CREATE's screens as the game runs them, until 5000 at most: name entry (the name arrives at 100, ahead
  // of the script's bytes of the same tick), the statistics (which clear the screen in the colours in
  // force), and the status screen.
  for (const auto& c : cases) {
    Bench bench;
    bench.platform.at(100, "勇者\r").limitAt(5000);
    for (const auto& [t, bytes] : c.script) bench.platform.at(t, bytes);
    const Outcome o = bench.run([&] {
      Character fighter{};
      const int length = enterName(bench.console, fighter.name, 0);
      bench.console.moveCursor(80, 3);
      bench.console.print("x");
      EXPECT_EQ(deriveStats(bench.console, fighter, length), 0);
      return showStatus(bench.console, fighter);
    });
    const VtermScreen& s = bench.screen();
    if (c.script.empty()) expectGolden(s, "status");
    const std::string question = s.text(21, 12, 69);
    const bool white = s.cell(30, 21).fg == 15 && s.cell(30, 21).bg == 0;
    const bool red = s.cell(12, 21).fg == 0 && s.cell(68, 21).bg == 12;
    std::string shown = std::string(lit(s, 26, 34) ? "YES" : "") + (lit(s, 49, 56) ? "NO" : "");
    shown += question == kQuestion && white ? " question" : question == kWarning && red ? " warning" : " " + s.row(21);
    if (o.kind == Outcome::Returned) shown += " -> " + std::to_string(o.value);
    EXPECT_EQ(shown, c.shown) << testing::PrintToString(c.script);
  }
}

// Held, an arrow moves the highlight every 150 ticks: 100 after the move and
// 50 for the pass, from the first auto-repeat on (1500), the key staying down.
// A record read from a slot file need not hold a NUL in its name: the name
// stops at its field ("AAAA" if it ran on into the hit points).
TEST(StatusScreen, HeldArrowTogglesEveryHundredFiftyTicksOnANameWithoutItsNul) {
  Bench bench;
  const Character fighter{{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'}, 0x41414141, 1, 1, 1};
  bench.platform.holdAt(1000, keys::kRight, 2000).limitAt(3500);
  std::string moves;
  bool yes = true;
  bench.platform.when([&](const VtermScreen& s) {
    if (lit(s, 26, 34) != yes && bench.platform.clock() >= 1600) moves += std::to_string(bench.platform.clock()) + " ";
    yes = lit(s, 26, 34);
    return false;
  }, "");
  bench.run([&] { return showStatus(bench.console, fighter); });
  EXPECT_EQ(moves, "1600 1750 1900 2050 2200 2350 2500 2650 2800 2950 3100 ");
  EXPECT_EQ(bench.screen().text(5, 4, 19), "ABCDEFGHIJKL[]::");
}

}  // namespace
}  // namespace kotodama::test
