#pragma once
// The pictures of the game's screens in the README (docs/*.svg), each made
// by a scripted run of the game's own screens on the scripted bench.
#include <string>

namespace kotodama::test {

class Bench;

struct Screenshot {
  const char* file;       // under docs/
  int (*play)(Bench&);  // the scene, run on a new bench
};

// The title menu, the status screen of a fighter named "hero", the load-slot
// screen with three saved fighters, and a battle with its GAME CLEAR banner.
extern const Screenshot kScreenshots[4];

// The bench's screen once the scene has played, as SVG.
std::string take(const Screenshot& shot);

}  // namespace kotodama::test
