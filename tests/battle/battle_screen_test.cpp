#include "battle/battle_screen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "battle/battle.h"
#include "battle/battle_bench.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

const std::string kBlank75(75, ' ');

// The portraits as the terminal shows them whole.
const char* const kOpponentFace[11] = {
    "    ___________     ", "   /           `    ", "  |   ||   ||   |   ", "  |     ー      |   ",
    "|＼ . ...      /    ", " ＼＼        :      ", "   ＼＼／    |      ", "    :__       :     ",
    "    |_______ __:    ", "     ||     ||      ", " ____ ||_____||_____",
};
const char* const kPlayerFace[6] = {
    "    ____________    ", "  ／            ＼  ", " ::               ` ",
    "::::               |", ":::::              |", ":::::.             |",
};

Fighters workedPair() { return pairOf(fighter("me", 300, 100, 50, 50), fighter("foe", 250, 120, 50, 50)); }

// A battle run until the clock reaches `limit` (no input unless the caller
// scripts some before calling run()).
struct Staged {
  Bench bench;
  Fighters fighters;
  Outcome outcome;
  explicit Staged(const Fighters& start) : fighters(start) {}
  Staged& limit(std::int64_t t) {
    bench.platform.limitAt(t);
    return *this;
  }
  Staged& run(int draw = 0) {
    outcome = bench.run([&] { return runBattle(bench.console, fighters, [draw] { return draw; }); });
    return *this;
  }
  VtermScreen& screen() { return bench.screen(); }
};

std::unique_ptr<Staged> openingAt(std::int64_t t, const Fighters& start = workedPair()) {
  auto r = std::make_unique<Staged>(start);
  r->limit(t).run();
  EXPECT_EQ(r->outcome.kind, Outcome::TimedOut);
  return r;
}

// The ticks at which slide steps show: each step stands for 50 ticks.
std::int64_t opponentStep(int k) { return 500 + 50 * k + 25; }       // k = 0..19, then 20..24 the moves
std::int64_t playerStep(int k) { return 2250 + 50 * k + 25; }        // likewise

TEST(BattleScreen, TheFrameComesFirstAlone) {
  auto r = openingAt(250);
  VtermScreen& s = r->screen();
  EXPECT_FALSE(s.cursorVisible());
  const std::string a = "][" + kBlank75 + "][ ", b = "[]" + kBlank75 + "[] ", c = "[]" + kBlank75 + "][ ",
                    d = "][" + kBlank75 + "[] ";
  const std::string kinds[8] = {a, b, c, d, c, d, a, b};
  for (int row = 1; row <= 25; ++row) {
    const std::string& expected = row <= 8 ? kinds[row - 1] : (row % 2 ? a : b);
    EXPECT_EQ(s.text(row, 1, 2), expected.substr(0, 2)) << row;
    EXPECT_EQ(s.text(row, 78, 80), expected.substr(77)) << row;
  }
  for (int row = 1; row <= 25; ++row) {
    EXPECT_EQ(s.row(row), row <= 8 ? kinds[row - 1] : (row % 2 ? a : b)) << row;
    EXPECT_EQ(s.cell(1, row).fg, 15);
    EXPECT_EQ(s.cell(79, row).bg, 0);
  }
}

TEST(BattleScreen, BoxesNamesHitPointsAndTheLogTabFollowAfter500Ticks) {
  auto r = openingAt(525);  // the opponent's slide step 0, which shows nothing
  VtermScreen& s = r->screen();
  EXPECT_EQ(s.text(3, 1, 16), "[]￣￣￣￣￣￣| ");
  EXPECT_EQ(s.text(4, 3, 30), " foe        | HP 250 /  250 ");
  EXPECT_EQ(s.text(5, 3, 16), "____________| ");
  EXPECT_EQ(s.text(15, 64, 77), " |￣￣￣￣￣￣");
  EXPECT_EQ(s.text(16, 49, 77), " HP 300 /  300  |me          ");
  EXPECT_EQ(s.text(17, 64, 77), " |____________");
  EXPECT_EQ(s.text(19, 61, 77), "   ______________");
  EXPECT_EQ(s.text(20, 61, 77), " ／  BATTLE LOG  ");
  std::string rule;
  for (int i = 0; i < 29; ++i) rule += "￣";
  EXPECT_EQ(s.text(21, 1, 62), "][" + rule + "  ");
  for (int row : {22, 23, 24}) EXPECT_EQ(s.text(row, 3, 77), kBlank75);
  for (int row = 1; row <= 11; ++row) EXPECT_EQ(s.text(row, 53, 77), std::string(25, ' ')) << row;
  for (int row = 15; row <= 20; ++row) EXPECT_EQ(s.text(row, 3, 27), std::string(25, ' ')) << row;
  for (int column : {1, 4, 5, 17, 29, 66, 62, 77, 79}) {
    for (int row : {1, 4, 16, 20, 21}) {
      EXPECT_EQ(s.cell(column, row).fg, 15) << column << "," << row;
      EXPECT_EQ(s.cell(column, row).bg, 0) << column << "," << row;
    }
  }
}

TEST(BattleScreen, TheOpponentSlidesInFromTheRightCutByBytes) {
  {
    // Two bytes of each row: rows 5 and 6 end on the first byte of "＼",
    // which the console shows as a blank in the portrait's colour.
    auto r = openingAt(opponentStep(2));
    VtermScreen& s = r->screen();
    EXPECT_EQ(s.text(1, 74, 77), "    ");
    EXPECT_EQ(s.text(3, 75, 76), "  ");
    EXPECT_EQ(s.text(5, 74, 77), " |  ");
    EXPECT_EQ(s.text(6, 74, 77), "    ");
    EXPECT_EQ(s.cell(76, 5).fg, 12);
    EXPECT_EQ(s.cell(76, 6).fg, 12);
    EXPECT_EQ(s.cell(75, 11).fg, 12);
    EXPECT_EQ(s.text(11, 74, 77), "  _ ");
  }
  {
    // Nine bytes: row 4 ends on the first byte of "ー"; rows 5 to 7 show
    // their double-byte characters whole.
    auto r = openingAt(opponentStep(9));
    VtermScreen& s = r->screen();
    EXPECT_EQ(s.text(4, 67, 79), "   |       []");
    EXPECT_EQ(s.cell(76, 4).fg, 12);
    EXPECT_EQ(s.text(5, 67, 77), " |＼ . ... ");
    EXPECT_EQ(s.text(6, 67, 77), "  ＼＼     ");
    EXPECT_EQ(s.text(7, 67, 77), "    ＼＼／ ");
    EXPECT_EQ(s.text(11, 67, 79), "  ____ ||_ ][");
  }
  {
    // Nineteen bytes, the last step before it moves whole.
    auto r = openingAt(opponentStep(19));
    VtermScreen& s = r->screen();
    for (int j = 0; j < 11; ++j) {
      EXPECT_EQ(s.text(j + 1, 58, 76), std::string(kOpponentFace[j]).substr(0, std::string(kOpponentFace[j]).size() - 1))
          << j;
    }
  }
  {
    // The first whole step: at column 57, a blank after it at 77.
    auto r = openingAt(opponentStep(20));
    VtermScreen& s = r->screen();
    for (int j = 0; j < 11; ++j) EXPECT_EQ(s.text(j + 1, 56, 77), std::string(" ") + kOpponentFace[j] + " ") << j;
  }
  {
    // Still at column 53 during the pause before the player's slide.
    auto r = openingAt(2000);
    VtermScreen& s = r->screen();
    for (int j = 0; j < 11; ++j) EXPECT_EQ(s.text(j + 1, 52, 77), std::string(" ") + kOpponentFace[j] + "     ") << j;
    EXPECT_EQ(s.text(16, 3, 27), std::string(25, ' '));  // the player's portrait has not begun
  }
}

TEST(BattleScreen, ThePlayerSlidesInFromTheLeftCutByBytes) {
  {
    // Three bytes: row 2 starts on the second byte of "＼", shown as "_".
    auto r = openingAt(playerStep(3));
    VtermScreen& s = r->screen();
    EXPECT_EQ(s.text(15, 1, 7), "][     ");
    EXPECT_EQ(s.text(16, 1, 7), "[]_    ");
    EXPECT_EQ(s.text(17, 1, 7), "][ `   ");
    EXPECT_EQ(s.text(18, 1, 7), "[]  |  ");
    EXPECT_EQ(s.cell(3, 16).fg, 15);
  }
  {
    // Seventeen bytes: row 2 starts on the second byte of "／", shown as "^".
    auto r = openingAt(playerStep(17));
    VtermScreen& s = r->screen();
    EXPECT_EQ(s.text(16, 3, 20), "^            ＼   ");
    EXPECT_EQ(s.text(15, 3, 20), " ____________     ");
    EXPECT_EQ(s.text(20, 3, 20), "::.             | ");
  }
  {
    // Moving whole: the third step prints a blank at column 5 and the row
    // from column 6; the blanks of the steps before stay at 3 and 4.
    auto r = openingAt(playerStep(22));
    VtermScreen& s = r->screen();
    for (int j = 0; j < 6; ++j) EXPECT_EQ(s.text(15 + j, 1, 26), std::string(j % 2 ? "[]" : "][") + "   " + kPlayerFace[j] + " ") << j;
  }
}

TEST(BattleScreen, BothPortraitsEndWholeInPlaceAfter3500Ticks) {
  auto r = openingAt(3600);
  VtermScreen& s = r->screen();
  for (int j = 0; j < 11; ++j) {
    const int row = j + 1;
    EXPECT_EQ(s.text(row, 53, 72), kOpponentFace[j]) << row;
    EXPECT_EQ(s.text(row, 73, 77), "     ") << row;
    EXPECT_EQ(s.cell(53, row).fg, 12) << row;
    EXPECT_EQ(s.cell(72, row).fg, 12) << row;
    EXPECT_EQ(s.cell(60, row).bg, 0) << row;
  }
  // The frame's right border beside it is untouched.
  EXPECT_EQ(s.text(1, 78, 80), "][ ");
  EXPECT_EQ(s.text(4, 78, 80), "[] ");
  EXPECT_EQ(s.text(11, 78, 80), "][ ");
  for (int j = 0; j < 6; ++j) {
    const int row = 15 + j;
    EXPECT_EQ(s.text(row, 3, 7), "     ") << row;
    EXPECT_EQ(s.text(row, 8, 27), kPlayerFace[j]) << row;
    EXPECT_EQ(s.text(row, 28, 49), std::string(22, ' ')) << row;
    EXPECT_EQ(s.cell(8, row).fg, 15) << row;
  }
  EXPECT_EQ(s.text(22, 3, 25), "foeは遠い目をしている  ");
  EXPECT_EQ(s.cell(3, 22).fg, 15);
  EXPECT_EQ(s.cell(3, 22).bg, 0);
}

TEST(BattleScreen, TenByteNamesStayInsideTheirBoxes) {
  auto r = openingAt(3600, pairOf(named("ABCDEFGHIJ"), named("abcdefghij")));
  VtermScreen& s = r->screen();
  EXPECT_EQ(s.text(4, 3, 16), " abcdefghij | ");
  EXPECT_EQ(s.text(16, 64, 80), " |ABCDEFGHIJ  [] ");

  // Ten bytes of full-width katakana take the same ten columns.
  auto k = openingAt(3600, pairOf(named("\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49"),
                                  named("\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49")));
  EXPECT_EQ(k->screen().text(4, 3, 16), " アイウエオ | ");
  EXPECT_EQ(k->screen().text(16, 64, 80), " |アイウエオ  [] ");
}

TEST(BattleScreen, ANameWithoutItsNulStopsAtTheField) {
  // A record read from a file may fill all 12 bytes of the name.
  Character player = fighter("", 300, 100, 50, 50);
  std::memcpy(player.name, "ABCDEFGHIJKL", 12);
  auto r = openingAt(3600, pairOf(player, fighter("foe", 250, 120, 50, 50)));
  EXPECT_EQ(r->screen().text(16, 64, 80), " |ABCDEFGHIJKL[] ");
}

TEST(BattleScreen, AHitPointRedrawLeavesNoStrayDigit) {
  Bench bench;
  Character player = fighter("me", 999, 100, 50, 50);
  Character opponent = fighter("foe", 100, 100, 50, 50);
  bench.run([&] {
    drawHitPointLines(bench.console, player, 999, opponent, 250);
    opponent.hp = 60;
    player.hp = 5;
    drawHitPointLines(bench.console, player, 999, opponent, 250);
    return 0;
  });
  EXPECT_EQ(bench.screen().text(4, 16, 30), " HP  60 /  250 ");
  EXPECT_EQ(bench.screen().text(16, 49, 63), " HP   5 /  999 ");
}

TEST(BattleScreen, TheOpeningLineFollowsTheDraw) {
  const std::pair<int, const char*> cases[] = {
      {0, "foeは遠い目をしている"},
      {1, "foeは余裕そうな顔をしている"},
      {2, "foeはつぶらな瞳で見つめている"},
      {3, "foe「I want to win the beatbox battle」"},
      {6, "foeはつぶらな瞳で見つめている"},
      {2147483647, "foe「I want to win the beatbox battle」"},
  };
  for (const auto& [draw, line] : cases) {
    Staged r(workedPair());
    r.limit(3600).run(draw);
    const std::string shown = r.screen().text(22, 3, 77);
    EXPECT_EQ(shown.substr(0, shown.find_last_not_of(' ') + 1), line) << draw;
  }
  // The longest: a ten-byte name and the English line cover columns 3 to 48.
  Staged r(pairOf(named("hero"), named("abcdefghij")));
  r.limit(3600).run(3);
  EXPECT_EQ(r.screen().text(22, 1, 50), "[]abcdefghij「I want to win the beatbox battle」  ");
  EXPECT_EQ(r.screen().cell(48, 22).text, "");  // the right half of "」"
  EXPECT_EQ(r.screen().cell(47, 22).text, "」");
}

TEST(BattleScreen, TheProductionDrawPicksOneOfTheFourLines) {
  Bench bench;
  bench.platform.limitAt(3600);
  Fighters fighters = workedPair();
  bench.run([&] { return runBattle(bench.console, fighters); });
  const std::string shown = bench.screen().text(22, 3, 77);
  const std::string line = shown.substr(0, shown.find_last_not_of(' ') + 1);
  EXPECT_TRUE(line == "foeは遠い目をしている" || line == "foeは余裕そうな顔をしている" ||
              line == "foeはつぶらな瞳で見つめている" || line == "foe「I want to win the beatbox battle」")
      << line;
}

TEST(BattleScreen, EachTurnBlanksTheLogFirst) {
  // A long opening line, then shorter blow lines over it.
  Staged r(pairOf(fighter("me", 300, 100, 50, 50), named("abcdefghij")));
  r.bench.platform.at(3600, keys::kEnter).at(4500, keys::kEnter);
  r.limit(5000).run(3);
  // Second blow, during its 600-tick pause: its first line only.
  VtermScreen& s = r.screen();
  EXPECT_EQ(s.text(22, 3, 77), "meの攻撃" + std::string(67, ' '));
  EXPECT_EQ(s.text(23, 3, 77), kBlank75);
  EXPECT_EQ(s.text(24, 3, 77), kBlank75);

  Staged first(pairOf(fighter("me", 300, 100, 50, 50), named("abcdefghij")));
  first.bench.platform.at(3600, keys::kEnter);
  first.limit(4400).run(3);
  // The first blow at its confirm wait; the English line is gone.
  const Character foe = named("abcdefghij");
  EXPECT_EQ(first.screen().text(22, 3, 77), "abcdefghijの攻撃" + std::string(59, ' '));
  EXPECT_EQ(first.screen().text(23, 3, 30), "meは" + std::to_string(foe.attack) + "のダメージを受けた   ");
  EXPECT_EQ(first.screen().text(24, 3, 77), kBlank75);
}

TEST(BattleScreen, AConfirmWaitIgnoresAKeyTappedBeforeIt) {
  // Enter tapped during the opening: the opening line still waits.
  Staged r(workedPair());
  r.bench.platform.at(1000, keys::kEnter).at(6000, keys::kEnter);
  r.limit(6100).run();
  EXPECT_EQ(r.screen().text(22, 3, 10), "foeの攻撃");  // the first blow fell after the press at 6000
  Staged early(workedPair());
  early.bench.platform.at(1000, keys::kEnter).at(6000, keys::kEnter);
  early.limit(5990).run();
  EXPECT_EQ(early.screen().text(22, 3, 23), "foeは遠い目をしている");
}

// The whole screen before and after the banner: the banner covers exactly
// columns 6 to 72 of rows 3 to 20, in its colours; every other cell stays.
void expectBanner(const Fighters& start, int result, int bg, const std::string& row11) {
  Staged after(start);
  after.bench.platform.holdAt(0, keys::kEnter, 60'000);
  after.run();
  ASSERT_TRUE(returned(after.outcome, result));
  // The same battle stopped during its closing pause.
  Staged before(start);
  before.bench.platform.holdAt(0, keys::kEnter, 60'000);
  before.limit(after.outcome.time - 100).run();
  ASSERT_EQ(before.outcome.kind, Outcome::TimedOut);

  for (int row = 1; row <= 25; ++row) {
    for (int column = 1; column <= 80; ++column) {
      const Cell was = before.screen().cell(column, row);
      const Cell is = after.screen().cell(column, row);
      if (row >= 3 && row <= 20 && column >= 6 && column <= 72) {
        EXPECT_EQ(is.fg, 0) << column << "," << row;
        EXPECT_EQ(is.bg, bg) << column << "," << row;
      } else {
        EXPECT_EQ(is.text, was.text) << column << "," << row;
        EXPECT_EQ(is.fg, was.fg) << column << "," << row;
        EXPECT_EQ(is.bg, was.bg) << column << "," << row;
      }
    }
  }
  VtermScreen& s = after.screen();
  EXPECT_EQ(s.text(3, 6, 72), "[]        ###         ####      ####       ####   ##########     []");
  EXPECT_EQ(s.text(12, 6, 72), "[]                                                               []");
  EXPECT_EQ(s.text(13, 6, 72), row11);
  // The last blow stays readable below.
  EXPECT_NE(s.text(22, 3, 77), kBlank75);
  EXPECT_NE(s.text(23, 3, 77), kBlank75);
}

TEST(BattleScreen, GameOverCoversTheMiddleInLightRed) {
  expectBanner(workedPair(), 0, 12, "[]          ###      ##       ##   #########    ########         []");
}

TEST(BattleScreen, GameClearCoversTheMiddleInYellow) {
  expectBanner(pairOf(fighter("me", 300, 100, 50, 51), fighter("foe", 250, 120, 50, 50)), 1, 14,
               "[]     ###      ##         ########      ####      ########      []");
}

// The game loop's wait after a battle. The worked pair's battle with taps at
// 4000, 5000 .. 9000: its closing pause runs from 9050 to 10550.
struct BattleThenWait {
  Bench bench;
  std::int64_t battleEnded = -1;
  Outcome run() {
    for (int t = 4000; t <= 9000; t += 1000) bench.platform.at(t, keys::kEnter);
    Fighters fighters = workedPair();
    return bench.run([&] {
      const int result = runBattle(bench.console, fighters, [] { return 0; });
      battleEnded = bench.platform.clock();
      bench.console.confirmWait();
      return result;
    });
  }
};

TEST(AfterBattle, EnterStillHeldWhenTheBattleEndsOnlyWaits50Ticks) {
  {
    BattleThenWait a;
    a.bench.platform.holdAt(10000, keys::kEnter, 2000);
    const Outcome o = a.run();
    EXPECT_TRUE(returned(o, 0));
    EXPECT_EQ(a.battleEnded, 10550);
    EXPECT_EQ(o.time, 10600);
  }
  {
    // Tapped 50 ticks before the end: its release is not due yet.
    BattleThenWait a;
    a.bench.platform.at(10500, keys::kEnter);
    const Outcome o = a.run();
    EXPECT_EQ(a.battleEnded, 10550);
    EXPECT_EQ(o.time, 10600);
  }
}

TEST(AfterBattle, APressAndReleaseDuringTheClosingPauseIsNotEnough) {
  {
    BattleThenWait a;
    a.bench.platform.at(10000, keys::kEnter).clickAt(12000, 40, 12);
    const Outcome o = a.run();
    EXPECT_TRUE(returned(o, 0));
    EXPECT_EQ(a.battleEnded, 10550);
    EXPECT_EQ(o.time, 12050);  // the click ended it
  }
  {
    BattleThenWait a;
    a.bench.platform.at(10000, keys::kEnter).at(13000, keys::kEnter);
    const Outcome o = a.run();
    EXPECT_EQ(o.time, 13050);
    EXPECT_TRUE(a.bench.screen().contains("##########"));  // the banner stayed meanwhile
  }
}

}  // namespace
}  // namespace kotodama::test
