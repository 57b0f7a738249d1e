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
