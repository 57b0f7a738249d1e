// The README's pictures stay those of the game as it is: every screen
// rendered now must match its file under docs/ (make screenshots redraws
// them all).
#include <gtest/gtest.h>

#include "screenshots/screenshots.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

TEST(Screenshots, EveryPictureIsUpToDate) {
  for (const Screenshot& shot : kScreenshots) {
    EXPECT_TRUE(take(shot) == readFile(std::string(KOTODAMA_SOURCE_DIR) + "/docs/" + shot.file))
        << "docs/" << shot.file << " is stale: run make screenshots";
  }
}

}  // namespace
}  // namespace kotodama::test
