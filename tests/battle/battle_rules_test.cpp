#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "battle/battle.h"
#include "battle/battle_bench.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

using Log = std::vector<std::string>;

// The two fighters of the worked pair; only the player's speed differs
// between its two forms.
Fighters workedPair(int playerSpeed) {
  return pairOf(fighter("me", 300, 100, 50, playerSpeed), fighter("foe", 250, 120, 50, 50));
}

// The lines of one blow: its two log lines, then both hit-point lines.
Log blow(const std::string& attacker, const std::string& defender, int damage, const std::string& opp,
         const std::string& you) {
  return {"log1:" + attacker + "の攻撃", "log2:" + defender + "は" + std::to_string(damage) + "のダメージを受けた",
          "opp:" + opp, "you:" + you};
}

Log concat(std::initializer_list<Log> parts) {
  Log all;
  for (const Log& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Opening (3,500) + opening line's confirm (50) + blows of 600 + 50 each +
// the closing pause (1,500), with Enter held throughout.
std::int64_t battleTicks(int blows) { return 3500 + 50 + 650 * blows + 1500; }

TEST(BattleRules, EqualSpeedTheOpponentStrikesFirstAndWins) {
  const Fought f = fight(workedPair(50));
  EXPECT_TRUE(returned(f.outcome, 0));
  EXPECT_EQ(f.outcome.time, battleTicks(5));
  const Log expected = concat({
      {"opp:HP 250 /  250", "you:HP 300 /  300", "log1:foeは遠い目をしている"},
      blow("foe", "me", 120, "HP 250 /  250", "HP 180 /  300"),
      blow("me", "foe", 100, "HP 150 /  250", "HP 180 /  300"),
      blow("foe", "me", 120, "HP 150 /  250", "HP  60 /  300"),
      blow("me", "foe", 100, "HP  50 /  250", "HP  60 /  300"),
      blow("foe", "me", 120, "HP  50 /  250", "HP   0 /  300"),
  });
  EXPECT_EQ(f.log, expected);
  EXPECT_EQ(f.fighters[0].hp, 0);
  EXPECT_EQ(f.fighters[1].hp, 50);
  // Nothing but hp changes, and only in the two fighters.
  EXPECT_EQ(f.fighters[0].attack, 100);
  EXPECT_EQ(f.fighters[1].speed, 50);
  EXPECT_EQ(f.fighters[2].hp, 0);
}

TEST(BattleRules, StrictlyFasterPlayerStrikesFirstAndWins) {
  const Fought f = fight(workedPair(51));
  EXPECT_TRUE(returned(f.outcome, 1));
  EXPECT_EQ(f.outcome.time, battleTicks(5));
  const Log expected = concat({
      {"opp:HP 250 /  250", "you:HP 300 /  300", "log1:foeは遠い目をしている"},
      blow("me", "foe", 100, "HP 150 /  250", "HP 300 /  300"),
      blow("foe", "me", 120, "HP 150 /  250", "HP 180 /  300"),
      blow("me", "foe", 100, "HP  50 /  250", "HP 180 /  300"),
      blow("foe", "me", 120, "HP  50 /  250", "HP  60 /  300"),
      blow("me", "foe", 100, "HP   0 /  250", "HP  60 /  300"),
  });
  EXPECT_EQ(f.log, expected);
  EXPECT_EQ(f.fighters[0].hp, 60);
  EXPECT_EQ(f.fighters[1].hp, 0);
}

// One blow on its own, with Enter pressed for its confirm wait.
struct Struck {
  bool fallen;
  Character defender;
  std::string row22;
  std::string row23;
};
Struck strike(const Character& attacker, Character defender) {
  Bench bench;
  bench.platform.at(1000, keys::kEnter);
  bool fallen = false;
  const Outcome o = bench.run([&] {
    fallen = performAttack(bench.console, attacker, defender);
    return 0;
  });
  EXPECT_TRUE(returned(o, 0));
  EXPECT_EQ(o.time, 1050);  // the confirm wait ends 50 ticks after the press
  return {fallen, defender, bench.screen().text(22, 3, 40), bench.screen().text(23, 3, 40)};
}

std::string trimmed(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

TEST(BattleRules, BlowLargerThanWhatIsLeftLeavesExactlyZero) {
  const Struck s = strike(fighter("ogre", 500, 120, 50, 50), fighter("elf", 50, 40, 50, 50));
  EXPECT_TRUE(s.fallen);
  EXPECT_EQ(s.defender.hp, 0);
  EXPECT_EQ(trimmed(s.row22), "ogreの攻撃");
  EXPECT_EQ(trimmed(s.row23), "elfは120のダメージを受けた");  // the full attack, not the 50 it took

  EXPECT_TRUE(strike(fighter("a", 500, 120, 50, 50), fighter("b", 120, 40, 50, 50)).fallen);
  const Struck survived = strike(fighter("a", 500, 120, 50, 50), fighter("b", 121, 40, 50, 50));
  EXPECT_FALSE(survived.fallen);
  EXPECT_EQ(survived.defender.hp, 1);
}

TEST(BattleRules, DefenceNeverLessensTheBlow) {
  const Struck s = strike(fighter("ogre", 500, 120, 50, 50), fighter("wall", 999, 40, 299, 50));
  EXPECT_FALSE(s.fallen);
  EXPECT_EQ(s.defender.hp, 879);
  EXPECT_EQ(trimmed(s.row23), "wallは120のダメージを受けた");

  // Beyond any defence a name gives, the figure shown and the loss part.
  const Struck odd = strike(fighter("ogre", 500, 120, 50, 50), fighter("wall", 999, 40, 600, 50));
  EXPECT_EQ(odd.defender.hp, 879);
  EXPECT_EQ(trimmed(odd.row23), "wallは0のダメージを受けた");
}

TEST(BattleRules, DamageFigure) {
  EXPECT_EQ(damageFigure(120, 30), 120);
  EXPECT_EQ(damageFigure(120, 299), 120);
  EXPECT_EQ(damageFigure(120, 599), 120);
  EXPECT_EQ(damageFigure(120, 600), 0);
  EXPECT_EQ(damageFigure(120, 1199), 0);
  EXPECT_EQ(damageFigure(120, 1200), -120);
  EXPECT_EQ(damageFigure(120, -600), 240);  // truncated toward zero: -599 is still 0 steps
  EXPECT_EQ(damageFigure(120, -599), 120);
  // The extremes of 32 bits, where a 32-bit product would overflow.
  EXPECT_EQ(damageFigure(INT32_MIN, INT32_MIN), -7686144623902720LL);
  EXPECT_EQ(damageFigure(INT32_MAX, INT32_MAX), -7686140325356286LL);
  EXPECT_EQ(damageFigure(INT32_MAX, INT32_MIN), 7686144620323580LL);
  EXPECT_EQ(damageFigure(INT32_MIN, INT32_MAX), 7686140328935424LL);
}

TEST(BattleRules, ABlowBetweenAnyRecordsNeverOverflows) {
  // A negative attack heals; the hit points stop at the largest a record holds.
  const Struck heal = strike(fighter("x", 1, INT32_MIN, INT32_MIN, 0), fighter("y", INT32_MAX, 1, INT32_MIN, 0));
  EXPECT_FALSE(heal.fallen);
  EXPECT_EQ(heal.defender.hp, INT32_MAX);
  EXPECT_EQ(trimmed(heal.row23), "yは-7686144623902720のダメージを受けた");

  const Struck sink = strike(fighter("x", 1, INT32_MAX, 0, 0), fighter("y", INT32_MIN, 1, INT32_MAX, 0));
  EXPECT_TRUE(sink.fallen);
  EXPECT_EQ(sink.defender.hp, 0);
}

TEST(BattleRules, OnlyValuesDerivationYieldsCanFight) {
  const Character base = fighter("ok", 500, 100, 100, 100);
  EXPECT_TRUE(canFight(base));
  struct Case {
    std::int32_t Character::*field;
    std::int32_t lowest;
    std::int32_t highest;
  };
  for (const Case& c : {Case{&Character::hp, 100, 999}, Case{&Character::attack, 30, 299},
                        Case{&Character::defense, 30, 299}, Case{&Character::speed, 30, 299}}) {
    for (std::int32_t value : {c.lowest, c.highest}) {
      Character f = base;
      f.*c.field = value;
      EXPECT_TRUE(canFight(f)) << value;
    }
    for (std::int32_t value : {c.lowest - 1, c.highest + 1, 0, -1, INT32_MIN, INT32_MAX}) {
      Character f = base;
      f.*c.field = value;
      EXPECT_FALSE(canFight(f)) << value;
    }
  }
  // Every fighter a name gives can fight.
  for (const char* name : {"", "a", "abc", "hero", "abcdefghij", "zzzzzzzzzz", "\x83\x41\x83\x43"}) {
    EXPECT_TRUE(canFight(named(name))) << name;
  }
}

TEST(BattleRules, ARecordThatCannotFightIsRefusedWithANotice) {
  for (const Fighters& start :
       {pairOf(fighter("me", 300, 0, 50, 50), named("abc")), pairOf(fighter("me", 1000, 100, 50, 50), named("abc")),
        pairOf(fighter("me", INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), named("abc")),
        pairOf(named("hero"), fighter("foe", 300, 100, 50, 29))}) {
    Bench bench;
    Fighters fighters = start;
    const Outcome o = bench.run([&] { return runBattle(bench.console, fighters, [] { return 0; }); });
    EXPECT_TRUE(returned(o, kBattleRefused));
    EXPECT_EQ(o.time, 1000);  // the notice's second, no key needed
    EXPECT_EQ(bench.screen().row(12), "           []           このキャラクターは戦えません           []               ");
    EXPECT_EQ(bench.screen().cell(12, 12).bg, 12);
    EXPECT_EQ(bench.screen().cell(25, 12).text, "こ");
    EXPECT_EQ(bench.screen().row(1), std::string(80, ' '));  // no battle screen was drawn
    EXPECT_EQ(std::memcmp(&fighters, &start, sizeof fighters), 0);
  }
}

// Names that give many kinds of fighter: fast and slow, strong and weak.
const char* const kNames[] = {"a",         "abc",        "hero",   "abcdefghij", "zzzzzzzzzz", "\x83\x41\x83\x43\x83\x45",
                              "Taro",      "kotodama",   "x",      "99",         "slime",      "dragon",
                              "\x8c\x95", "ABCDEFGHIJ", "qwerty", "~~~~"};

TEST(BattleRules, TheWinnerIsAlwaysTheLastStriker) {
  for (const char* p : kNames) {
    for (const char* o : {"abc", "zzzzzzzzzz", "dragon", "x"}) {
      const Fought f = fight(pairOf(named(p), named(o)));
      ASSERT_EQ(f.outcome.kind, Outcome::Returned) << p << " vs " << o;
      const int winner = f.outcome.value == 1 ? 0 : 1;
      EXPECT_GT(f.fighters[winner].hp, 0) << p << " vs " << o;
      EXPECT_EQ(f.fighters[1 - winner].hp, 0) << p << " vs " << o;
      // The last attack line names the winner.
      std::string last;
      for (const std::string& line : f.log) {
        if (line.rfind("log1:", 0) == 0) last = line;
      }
      const Character& w = f.fighters[winner];
      EXPECT_EQ(last, "log1:" + shiftJisToUtf8(std::string(w.name)) + "の攻撃") << p << " vs " << o;
    }
  }
}

TEST(BattleRules, TwoRunsDifferOnlyInTheOpeningLine) {
  for (const char* p : {"hero", "a", "zzzzzzzzzz"}) {
    const Fighters start = pairOf(named(p), named("dragon"));
    Fought first = fight(start, 0);
    Fought second = fight(start, 3);
    ASSERT_GE(first.log.size(), 3u);
    EXPECT_NE(first.log[2], second.log[2]);
    first.log.erase(first.log.begin() + 2);
    second.log.erase(second.log.begin() + 2);
    EXPECT_EQ(first.log, second.log) << p;
    EXPECT_EQ(first.outcome.value, second.outcome.value);
    EXPECT_EQ(first.outcome.time, second.outcome.time);
    EXPECT_EQ(std::memcmp(&first.fighters, &second.fighters, sizeof first.fighters), 0);
  }
}

}  // namespace
}  // namespace kotodama::test
