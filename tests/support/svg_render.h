#pragma once
// A terminal screen as an SVG picture: every cell's character in its console
// colour over its background, a wide character over its two cells.
#include <string>

#include "support/vterm_screen.h"

namespace kotodama::test {

std::string renderSvg(const VtermScreen& screen);

}  // namespace kotodama::test
