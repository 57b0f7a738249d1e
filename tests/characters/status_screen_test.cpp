#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "characters/character.h"
#include "characters/name_entry.h"
#include "characters/status_screen.h"
#include "support/bench.h"
#include "support/golden.h"

namespace kotodama::test {
namespace {

using Script = std::vector<std::pair<int, std::string>>;
const std::string kQuestion = std::string(12, ' ') + "このキャラクターをセーブしますか？" + std::string(12, ' ');
const std::string kWarning = "このキャラクターのデータは保存されませんがよろしいですか？";

// Runs CREATE's screens as the game does, until 5000 at most: name entry
// (`typed` arrives at 100, ahead of the script's bytes of the same tick), the
// statistics (which clear the screen in the colours in force), and the
// status screen.
Outcome create(Bench& bench, const Script& script = {}, const std::string& typed = "勇者\r") {
  bench.platform.at(100, typed).limitAt(5000);
  for (const auto& [t, bytes] : script) bench.platform.at(t, bytes);
  return bench.run([&] {
    Character fighter{};
    const int length = enterName(bench.console, fighter.name, 0);
    bench.console.moveCursor(80, 3);
    bench.console.print("x");
    EXPECT_EQ(deriveStats(bench.console, fighter, length), 0);
    return showStatus(bench.console, fighter);
  });
}

bool lit(const VtermScreen& s, int first, int last) { return s.cell(first, 24).bg == 12 && s.cell(last, 24).bg == 12; }

// A record read from a slot file need not hold a NUL in its name.
TEST(StatusScreen, ANameWithoutItsNulStopsAtTheField) {
  Bench bench;
  const Character fighter{{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'}, 0x41414141, 1, 1, 1};
  bench.platform.limitAt(1000);
  bench.run([&] { return showStatus(bench.console, fighter); });
  EXPECT_EQ(bench.screen().text(5, 4, 19), "ABCDEFGHIJKL[]::");  // "AAAA" if the name ran on
}

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
  const struct { Script script; std::string shown; } cases[] = {
      {{}, "YES question"}, {{{500, E}}, "YES question -> 0"},
      {{{100, E}}, "YES question"},  // typed ahead of the name's line end, a whole tap
      {{{500, R}, {1000, E}, {1100, E}}, "NO warning"},  // tapped during the 250 ticks after a confirm
      {{{500, R}, {1000, E}, {1500, Esc}, {2000, E}}, "NO question"},
      {{{500, R}, {1000, E}, {2000, E}, {2100, E}}, "NO question"},
      {{{500, R}, {1000, E}, {2000, E}, {3000, E}, {4000, L}, {4500, E}}, "YES warning -> 1"},
      {{{500, click(30)}}, "YES question -> 0"},
      {{{300, at(52, 24)}, {500, click(52)}, {1500, click(52)}}, "NO question"},
      {{{300, at(52, 24)}, {500, keys::mousePress(52, 24)}, {1500, keys::mouseRelease(52, 24)}}, "NO warning"},
      {{{300, at(52, 24)}, {500, click(52)}, {1500, click(30)}}, "YESNO warning -> 1"},
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
  for (const auto& c : cases) {
    Bench bench;
    const Outcome o = create(bench, c.script);
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
TEST(StatusScreen, HeldArrowTogglesEveryHundredFiftyTicks) {
  Bench bench;
  bench.platform.holdAt(1000, keys::kRight, 2000);
  std::string moves;
  bool yes = true;
  bench.platform.when([&](const VtermScreen& s) {
    if (lit(s, 26, 34) != yes && bench.platform.clock() >= 1600) moves += std::to_string(bench.platform.clock()) + " ";
    yes = lit(s, 26, 34);
    return false;
  }, "");
  create(bench);
  EXPECT_EQ(moves, "1600 1750 1900 2050 2200 2350 2500 2650 2800 2950 3100 ");
}

}  // namespace
}  // namespace kotodama::test
