#pragma once
#include "characters/character.h"

namespace kotodama {

class Console;
class SlotStorage;

// Lets the player keep fighters[0] in one of the six slots. Returns 0.
int showSaveSlots(Console& console, Fighters& fighters);

// Lets the player choose a saved fighter into fighters[0]: 1 loaded, 0 back.
int showLoadSlots(Console& console, Fighters& fighters);

// The two slot screens with their files on `storage` instead of the working
// folder's.
int showSaveSlots(Console& console, Fighters& fighters, SlotStorage& storage);
int showLoadSlots(Console& console, Fighters& fighters, SlotStorage& storage);

}  // namespace kotodama
