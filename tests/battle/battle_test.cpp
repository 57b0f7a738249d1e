// The battle: the rules on records, and the battle screen on the scripted
// bench, watched at each of its waits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "battle/battle.h"
#include "battle/battle_screen.h"
#include "console/display_text.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

// A record by hand: the name field is these bytes, then zeros.
Character fighter(std::string_view name, int hp, int attack, int defense, int speed) {
  Character c{{}, hp, attack, defense, speed};
  name.copy(c.name, sizeof c.name);
  return c;
}

std::string trimmed(std::string s) { return s.erase(s.find_last_not_of(' ') + 1); }
std::string colours(const Cell& c) { return std::to_string(c.fg) + "/" + std::to_string(c.bg); }

// Equal speed; the player's speed is the only thing the two worked pairs change.
Fighters workedPair(int playerSpeed = 50) {
  return {fighter("me", 300, 100, 50, playerSpeed), fighter("foe", 250, 120, 50, 50)};
}

// What the screen shows from a tick on: columns `from` to `to` of a row, or
// (to == 0) the colours "fg/bg" of the cell at column `from`.
struct Look {
  std::int64_t tick;
  int row, from, to;
  std::string shows;
  std::string on(const VtermScreen& s) const { return to ? s.text(row, from, to) : colours(s.cell(from, row)); }
};

// One battle and the game's wait after it, watched at each of its waits:
// every blow's two log lines and both hit-point lines each time they change,
// the looks, and the whole screen during the pause before the banner.
struct Battle {
  explicit Battle(const Fighters& start, std::vector<Look> at = {}) : fighters(start), looks(at), seen(at.size()) {
    script.when([this](const VtermScreen& s) { return watch(s); }, "");
  }
  // Enter is held throughout unless `hold` is false, so every confirm wait
  // ends at once: for the opening, the closing pause and the most blows the two can trade.
  Battle& run(int draw = 0, bool hold = true) {
    const auto turns = [this](int a) { return fighters[1 - a].hp / std::max(fighters[a].attack, 1) + 1; };
    if (hold) script.holdAt(0, keys::kEnter, 5100 + std::int64_t{650} * (turns(0) + turns(1)));
    outcome = bench.run([&] {
      const int result = runBattle(bench.console, fighters, [draw] { return draw; });
      ended = script.clock();
      bench.console.confirmWait();
      return result;
    });
    return *this;
  }
  bool watch(const VtermScreen& s) {
    const auto add = [](std::vector<std::string>& log, const std::string& line) {
      if (line.find_first_not_of(' ') != std::string::npos && (log.empty() || log.back() != line)) log.push_back(line);
    };
    if (ended >= 0 || script.clock() == checked) return false;  // what a wait shows, it shows at its end
    checked = script.clock();
    const std::string log = trimmed(s.text(22, 3, 77)) + " " + trimmed(s.text(23, 3, 77));
    if (s.text(23, 3, 77) != std::string(75, ' ')) add(blows, log);
    add(hp, s.text(4, 17, 29) + " " + s.text(16, 50, 62));
    for (std::size_t i = 0; i < looks.size(); ++i) {
      if (seen[i].empty() && script.clock() >= looks[i].tick) seen[i] = looks[i].on(s);
    }
    if (before.empty() && !hp.empty() && hp.back().find("HP   0 ") != std::string::npos) {
      for (int k = 0; k < 2000; ++k) before.push_back(s.cell(k % 80 + 1, k / 80 + 1));
    }
    return false;
  }

  Bench bench;
  ScriptedPlatform& script = bench.platform;
  Fighters fighters;
  std::vector<Look> looks;
  std::vector<std::string> seen, blows, hp;
  std::vector<Cell> before;
  Outcome outcome;
  std::int64_t ended = -1, checked = -1;
};

// ------------------------------------------------------------------ rules

// Both worked pairs blow by blow: the player strikes first only when
// strictly faster, the last striker wins, and a run with another opening
// draw goes the same way. The banner then covers exactly columns 6 to 72 of
// rows 3 to 20 in its colours; every other cell stays as it was, the last
// blow's log lines below it included.
TEST(BattleRules, WorkedPairsToTheirBanners) {
  const std::string foe = "foeの攻撃 meは120のダメージを受けた", me = "meの攻撃 foeは100のダメージを受けた";
  const struct {
    int speed, result;
    std::vector<std::string> blows, hp;
    int bannerBg;
    std::string bannerRow11;
  } cases[] = {
      {50, 0, {foe, me, foe, me, foe},
       {"HP 250 /  250 HP 300 /  300", "HP 250 /  250 HP 180 /  300", "HP 150 /  250 HP 180 /  300",
        "HP 150 /  250 HP  60 /  300", "HP  50 /  250 HP  60 /  300", "HP  50 /  250 HP   0 /  300"},
       12, "[]          ###      ##       ##   #########    ########         []"},
      {51, 1, {me, foe, me, foe, me},
       {"HP 250 /  250 HP 300 /  300", "HP 150 /  250 HP 300 /  300", "HP 150 /  250 HP 180 /  300",
        "HP  50 /  250 HP 180 /  300", "HP  50 /  250 HP  60 /  300", "HP   0 /  250 HP  60 /  300"},
       14, "[]     ###      ##         ########      ####      ########      []"},
  };
  for (const auto& c : cases) {
    for (int draw : {0, 3}) {
      Battle b(workedPair(c.speed));
      b.run(draw);
      EXPECT_TRUE(returned(b.outcome, c.result)) << draw;
      EXPECT_EQ(b.ended, 3500 + 50 + 650 * 5 + 1500);  // opening, opening line, five blows, closing pause
      EXPECT_EQ(b.blows, c.blows) << draw;
      EXPECT_EQ(b.hp, c.hp) << draw;
      EXPECT_EQ(std::pair(b.fighters[0].hp, b.fighters[1].hp), c.result ? std::pair(60, 0) : std::pair(0, 50));

      const VtermScreen& s = b.bench.screen();
      ASSERT_EQ(b.before.size(), 2000u);
      for (int k = 0; k < 2000; ++k) {
        const int column = k % 80 + 1, row = k / 80 + 1;
        const Cell is = s.cell(column, row);
        const bool covered = row >= 3 && row <= 20 && column >= 6 && column <= 72;
        const Cell want = covered ? Cell{is.text, is.width, 0, c.bannerBg} : b.before[static_cast<std::size_t>(k)];
        EXPECT_EQ(is.text + colours(is), want.text + colours(want)) << column << "," << row;
      }
      EXPECT_EQ(s.text(3, 6, 72), "[]        ###         ####      ####       ####   ##########     []");
      EXPECT_EQ(s.text(13, 6, 72), c.bannerRow11);
    }
  }
}

// One blow on its own, Enter pressed at 1000 for its confirm wait: the
// defender loses the attacker's full attack, never going below 0 nor past
// the most a record holds; the log shows (1 - defence / 600) * attack,
// which is the attack for every defence a name gives.
TEST(BattleRules, ABlowTakesTheFullAttackDownToZero) {
  const struct {
    int attack, hp, defense, fallen, left;
    const char* line;
  } cases[] = {
      {120, 50, 50, 1, 0, "120"},  // more than is left
      {120, 120, 50, 1, 0, "120"},
      {120, 121, 50, 0, 1, "120"},
      {120, 999, 299, 0, 879, "120"},
      {120, 999, 600, 0, 879, "0"},  // defences no name gives
      {120, 999, 1200, 0, 879, "-120"},
      {INT32_MIN, INT32_MAX, INT32_MIN, 0, INT32_MAX, "-7686144623902720"},  // 32 bits would overflow
      {INT32_MAX, INT32_MIN, INT32_MAX, 1, 0, "-7686140325356286"},
  };
  for (const auto& c : cases) {
    Bench bench;
    bench.platform.at(1000, keys::kEnter);
    Character elf = fighter("elf", c.hp, 40, c.defense, 50);
    const Character ogre = fighter("ogre", 500, c.attack, 50, 50);
    const Outcome o = bench.run([&] { return static_cast<int>(performAttack(bench.console, ogre, elf)); });
    EXPECT_TRUE(returned(o, c.fallen)) << c.line;
    EXPECT_EQ(o.time, 1050) << c.line;  // the confirm wait ends 50 ticks after the press
    EXPECT_EQ(elf.hp, c.left) << c.line;
    EXPECT_EQ(trimmed(bench.screen().text(22, 3, 77)) + " " + trimmed(bench.screen().text(23, 3, 77)),
              "ogreの攻撃 elfは" + std::string(c.line) + "のダメージを受けた");
  }
}

// Records holding values derivation never yields are not fought: a notice
// for a second on a cleared screen, both records untouched.
TEST(BattleRules, OnlyRecordsANameCanGiveAreFought) {
  using Bounds = std::tuple<std::int32_t Character::*, int, int>;
  for (auto [field, lowest, highest] : {Bounds{&Character::hp, 100, 999}, Bounds{&Character::attack, 30, 299},
                                         Bounds{&Character::defense, 30, 299}, Bounds{&Character::speed, 30, 299}}) {
    for (int value : {lowest - 1, lowest, highest, highest + 1, 0, INT32_MIN, INT32_MAX}) {
      Character c = fighter("ok", 500, 100, 100, 100);
      c.*field = value;
      EXPECT_EQ(canFight(c), value == lowest || value == highest) << value;
    }
  }
  for (const Fighters& start : {Fighters{fighter("me", 300, 0, 50, 50), fighter("abc", 570, 250, 225, 61)},
                                Fighters{fighter("hero", 316, 250, 230, 32), fighter("foe", 300, 100, 50, 29)}}) {
    Battle b(start);
    b.script.at(2000, keys::kEnter);
    b.run(0, false);
    EXPECT_TRUE(returned(b.outcome, kBattleRefused));
    EXPECT_EQ(b.ended, 1000);  // no key needed
    EXPECT_EQ(b.bench.screen().row(12), "           []           このキャラクターは戦えません           []               ");
    EXPECT_EQ(b.bench.screen().cell(12, 12).bg, 12);
    EXPECT_EQ(b.bench.screen().row(1), std::string(80, ' '));  // no battle screen
    EXPECT_EQ(std::memcmp(&b.fighters, &start, sizeof start), 0);
  }
}

// ----------------------------------------------------------------- screen

// The opening, frame by frame, of the worked pair: the frame alone, then
// boxes, names, hit points and the log's tab and rule after 500 ticks; the
// opponent's portrait comes in from the right a byte a step, then moves
// whole; the player's from the left. A row cut inside a double-byte
// character shows as the console layer shows it.
TEST(BattleScreen, TheOpeningFrameByFrame) {
  const std::string opponentFace[11] = {
      "    ___________     ", "   /           `    ", "  |   ||   ||   |   ", "  |     ー      |   ",
      "|＼ . ...      /    ", " ＼＼        :      ", "   ＼＼／    |      ", "    :__       :     ",
      "    |_______ __:    ", "     ||     ||      ", " ____ ||_____||_____"};
  const std::string playerFace[6] = {"    ____________    ", "  ／            ＼  ", " ::               ` ",
                                     "::::               |", ":::::              |", ":::::.             |"};
  const std::string A = "][", B = "[]", rule = "￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣￣";  // 29 full-width macrons
  std::vector<Look> looks = {
      {525, 3, 1, 16, "[]￣￣￣￣￣￣| "}, {525, 5, 3, 16, "____________| "}, {525, 4, 17, 29, "HP 250 /  250"},
      {525, 15, 64, 77, " |￣￣￣￣￣￣"}, {525, 17, 64, 77, " |____________"}, {525, 4, 17, 0, "15/0"},
      {525, 19, 61, 77, "   ______________"}, {525, 20, 61, 77, " ／  BATTLE LOG  "},
      {525, 21, 1, 62, "][" + rule + "  "},
      // Opponent step 2: rows 5 and 6 end on the first byte of "＼", a blank in the portrait's colour.
      {625, 5, 74, 77, " |  "}, {625, 6, 74, 77, "    "}, {625, 6, 76, 0, "12/0"}, {625, 11, 74, 77, "  _ "},
      // Step 9: row 4 ends on the first byte of "ー".
      {975, 4, 67, 79, "   |       []"}, {975, 5, 67, 77, " |＼ . ... "}, {975, 7, 67, 77, "    ＼＼／ "},
      {2000, 16, 3, 27, std::string(25, ' ')},
      // Player step 3: row 2 starts on the second byte of "＼", shown as "_"; step 17: of "／", shown as "^".
      {2425, 15, 1, 7, "][     "}, {2425, 16, 1, 7, "[]_    "}, {2425, 17, 1, 7, "][ `   "}, {2425, 16, 3, 0, "15/0"},
      {3125, 16, 3, 20, "^            ＼   "}, {3125, 20, 3, 20, "::.             | "},
      {3525, 22, 1, 25, "[]foeは遠い目をしている  "}, {3525, 22, 3, 0, "15/0"}, {3525, 1, 55, 0, "12/0"},
  };
  for (int row = 1; row <= 25; ++row) {  // the frame: rows of kinds A B C D C D A B, then A and B in turn
    const char kind = row <= 8 ? "ABCDCDAB"[row - 1] : row % 2 ? 'A' : 'B';
    const std::string left = kind == 'A' || kind == 'D' ? A : B, right = kind == 'A' || kind == 'C' ? A : B;
    looks.push_back({250, row, 1, 80, left + std::string(75, ' ') + right + " "});
  }
  for (int j = 0; j < 11; ++j) {
    looks.push_back({1475, j + 1, 58, 76, opponentFace[j].substr(0, opponentFace[j].size() - 1)});  // 19 bytes in
    looks.push_back({1525, j + 1, 56, 77, " " + opponentFace[j] + " "});  // whole, at column 57
    looks.push_back({3525, j + 1, 52, 80, " " + opponentFace[j] + "     " + (j % 2 ? B : A) + " "});
  }
  for (int j = 0; j < 6; ++j) {
    const std::string border = j % 2 ? B : A;
    looks.push_back({3375, 15 + j, 1, 26, border + "   " + playerFace[j] + " "});  // moving whole, third step
    looks.push_back({3525, 15 + j, 1, 49, border + "     " + playerFace[j] + std::string(22, ' ')});
  }
  Battle b(workedPair(), looks);
  b.run();
  for (std::size_t i = 0; i < looks.size(); ++i) {
    EXPECT_EQ(b.seen[i], looks[i].shows) << looks[i].tick << ": " << looks[i].row << "," << looks[i].from;
  }
  EXPECT_FALSE(b.bench.screen().cursorVisible());
}

// Ten-byte names fit inside their boxes, a name field without a NUL stops at
// its twelfth byte, and the opponent's opening line follows the draw modulo
// 4 (the longest reaches column 48).
TEST(BattleScreen, NamesInTheirBoxesAndTheOpeningLineOfEachDraw) {
  const Character kana = fighter("\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", 300, 100, 50, 50);
  const struct {
    Fighters start;
    int draw;
    std::string opponent, player, line;
  } cases[] = {
      {{fighter("ABCDEFGHIJ", 300, 100, 50, 50), fighter("abcdefghij", 250, 120, 50, 50)}, 3, " abcdefghij | ",
       " |ABCDEFGHIJ  [] ", "[]abcdefghij「I want to win the beatbox battle」"},
      {{kana, kana}, 0, " アイウエオ | ", " |アイウエオ  [] ", "[]アイウエオは遠い目をしている"},
      {{fighter("ABCDEFGHIJKL", 300, 100, 50, 50), fighter("foe", 250, 120, 50, 50)}, 1, " foe        | ",
       " |ABCDEFGHIJKL[] ", "[]foeは余裕そうな顔をしている"},
      {workedPair(), 2, " foe        | ", " |me          [] ", "[]foeはつぶらな瞳で見つめている"},
      {workedPair(), INT32_MAX, " foe        | ", " |me          [] ", "[]foe「I want to win the beatbox battle」"},
  };
  for (const auto& c : cases) {
    Battle b(c.start);
    b.script.limitAt(3525);
    b.run(c.draw);
    const VtermScreen& s = b.bench.screen();
    EXPECT_EQ(s.text(4, 3, 16), c.opponent) << c.line;
    EXPECT_EQ(s.text(16, 64, 80), c.player) << c.line;
    EXPECT_EQ(trimmed(s.text(22, 1, 77)), c.line);
  }
}

// The game loop's wait after a battle, with the worked pair's blows let
// fall by taps at 4000 to 9000 (an Enter tapped during the opening does not
// end the opening line's wait): the closing pause runs from 9050 to 10550.
// An Enter still down then ends the wait at once; one released before needs
// a new press.
TEST(BattleScreen, TheWaitAfterABattleNeedsEnterDownWhenItBegins) {
  const struct {
    std::int64_t press, hold, returns;
  } cases[] = {{10000, 2000, 10600}, {10500, 0, 10600}, {10000, 0, 13050}};
  for (const auto& c : cases) {
    Battle b(workedPair());
    for (std::int64_t t : {1000, 4000, 5000, 6000, 7000, 8000, 9000}) b.script.at(t, keys::kEnter);
    b.script.holdAt(c.press, keys::kEnter, c.hold).clickAt(13000, 40, 12);
    b.run(0, false);
    EXPECT_EQ(b.ended, 10550);
    EXPECT_EQ(b.outcome.time, c.returns) << c.press;
  }
}

}  // namespace
}  // namespace kotodama::test
