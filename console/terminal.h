#pragma once
// What every terminal side of the game shares, below the platform: the size
// the screens need, the sequences that take a terminal over and switch its
// keyboard protocol, and the notice shown while the window is too small.
#include <string>

namespace kotodama {

// The smallest terminal the game's screens fit in.
inline constexpr int kMinColumns = 80;
inline constexpr int kMinRows = 25;

struct TerminalSize {
  int columns = kMinColumns;
  int rows = kMinRows;
  bool fits() const { return columns >= kMinColumns && rows >= kMinRows; }
};

// Taking a terminal over: the alternate screen, cleared, with mouse reporting
// (any motion, SGR coordinates).
inline constexpr char kEnterSequence[] = "\033[?1049h\033[H\033[2J\033[?1003h\033[?1006h";
// Giving it back: mouse reporting off, colours reset, the caret shown, the
// alternate screen cleared and left. The page's script ends the game in a
// browser tab with the same bytes.
inline constexpr char kGiveBackSequence[] = "\033[?1006l\033[?1003l\033[?1000l\033[0m\033[?25h\033[H\033[2J\033[?1049l";
// The kitty keyboard protocol's flags 1|2|8 (disambiguated keys,
// press/repeat/release events, every key as an escape code), pushed while
// keys are polled, and popped.
inline constexpr char kKeyboardPush[] = "\033[>11u";
inline constexpr char kKeyboardPop[] = "\033[<u";

// The notice shown while the terminal is too small for the game.
std::string sizeNotice(TerminalSize size);

}  // namespace kotodama
