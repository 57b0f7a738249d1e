#pragma once
// The battle screen: the frame, the two name boxes with their hit-point
// lines, the sliding portraits, the log area under its "BATTLE LOG" tab, and
// the end banners. The battle calls each drawing step at its point of the fight.
#include <cstdint>
#include <string_view>

#include "characters/character.h"

namespace kotodama {

class Console;

// The place of the log area: three rows of 75 columns from column 3, row 22.
constexpr int kLogColumn = 3;
constexpr int kLogFirstRow = 22;
constexpr int kLogRows = 3;
constexpr int kLogWidth = 75;

// A fighter's name as the screen prints it: up to its NUL, and never past
// the 12 bytes of the field (a record read from a file may have no NUL).
std::string_view shownName(const Character& fighter);

// Clears the screen and builds it: frame, log rule and tab, name boxes,
// names, hit-point lines (current hp over itself), then the opponent's
// portrait slides in from the right and the player's from the left.
// 3,500 ticks of pauses; leaves white on black set.
void drawBattleOpening(Console& console, const Character& player, const Character& opponent);

// Blanks the three rows of the log area.
void clearBattleLog(Console& console);

// Redraws both hit-point lines, "HP%4d / %4d" (current, starting), the
// opponent's first.
void drawHitPointLines(Console& console, const Character& player, std::int32_t playerStart, const Character& opponent,
                       std::int32_t opponentStart);

// Covers the middle of the screen with GAME CLEAR (black on yellow) or GAME
// OVER (black on light red); the banner's colours stay set.
void drawBattleBanner(Console& console, bool won);

// The notice for a fighter that cannot fight, shown for 1,000 ticks on a
// cleared screen.
void showCannotFight(Console& console);

}  // namespace kotodama
