#pragma once
// Helpers for the battle tests: fighters by hand or by name, a battle driven
// by a held Enter, and the log of what the battle printed where.
#include <cstring>
#include <string>
#include <vector>

#include "battle/battle.h"
#include "characters/character.h"
#include "support/bench.h"

namespace kotodama::test {

inline Character fighter(const char* name, int hp, int attack, int defense, int speed) {
  Character c{};
  std::strncpy(c.name, name, sizeof c.name - 1);
  c.hp = hp;
  c.attack = attack;
  c.defense = defense;
  c.speed = speed;
  return c;
}

inline Character named(const char* name) {
  Character c{};
  std::strncpy(c.name, name, sizeof c.name - 1);
  computeStats(c, static_cast<int>(std::strlen(c.name)));
  return c;
}

inline Fighters pairOf(const Character& player, const Character& opponent) {
  Fighters f{};
  f[0] = player;
  f[1] = opponent;
  return f;
}

// Every text the console printed right after a cursor move to one of the
// places the battle writes its fight to, in order, tagged with the place:
// "log1:" (row 22), "log2:" (row 23), "log3:" (row 24), "opp:" (the
// opponent's hit points), "you:" (the player's). Blank texts (the clearing
// of the log area) are left out.
inline std::vector<std::string> fightLog(const std::string& output) {
  std::vector<std::string> log;
  std::size_t i = 0;
  while ((i = output.find("\x1b[", i)) != std::string::npos) {
    std::size_t j = i + 2;
    int row = 0;
    int column = 0;
    while (j < output.size() && output[j] >= '0' && output[j] <= '9') row = row * 10 + (output[j++] - '0');
    if (j >= output.size() || output[j] != ';') {
      i = j;
      continue;
    }
    ++j;
    while (j < output.size() && output[j] >= '0' && output[j] <= '9') column = column * 10 + (output[j++] - '0');
    if (j >= output.size() || output[j] != 'H') {
      i = j;
      continue;
    }
    ++j;
    const std::size_t end = output.find('\x1b', j);
    const std::string text = output.substr(j, end == std::string::npos ? std::string::npos : end - j);
    i = end == std::string::npos ? output.size() : end;
    if (text.find_first_not_of(' ') == std::string::npos) continue;
    const char* tag = nullptr;
    if (column == 3 && row == 22) tag = "log1:";
    if (column == 3 && row == 23) tag = "log2:";
    if (column == 3 && row == 24) tag = "log3:";
    if (column == 17 && row == 4) tag = "opp:";
    if (column == 50 && row == 16) tag = "you:";
    if (tag != nullptr) log.push_back(tag + text);
  }
  return log;
}

// Runs one battle with Enter held from the start, so that every confirm wait
// ends at once.
struct Fought {
  Outcome outcome;
  Fighters fighters;
  std::vector<std::string> log;
};

inline Fought fight(const Fighters& start, int draw = 0) {
  Bench bench;
  // Held a little longer than the most blows the two can trade take.
  auto blowsToFell = [](const Character& attacker, const Character& defender) {
    return attacker.attack > 0 ? (defender.hp + attacker.attack - 1) / attacker.attack : 0;
  };
  const int blows = blowsToFell(start[0], start[1]) + blowsToFell(start[1], start[0]);
  bench.platform.holdAt(0, keys::kEnter, 3550 + 650 * blows + 1000);
  Fought f{{}, start, {}};
  f.outcome = bench.run([&] { return runBattle(bench.console, f.fighters, [draw] { return draw; }); });
  f.log = fightLog(bench.platform.output());
  return f;
}

}  // namespace kotodama::test
