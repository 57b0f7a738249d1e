#include <memory>

#include "console/console.h"
#include "console/platform.h"
#include "game/game_loop.h"

int main() {
  std::unique_ptr<kotodama::NativePlatform> platform = kotodama::openPlatform();
  kotodama::Console console(*platform);
  console.setCursorVisible(false, 0);
  return kotodama::runGame(console);
}
