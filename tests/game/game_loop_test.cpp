#include "game/game_loop.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/bench.h"

namespace kotodama::test {
namespace {

TEST(GameLoop, AnUnexpectedTitleResultStopsAfterOneLine) {
  Bench bench;
  bench.platform.at(100, "x").at(200, "\r");
  const Outcome o = bench.run([&] { return runGame(bench.console, [](Console&) { return 2; }); });
  EXPECT_EQ(std::tuple(o.kind, o.value, o.time), std::tuple(Outcome::Exited, Console::kFatalStopStatus, 200));
  EXPECT_TRUE(bench.screen().contains("予想外のエラー"));
}

// Input that never ends and makes no events (/dev/zero) does not stop the
// title from drawing and waiting: the menu stands at its usual time. Input
// that ends on the title ends the game (status 0) once the menu stands.
TEST(GameLoop, EndlessNulBytesOrTheEndOfInputOnTheTitle) {
  Bench zeros, ended;
  zeros.platform.endlessZeros = true;
  zeros.platform.limitAt(5070);
  const Outcome o = zeros.run([&] { return runGame(zeros.console); });
  EXPECT_EQ(std::tuple(o.kind, o.time, zeros.screen().cell(19, 13).text), std::tuple(Outcome::TimedOut, 5070, ">"));
  ended.platform.endInputAt(1000);
  const Outcome end = ended.run([&] { return runGame(ended.console); });
  EXPECT_EQ(std::tuple(end.kind, end.value, end.time), std::tuple(Outcome::Exited, 0, 5070));
}

}  // namespace
}  // namespace kotodama::test
