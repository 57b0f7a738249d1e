// How terminal input reaches keyDown: presses when the bytes arrive, releases
// 100 ms later or after the first pause once the key was reported down, quick
// mouse taps held back until seen, and the confirm wait.
#include <gtest/gtest.h>

#include "support/bench.h"

namespace kotodama::test {
namespace {

TEST(KeyPolling, ATapCountsInOnePassAndIsReleasedAfterAPauseOr100ms) {
  Bench bench;
  Console& c = bench.console;
  bench.platform.at(100, keys::kDown);
  c.waitTicks(150);  // arrives during a wait: not folded yet
  EXPECT_EQ(c.keyDown(kDown), 1);
  EXPECT_EQ(c.keyDown(kDown), 1);  // still down for the rest of the pass
  c.waitTicks(1);
  EXPECT_EQ(c.keyDown(kDown), 0);
  bench.platform.at(300, keys::kDown).at(320, keys::kEnter);
  c.waitTicks(1);
  c.waitTicks(400);  // an animation (waits with no poll between them): presses and releases folded at once
  EXPECT_EQ(c.keyDown(kDown), 0);
  EXPECT_EQ(c.keyDown(kEnter), 0);
  bench.platform.at(700, keys::kEnter);
  c.waitTicks(229);  // 80 ms after the press
  EXPECT_EQ(c.keyDown(kEnter), 1);
  c.resetKeys();
  EXPECT_EQ(c.keyDown(kEnter), 0);
}

TEST(KeyPolling, HoldingAKeyKeepsItComingBack) {
  Bench bench;
  bench.platform.holdAt(0, keys::kDown, 2000);
  int count = 0;  // polled every 100 ms, as a menu does
  while (bench.platform.clock() < 2000) {
    count += bench.console.keyDown(kDown);
    bench.console.waitTicks(100);
  }
  EXPECT_GE(count, 14);  // at the press, then at every poll once the terminal repeats
  bench.console.waitTicks(200);
  EXPECT_EQ(bench.console.keyDown(kDown), 0);
}

TEST(KeyPolling, ModifiersAndCodesBeyond255) {
  Bench bench;
  Console& c = bench.console;
  bench.platform.at(0, "A");
  EXPECT_EQ(c.keyDown(16), 1);  // Shift
  EXPECT_EQ(c.keyDown('A'), 1);
  EXPECT_EQ(c.keyDown(256 + 'A'), 1);  // codes read their low eight bits
  EXPECT_EQ(c.keyDown(-256 + 'A'), 1);
  c.waitTicks(200);
  EXPECT_EQ(c.keyDown('A'), 0);
  EXPECT_EQ(c.keyDown(16), 0);
  bench.platform.at(300, "\x1b[1;5B");  // Ctrl+Down
  c.waitTicks(100);
  EXPECT_EQ(c.keyDown(17), 1);
  EXPECT_EQ(c.keyDown(kDown), 1);
}

TEST(MousePolling, PositionIsOneBasedAndZeroBeforeAnyReport) {
  Bench bench;
  EXPECT_EQ(bench.console.keyDown(kPointerColumn), 0);
  EXPECT_EQ(bench.console.keyDown(kPointerRow), 0);
  for (auto [column, row] : {std::pair{1, 1}, {80, 25}}) {
    bench.platform.at(bench.platform.clock() + 10, keys::mouseMove(column, row));
    bench.console.waitTicks(20);
    EXPECT_EQ(bench.console.keyDown(kPointerColumn), column);
    EXPECT_EQ(bench.console.keyDown(kPointerRow), row);
  }
}

TEST(MousePolling, AQuickClickIsSeenOnceAndAnUnseenOneExpires) {
  Bench bench;
  Console& c = bench.console;
  // Press and release 20 ms apart, both before the next poll.
  bench.platform.at(100, keys::mousePress(10, 10)).at(120, keys::mouseRelease(10, 10));
  c.waitTicks(150);
  EXPECT_EQ(c.keyDown(kLeftButton), 1);
  c.waitTicks(1);
  EXPECT_EQ(c.keyDown(kLeftButton), 0);
  bench.platform.at(300, keys::mousePress(10, 10)).at(320, keys::mouseRelease(10, 10));
  c.waitTicks(300);
  EXPECT_EQ(c.keyDown(kLeftButton), 0);
}

TEST(MousePolling, AHeldButtonAfterResetReadsUpUntilTheMouseReportsAgain) {
  Bench bench;
  bench.platform.at(0, keys::mousePress(5, 5));
  EXPECT_EQ(bench.console.keyDown(kLeftButton), 1);
  bench.console.resetKeys();
  bench.console.waitTicks(500);
  EXPECT_EQ(bench.console.keyDown(kLeftButton), 0);
  bench.platform.at(600, "\x1b[<32;6;5M");  // drag with the button held
  bench.console.waitTicks(200);
  EXPECT_EQ(bench.console.keyDown(kLeftButton), 1);
  EXPECT_EQ(bench.console.keyDown(kPointerColumn), 6);
}

TEST(ConfirmWait, EndsOnANewPressOrClickOnly) {
  struct Case {
    const char* what;
    std::function<void(ScriptedPlatform&)> script;
    Outcome::Kind kind;
    std::int64_t time;  // when it returns
  };
  const Case cases[] = {
      {"tapped during the pause, then again",
       [](ScriptedPlatform& p) { p.at(100, keys::kEnter).at(3000, keys::kEnter); }, Outcome::Returned, 3050},
      {"still down when it starts", [](ScriptedPlatform& p) { p.at(550, keys::kEnter); }, Outcome::Returned, 650},
      {"a click", [](ScriptedPlatform& p) { p.clickAt(1000, 40, 12); }, Outcome::Returned, 1050},
      {"a minute of nothing", [](ScriptedPlatform& p) { p.at(60'000, keys::kEnter); }, Outcome::Returned, 60'050},
      {"end of input", [](ScriptedPlatform& p) { p.endInputAt(700); }, Outcome::Exited, 700},
  };
  for (const Case& c : cases) {
    Bench bench;
    c.script(bench.platform);
    bench.console.waitTicks(600);
    const Outcome outcome = bench.run([&] {
      bench.console.confirmWait();
      return 0;
    });
    EXPECT_EQ(outcome.kind, c.kind) << c.what;
    EXPECT_EQ(outcome.time, c.time) << c.what;
    // Waiting reads the terminal a few hundred times, not millions: it sleeps.
    EXPECT_LT(bench.platform.reads(), 2000) << c.what;
  }
}

TEST(Joysticks, AbsentReadsMinusOneAndOtherCodesReadBits) {
  Bench bench;
  for (int code : {272, 273, 274, 279, 280, 281, 282, 287}) EXPECT_EQ(bench.console.keyDown(code), -1) << code;
  bench.platform.joysticks[1] = JoystickReading{true, 100, 32767, 65535, 5};
  EXPECT_EQ(bench.console.keyDown(280), 100);
  EXPECT_EQ(bench.console.keyDown(282), 65535);
  EXPECT_EQ(bench.console.keyDown(287), 5);
  EXPECT_EQ(bench.console.keyDown(275), 0);  // bit 19, not a joystick
}

}  // namespace
}  // namespace kotodama::test
