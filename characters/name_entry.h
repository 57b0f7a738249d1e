#pragma once
#include "characters/character.h"

namespace kotodama {

class Console;

// Asks for a name (the player's own, or the opponent's when forOpponent is
// not 0) until one of at most 10 bytes is typed; stores it NUL-terminated in
// `name` and returns its length in bytes.
int enterName(Console& console, char (&name)[12], int forOpponent);

}  // namespace kotodama
