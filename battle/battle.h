#pragma once
#include "characters/character.h"

namespace kotodama {

class Console;

// Fights fighters[0] (the player's) against fighters[1] until one falls and
// leaves the end banner on the screen: 1 won, 0 lost.
int runBattle(Console& console, Fighters& fighters);

}  // namespace kotodama
