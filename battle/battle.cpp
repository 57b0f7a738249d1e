#include "battle/battle.h"

namespace kotodama {

int runBattle(Console&, Fighters&) { return 0; }

}  // namespace kotodama
