#pragma once
// The battle: the player's fighter against the opponent, blow by blow, until
// one of them has no hit points left.
#include <cstdint>
#include <functional>

#include "characters/character.h"

namespace kotodama {

class Console;

// runBattle's result when a fighter holds values no name gives: the battle
// was not fought (the notice was shown instead).
constexpr int kBattleRefused = -1;

// The one random draw of a battle, which picks the opponent's opening line
// (modulo 4). Left empty, the battle seeds the standard generator with the
// calendar time in seconds and draws from it.
using BattleDraw = std::function<int()>;

// Fights fighters[0] (the player's) against fighters[1] until one falls and
// leaves the end banner on the screen: 1 won, 0 lost. Both records' hp are
// lowered in place. A record with values derivation never yields (hp outside
// 100..999, attack, defense or speed outside 30..299) is not fought: a short
// notice shows for 1,000 ticks and the result is kBattleRefused.
int runBattle(Console& console, Fighters& fighters, const BattleDraw& draw = {});

// One blow with its two log lines and the confirm wait after them. The
// defender loses the attacker's full attack (never below 0). True when the
// defender has no hit points left.
bool performAttack(Console& console, const Character& attacker, Character& defender);

// Whether a record holds values that derivation yields.
bool canFight(const Character& fighter);

// The damage figure the log shows: (1 - defense / 600) * attack. It equals
// the attack for every defence a name gives (30..299).
std::int64_t damageFigure(std::int32_t attack, std::int32_t defense);

}  // namespace kotodama
