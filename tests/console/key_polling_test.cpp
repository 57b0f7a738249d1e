// How terminal input reaches keyDown: presses when the bytes arrive,
// releases 100 ms later or at the next poll after the key was reported down,
// quick mouse taps held back until seen, and the confirm wait.
#include <gtest/gtest.h>

#include "support/bench.h"

namespace kotodama::test {
namespace {

// Terminal bytes of the keys, beside the key codes the game asks about.
constexpr std::string_view kDownBytes = keys::kDown;
constexpr std::string_view kEnterBytes = keys::kEnter;

// Polls `code` every `step` ms from now until `until`; counts the polls that
// found it down.
int countDown(Bench& bench, int code, std::int64_t until, int step = 10) {
  int count = 0;
  while (bench.platform.clock() < until) {
    count += bench.console.keyDown(code);
    bench.console.waitTicks(step);
  }
  return count;
}

TEST(KeyPolling, ATapCountsInOnePassOnly) {
  Bench bench;
  bench.platform.at(100, kDownBytes);
  bench.console.waitTicks(150);  // arrives during a wait: not folded yet
  EXPECT_EQ(bench.console.keyDown(kDown), 1);
  EXPECT_EQ(bench.console.keyDown(kDown), 1);  // still down until the game pauses
  bench.console.waitTicks(1);
  EXPECT_EQ(bench.console.keyDown(kDown), 0);  // released at the first poll after it
}

TEST(KeyPolling, AnUnpolledTapIsReleasedAfter100ms) {
  Bench bench;
  bench.platform.at(100, kDownBytes);
  bench.console.waitTicks(250);
  EXPECT_EQ(bench.console.keyDown(kDown), 0);  // press and release both folded
  bench.platform.at(300, kDownBytes);
  bench.console.waitTicks(80);  // 80 ms after the press
  EXPECT_EQ(bench.console.keyDown(kDown), 1);
}

TEST(KeyPolling, HoldingAKeyKeepsItComingBack) {
  Bench bench;
  bench.platform.holdAt(0, kDownBytes, 2000);
  // Polled every 100 ms, as a menu does: down at the first poll, then again
  // at every poll once the terminal repeats the key.
  const int count = countDown(bench, kDown, 2000, 100);
  EXPECT_GE(count, 14);
  bench.console.waitTicks(200);
  EXPECT_EQ(bench.console.keyDown(kDown), 0);
}

TEST(KeyPolling, ResetKeysForgetsAKeyStillReportedDown) {
  Bench bench;
  bench.platform.at(0, kEnterBytes);
  EXPECT_EQ(bench.console.keyDown(kEnter), 1);
  bench.console.resetKeys();
  EXPECT_EQ(bench.console.keyDown(kEnter), 0);
}

TEST(KeyPolling, ModifiersFollowTheKey) {
  Bench bench;
  bench.platform.at(0, "A");
  EXPECT_EQ(bench.console.keyDown(16), 1);  // Shift
  EXPECT_EQ(bench.console.keyDown('A'), 1);
  bench.console.waitTicks(200);
  EXPECT_EQ(bench.console.keyDown('A'), 0);
  EXPECT_EQ(bench.console.keyDown(16), 0);
  bench.platform.at(300, "\x1b[1;5B");  // Ctrl+Down
  bench.console.waitTicks(100);
  EXPECT_EQ(bench.console.keyDown(17), 1);
  EXPECT_EQ(bench.console.keyDown(kDown), 1);
}

TEST(KeyPolling, CodesReadTheirLowEightBits) {
  Bench bench;
  bench.platform.at(0, kEnterBytes);
  bench.console.waitTicks(10);
  EXPECT_EQ(bench.console.keyDown(256 + 13), 1);
  bench.platform.at(500, "a");
  bench.console.waitTicks(500);
  EXPECT_EQ(bench.console.keyDown(-256 + 65), 1);
}

TEST(MousePolling, PositionIsOneBasedAndZeroBeforeAnyReport) {
  Bench bench;
  EXPECT_EQ(bench.console.keyDown(kPointerColumn), 0);
  EXPECT_EQ(bench.console.keyDown(kPointerRow), 0);
  bench.platform.at(10, keys::mouseMove(1, 1));
  bench.console.waitTicks(20);
  EXPECT_EQ(bench.console.keyDown(kPointerColumn), 1);
  EXPECT_EQ(bench.console.keyDown(kPointerRow), 1);
  bench.platform.at(30, keys::mouseMove(80, 25));
  bench.console.waitTicks(20);
  EXPECT_EQ(bench.console.keyDown(kPointerColumn), 80);
  EXPECT_EQ(bench.console.keyDown(kPointerRow), 25);
}

TEST(MousePolling, AQuickClickIsNotLostBetweenPolls) {
  Bench bench;
  // Press and release 20 ms apart, both before the next poll.
  bench.platform.at(100, keys::mousePress(10, 10));
  bench.platform.at(120, keys::mouseRelease(10, 10));
  bench.console.waitTicks(150);
  EXPECT_EQ(bench.console.keyDown(kLeftButton), 1);
  bench.console.waitTicks(1);
  EXPECT_EQ(bench.console.keyDown(kLeftButton), 0);  // now the release comes through
}

TEST(MousePolling, AnUnseenQuickClickIsReleasedAfter100ms) {
  Bench bench;
  bench.platform.at(100, keys::mousePress(10, 10));
  bench.platform.at(120, keys::mouseRelease(10, 10));
  bench.console.waitTicks(300);
  EXPECT_EQ(bench.console.keyDown(kLeftButton), 0);
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

TEST(ConfirmWait, AnEnterTappedDuringAPauseDoesNotEndIt) {
  Bench bench;
  bench.platform.at(100, kEnterBytes);
  bench.platform.at(3000, kEnterBytes);
  bench.console.waitTicks(600);
  const Outcome outcome = bench.run([&] {
    bench.console.confirmWait();
    return 0;
  });
  EXPECT_EQ(outcome.kind, Outcome::Returned);
  EXPECT_EQ(outcome.time, 3050);  // the new press, then 50 ticks
}

TEST(ConfirmWait, AnEnterStillDownEndsItAtOnce) {
  Bench bench;
  bench.platform.at(550, kEnterBytes);
  bench.console.waitTicks(600);
  const Outcome outcome = bench.run([&] {
    bench.console.confirmWait();
    return 0;
  });
  EXPECT_EQ(outcome.time, 650);
}

TEST(ConfirmWait, AClickEndsIt) {
  Bench bench;
  bench.platform.clickAt(1000, 40, 12);
  const Outcome outcome = bench.run([&] {
    bench.console.confirmWait();
    return 0;
  });
  EXPECT_EQ(outcome.time, 1050);
}

TEST(ConfirmWait, EndOfInputEndsTheGameInsteadOfWaitingForever) {
  Bench bench;
  bench.platform.endInputAt(500);
  const Outcome outcome = bench.run([&] {
    bench.console.confirmWait();
    return 0;
  });
  EXPECT_EQ(outcome.kind, Outcome::Exited);
  EXPECT_EQ(outcome.value, 0);
}

TEST(ConfirmWait, SleepsInsteadOfSpinning) {
  Bench bench;
  bench.platform.at(60'000, kEnterBytes);
  const Outcome outcome = bench.run([&] {
    bench.console.confirmWait();
    return 0;
  });
  EXPECT_EQ(outcome.time, 60'050);
  // A minute of waiting reads the terminal a few hundred times, not millions.
  EXPECT_LT(bench.platform.reads(), 2000);
}

TEST(Joysticks, AbsentReadsMinusOneAndOtherCodesReadBits) {
  Bench bench;
  for (int code : {272, 273, 274, 279, 280, 281, 282, 287}) EXPECT_EQ(bench.console.keyDown(code), -1) << code;
  bench.platform.joysticks[1] = JoystickReading{true, 100, 32767, 65535, 5};
  EXPECT_EQ(bench.console.keyDown(280), 100);
  EXPECT_EQ(bench.console.keyDown(282), 65535);
  EXPECT_EQ(bench.console.keyDown(287), 5);
  EXPECT_EQ(bench.console.keyDown(272), -1);
  EXPECT_EQ(bench.console.keyDown(275), 0);  // bit 19, not a joystick
}

TEST(SoundRegistry, NoSoundIsEverPlayed) {
  Bench bench;
  EXPECT_FALSE(bench.console.playSound(0, true));
  EXPECT_FALSE(bench.console.stopSound(0));
  EXPECT_FALSE(bench.console.closeSound(0));
  Sound unregistered;
  const auto handle = reinterpret_cast<SoundHandle>(&unregistered);
  EXPECT_FALSE(bench.console.playSound(handle, false));
  EXPECT_FALSE(bench.console.stopSound(handle));
  EXPECT_FALSE(bench.console.closeSound(handle));  // and does not delete it
}

}  // namespace
}  // namespace kotodama::test
