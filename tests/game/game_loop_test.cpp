#include "game/game_loop.h"

#include <gtest/gtest.h>

#include "support/bench.h"

namespace kotodama::test {
namespace {

TEST(GameLoop, AnUnexpectedTitleResultStopsAfterOneLine) {
  Bench bench;
  bench.platform.at(100, "x").at(200, "\r");
  const Outcome outcome = bench.run([&] { return runGame(bench.console, [](Console&) { return 2; }); });
  EXPECT_EQ(outcome.kind, Outcome::Exited);
  EXPECT_EQ(outcome.value, Console::kFatalStopStatus);
  EXPECT_EQ(outcome.time, 200);  // it waited for the line
  EXPECT_TRUE(bench.screen().contains("予想外のエラー"));
}

// Input that never ends and makes no events (/dev/zero) does not stop the
// title from drawing and waiting: the menu stands at its usual time.
TEST(GameLoop, EndlessNulBytesDoNotStarveTheTitle) {
  Bench bench;
  bench.platform.endlessZeros = true;
  bench.platform.limitAt(5070);
  EXPECT_EQ(bench.run([&] { return runGame(bench.console); }).kind, Outcome::TimedOut);
  EXPECT_EQ(bench.platform.clock(), 5070);
  EXPECT_EQ(bench.screen().cell(19, 13).text, ">");
}

TEST(GameLoop, EndOfInputOnTheTitleEndsTheGame) {
  Bench bench;
  bench.platform.endInputAt(1000);
  const Outcome outcome = bench.run([&] { return runGame(bench.console); });
  EXPECT_EQ(outcome.kind, Outcome::Exited);
  EXPECT_EQ(outcome.value, 0);
  EXPECT_EQ(outcome.time, 5070);
}

}  // namespace
}  // namespace kotodama::test
