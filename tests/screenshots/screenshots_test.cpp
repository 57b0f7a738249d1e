// The README's pictures stay those of the game as it is: every screen
// rendered now must match its file under docs/ (make screenshots redraws
// them all).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "screenshots/screenshots.h"

namespace kotodama::test {
namespace {

TEST(Screenshots, EveryPictureIsUpToDate) {
  for (const Screenshot& shot : kScreenshots) {
    std::ifstream in(std::string(KOTODAMA_SOURCE_DIR) + "/docs/" + shot.file, std::ios::binary);
    std::stringstream golden;
    golden << in.rdbuf();
    EXPECT_TRUE(shot.take() == golden.str()) << "docs/" << shot.file << " is stale: run make screenshots";
  }
}

}  // namespace
}  // namespace kotodama::test
