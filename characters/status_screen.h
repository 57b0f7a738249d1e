#pragma once
#include "characters/character.h"

namespace kotodama {

class Console;

// Shows a new fighter and asks whether to save it: 0 save, 1 do not save.
int showStatus(Console& console, const Character& fighter);

}  // namespace kotodama
