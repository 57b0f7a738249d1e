#pragma once

namespace kotodama {

class Console;

using TitleScreen = int (*)(Console&);

// The game: the title menu again and again, and the CREATE, BATTLE and END
// paths. Returns 0 on END.
int runGame(Console& console, TitleScreen title = nullptr);

}  // namespace kotodama
