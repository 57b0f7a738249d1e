// The battle: the rules on records, and the battle screen on the scripted
// bench, watched at each of its waits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "battle/battle.h"
#include "support/bench.h"
#include "support/golden.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

// Equal speed; the player's speed is the only thing the two worked pairs change.
Fighters workedPair(int speed = 50) { return {fighter("me", 300, 100, 50, speed), fighter("foe", 250, 120, 50, 50)}; }

// The log's two rows.
std::string logRows(const VtermScreen& s) { return trimmed(s.text(22, 3, 77)) + " " + trimmed(s.text(23, 3, 77)); }

// One battle, Enter held throughout unless `hold` is false (so every confirm
// wait ends at once), watched at each of its waits: every blow's two log
// lines and both hit-point lines each time they change.
struct Battle : Bench {
  Battle(const Fighters& start, int draw = 0, bool hold = true, std::int64_t limit = 0) : fighters(start) {
    if (hold) platform.holdAt(0, keys::kEnter, 60'000);
    if (limit > 0) platform.limitAt(limit);
    platform.when([this](const VtermScreen& s) {
      // What a wait shows, it shows at its end: each tick is read once.
      if (std::exchange(checked, platform.clock()) == platform.clock()) return false;
      if (s.text(23, 3, 77) != std::string(75, ' ')) add(blows, logRows(s));
      add(hp, s.text(4, 17, 29) + " " + s.text(16, 50, 62));
      return false;
    }, "");
    outcome = run([&] { return runBattle(console, fighters, [draw] { return draw; }); });
  }
  static void add(std::vector<std::string>& log, const std::string& line) {
    if (line.find_first_not_of(' ') != std::string::npos && (log.empty() || log.back() != line)) log.push_back(line);
  }

  Fighters fighters;
  std::vector<std::string> blows, hp;
  Outcome outcome;
  std::int64_t checked = -1;
};

// ------------------------------------------------------------------ rules

// Both worked pairs blow by blow: the player strikes first only when
// strictly faster, the last striker wins, and a run with another opening
// draw goes the same way. The banner covers the middle of the screen, the
// last blow's log lines still readable below it.
TEST(BattleRules, WorkedPairsToTheirBanners) {
  const std::string foe = "foeの攻撃 meは120のダメージを受けた", me = "meの攻撃 foeは100のダメージを受けた";
  const struct { int speed, result; std::vector<std::string> blows, hp; const char* banner; } cases[] = {
      {50, 0, {foe, me, foe, me, foe},
       {"HP 250 /  250 HP 300 /  300", "HP 250 /  250 HP 180 /  300", "HP 150 /  250 HP 180 /  300",
        "HP 150 /  250 HP  60 /  300", "HP  50 /  250 HP  60 /  300", "HP  50 /  250 HP   0 /  300"},
       "battle-game-over"},
      {51, 1, {me, foe, me, foe, me},
       {"HP 250 /  250 HP 300 /  300", "HP 150 /  250 HP 300 /  300", "HP 150 /  250 HP 180 /  300",
        "HP  50 /  250 HP 180 /  300", "HP  50 /  250 HP  60 /  300", "HP   0 /  250 HP  60 /  300"},
       "battle-game-clear"},
  };
  for (const auto& c : cases) {
    for (int draw : {0, 3}) {
      Battle b(workedPair(c.speed), draw);
      // The opening, its line, five blows and the closing pause.
      EXPECT_TRUE(returned(b.outcome, c.result) && b.outcome.time == 3500 + 50 + 650 * 5 + 1500) << b.outcome.time;
      EXPECT_EQ(std::pair(b.blows, b.hp), std::pair(c.blows, c.hp)) << draw;
      if (draw == 0) expectGolden(b.screen(), c.banner);
    }
  }
}

// One blow on its own, Enter pressed at 1000 for its confirm wait: the
// defender loses the attacker's full attack, never going below 0 nor past
// the most a record holds; the log shows (1 - defence / 600) * attack,
// which is the attack for every defence a name gives.
TEST(BattleRules, ABlowTakesTheFullAttackDownToZero) {
  const struct { int attack, hp, defense, fallen, left; const char* line; } cases[] = {
      {120, 50, 50, 1, 0, "120"} /* more than is left */, {120, 120, 50, 1, 0, "120"}, {120, 121, 50, 0, 1, "120"},
      {120, 999, 299, 0, 879, "120"}, {120, 999, 600, 0, 879, "0"} /* defences no name gives */,
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
    // The confirm wait ends 50 ticks after the press.
    EXPECT_EQ(std::tuple(o.kind, o.value, o.time, elf.hp), std::tuple(Outcome::Returned, c.fallen, 1050, c.left));
    EXPECT_EQ(logRows(bench.screen()), "ogreの攻撃 elfは" + std::string(c.line) + "のダメージを受けた");
  }
}

// Records holding values derivation never yields are not fought: a notice
// for a second on a cleared screen, both records untouched.
TEST(BattleRules, OnlyRecordsANameCanGiveAreFought) {
  using Bounds = std::tuple<std::int32_t Character::*, int, int>;
  for (auto [field, lowest, highest] : {Bounds{&Character::hp, 100, 999}, Bounds{&Character::attack, 30, 299},
                                         Bounds{&Character::defense, 30, 299}, Bounds{&Character::speed, 30, 299}}) {
    for (int value : {lowest - 1, lowest, highest, highest + 1, INT32_MIN, INT32_MAX}) {
      Character c = fighter("ok", 500, 100, 100, 100);
      c.*field = value;
      EXPECT_EQ(canFight(c), value == lowest || value == highest) << value;
    }
  }
  for (const Fighters& start : {Fighters{fighter("me", 300, 0, 50, 50), fighter("abc", 570, 250, 225, 61)},
                                Fighters{fighter("hero", 316, 250, 230, 32), fighter("foe", 300, 100, 50, 29)}}) {
    Battle b(start, 0, false);
    EXPECT_TRUE(returned(b.outcome, kBattleRefused) && b.outcome.time == 1000) << b.outcome.time;  // no key needed
    expectGolden(b.screen(), "battle-cannot-fight");
    EXPECT_EQ(std::memcmp(&b.fighters, &start, sizeof start), 0);
  }
}

// ----------------------------------------------------------------- screen

// Ten-byte names (five full-width characters) fit inside their boxes, a name field without a NUL stops at
// its twelfth byte, and the opponent's opening line follows the draw modulo
// 4 (the longest reaches column 48).
TEST(BattleScreen, NamesInTheirBoxesAndTheOpeningLineOfEachDraw) {
  const Character kana = fighter("\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", 300, 100, 50, 50);
  const struct { Fighters start; int draw; std::string opponent, player, line; } cases[] = {
      {{kana, kana}, 0, " アイウエオ | ", " |アイウエオ  [] ", "[]アイウエオは遠い目をしている"},
      {{fighter("ABCDEFGHIJKL", 300, 100, 50, 50), fighter("foe", 250, 120, 50, 50)}, -3, " foe        | ",
       " |ABCDEFGHIJKL[] ", "[]foeは余裕そうな顔をしている"},
      {workedPair(), INT32_MAX, " foe        | ", " |me          [] ", "[]foe「I want to win the beatbox battle」"},
  };
  for (const auto& c : cases) {
    Battle b(c.start, c.draw, true, 3525);
    const VtermScreen& s = b.screen();
    EXPECT_EQ(s.text(4, 3, 16) + s.text(16, 64, 80) + trimmed(s.text(22, 1, 77)), c.opponent + c.player + c.line);
  }
}

}  // namespace
}  // namespace kotodama::test
