#include "slots/slot_screens.h"

namespace kotodama {

int showSaveSlots(Console&, Fighters&) { return 0; }
int showLoadSlots(Console&, Fighters&) { return 0; }

}  // namespace kotodama
