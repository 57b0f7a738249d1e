#pragma once

namespace kotodama {

class Console;

// Menu results.
enum TitleChoice : int { kChoiceCreate = 0, kChoiceBattle = 1, kChoiceEnd = 3 };

// Builds the title screen with its animations, then runs the main menu until
// an entry is chosen: 0 CREATE, 1 BATTLE, 3 END.
int showTitleMenu(Console& console);

}  // namespace kotodama
