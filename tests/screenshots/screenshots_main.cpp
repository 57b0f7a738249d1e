// make screenshots: writes the README's pictures of the game's screens into
// the folder given (docs/).
#include <fstream>
#include <iostream>

#include "screenshots/screenshots.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kotodama_screenshots FOLDER\n";
    return 2;
  }
  for (const kotodama::test::Screenshot& shot : kotodama::test::kScreenshots) {
    std::ofstream(std::string(argv[1]) + "/" + shot.file, std::ios::binary) << take(shot);
  }
  return 0;
}
