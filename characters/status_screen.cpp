#include "characters/status_screen.h"

namespace kotodama {

int showStatus(Console&, const Character&) { return 1; }

}  // namespace kotodama
