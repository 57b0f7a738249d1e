#include <cstdio>
#include <cstring>
#include <memory>

#include "console/console.h"
#include "game/game_loop.h"

namespace {

// What --help prints, and a wrong argument on standard error: plain text,
// never a screen, so it reads the same in a terminal, a pipe or a file.
constexpr const char* kUsage =
    "Usage: kotodama [--help | --version]\n"
    "\n"
    "A name-battle game for an 80x25 text terminal. Type a name: its bytes alone\n"
    "decide a fighter. Keep up to six fighters in save slots, then send one into\n"
    "battle against an opponent born from another typed name.\n"
    "\n"
    "Keys: the arrow keys move, Enter chooses, Escape takes a highlighted back\n"
    "button; the mouse points and clicks. Ctrl+C leaves at any moment.\n"
    "\n"
    "Fighters are kept in data1.bin .. data6.bin in the folder the game is\n"
    "started from. The manual: man 6 kotodama\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
      std::fputs(kUsage, stdout);
    } else if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
      std::fputs("kotodama " KOTODAMA_VERSION "\n", stdout);
    } else {
      // The first argument that is not understood: the second one after a known option.
      const bool known = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0;
      std::fprintf(stderr, "kotodama: unknown argument: %s\n\n%s", known ? argv[2] : argv[1], kUsage);
      return 2;
    }
    // A full disk or a closed pipe is a failure, as for any other program.
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  const std::unique_ptr<kotodama::Console> console = kotodama::Console::open();
  console->setCursorVisible(false, 0);
  return kotodama::runGame(*console);
}
