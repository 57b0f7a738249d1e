#pragma once
// Whole screens compared with the files under tests/golden/: one file per
// screen, the characters and the colours of every cell as libvterm shows
// them, and the caret. KOTODAMA_UPDATE_GOLDEN=1 writes the files instead
// (then read the diff before committing them).
#include <string>

#include "support/vterm_screen.h"

namespace kotodama::test {

// The caret, then each row as "|text|", then each row's foreground and
// background colours, one hex digit a cell ("." for the terminal's default;
// the right half of a wide character repeats its left half).
std::string describe(const VtermScreen& screen);

// Expects describe(screen) to match tests/golden/<name>.txt.
void expectGolden(const VtermScreen& screen, const std::string& name);

}  // namespace kotodama::test
