#include "battle/battle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>

#include "battle/battle_screen.h"
#include "console/console.h"
#include "console/draw.h"

namespace kotodama {

namespace {

constexpr int kPlayer = 0;
constexpr int kOpponent = 1;
constexpr int kPauseBetweenLogLines = 600;
constexpr int kPauseBeforeBanner = 1500;
constexpr std::int32_t kDefensePerStep = 600;  // the defence that takes one attack off the figure

// The ranges derivation yields.
constexpr std::int32_t kLowestHp = 100;
constexpr std::int32_t kHighestHp = 999;
constexpr std::int32_t kLowestStat = 30;
constexpr std::int32_t kHighestStat = 299;

// What the opponent's opening line says after its name, by the draw modulo 4.
const std::string& openingLine(int draw) {
  static const std::string lines[4] = {
      sjis("は遠い目をしている"),
      sjis("は余裕そうな顔をしている"),
      sjis("はつぶらな瞳で見つめている"),
      sjis("「I want to win the beatbox battle」"),
  };
  return lines[((draw % 4) + 4) % 4];
}

// The battle's one draw: the given one, or the standard generator's, seeded
// at the start of the battle.
int drawOnce(const BattleDraw& draw) {
  if (draw) return draw();
  return std::rand();
}

bool within(std::int32_t value, std::int32_t lowest, std::int32_t highest) {
  return value >= lowest && value <= highest;
}

}  // namespace

bool canFight(const Character& fighter) {
  return within(fighter.hp, kLowestHp, kHighestHp) && within(fighter.attack, kLowestStat, kHighestStat) &&
         within(fighter.defense, kLowestStat, kHighestStat) && within(fighter.speed, kLowestStat, kHighestStat);
}

std::int64_t damageFigure(std::int32_t attack, std::int32_t defense) {
  // |1 - defense / 600| stays below 2^22 and |attack| at most 2^31: the
  // product fits in 64 bits.
  const std::int64_t steps = defense / kDefensePerStep;
  return (1 - steps) * static_cast<std::int64_t>(attack);
}

bool performAttack(Console& console, const Character& attacker, Character& defender) {
  static const std::string attacks = sjis("の攻撃");
  static const std::string takes = sjis("は");
  static const std::string damage = sjis("のダメージを受けた");

  const std::int64_t figure = damageFigure(attacker.attack, defender.defense);
  console.moveCursor(kLogColumn, kLogFirstRow);
  console.print(std::string(shownName(attacker)) + attacks);
  console.waitTicks(kPauseBetweenLogLines);

  console.moveCursor(kLogColumn, kLogFirstRow + 1);
  char number[24];
  std::snprintf(number, sizeof number, "%lld", static_cast<long long>(figure));
  console.print(std::string(shownName(defender)) + takes + number + damage);

  // The loss is the full attack, whatever the defence; kept within 0 and the
  // largest hp a record can hold.
  const std::int64_t left = static_cast<std::int64_t>(defender.hp) - attacker.attack;
  defender.hp = static_cast<std::int32_t>(std::clamp<std::int64_t>(left, 0, std::numeric_limits<std::int32_t>::max()));

  console.confirmWait();
  return defender.hp == 0;
}

int runBattle(Console& console, Fighters& fighters, const BattleDraw& draw) {
  Character& player = fighters[kPlayer];
  Character& opponent = fighters[kOpponent];
  if (!canFight(player) || !canFight(opponent)) {
    showCannotFight(console);
    return kBattleRefused;
  }
  if (!draw) std::srand(static_cast<unsigned>(std::time(nullptr)));

  const std::int32_t playerStart = player.hp;
  const std::int32_t opponentStart = opponent.hp;
  drawBattleOpening(console, player, opponent);

  console.moveCursor(kLogColumn, kLogFirstRow);
  console.print(std::string(shownName(opponent)) + openingLine(drawOnce(draw)));
  console.confirmWait();

  // The player strikes first only when strictly faster.
  int attacker = player.speed > opponent.speed ? kPlayer : kOpponent;
  for (;;) {
    clearBattleLog(console);
    const bool fallen = performAttack(console, fighters[attacker], fighters[1 - attacker]);
    attacker = 1 - attacker;
    drawHitPointLines(console, player, playerStart, opponent, opponentStart);
    if (fallen) break;
  }

  console.waitTicks(kPauseBeforeBanner);
  const bool won = player.hp != 0;
  drawBattleBanner(console, won);
  return won ? 1 : 0;
}

}  // namespace kotodama
