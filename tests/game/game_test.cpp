// The title: its animation frame by frame, the finished screen, and the
// menu's script table; and the game loop around it.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "characters/name_entry.h"
#include "game/game_loop.h"
#include "game/title_menu.h"
#include "support/bench.h"
#include "support/golden.h"
#include "support/pty_session.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

constexpr std::int64_t kMenuReady = 5070;  // ticks of animation before the menu answers

// The title until it returns, or until `limit` ticks from now.
Outcome runTitle(Bench& bench, std::int64_t limit = 0) {
  if (limit > 0) bench.platform.limitAt(bench.platform.clock() + limit);
  return bench.run([&] { return showTitleMenu(bench.console); });
}

// The screen read at a tick of the animation: the background rises from the
// bottom, the boxes come in from the left cut in bytes (a cut inside "￣"
// shows its trail byte "P"), slide right wiping their trail, and the logo
// drops in from the top; all white on black. Then the finished screen.
TEST(TitleScreen, AnimationFramesThenTheFinishedScreen) {
  const std::int64_t boxesIn = 1550, boxesSlide = boxesIn + 21 * 80, logo = boxesIn + 33 * 80;
  const struct { std::int64_t at; int row, from, to; std::string text; } frames[] = {
      {125, 23, 1, 4, "[]::"}, {125, 22, 1, 80, std::string(80, ' ')}, {boxesIn + 2 * 80 + 40, 12, 1, 3, "P|:"},
      {boxesSlide + 4 * 80 + 40, 17, 1, 8, "[]::][  "}, {logo + 3 * 80 + 40, 1, 15, 22, "][   ## "},
  };
  for (const auto& f : frames) {
    Bench bench;
    runTitle(bench, f.at);
    EXPECT_EQ(bench.screen().text(f.row, f.from, f.to), f.text) << f.at;
    EXPECT_EQ(bench.screen().cell(f.from, f.row).fg * 100 + bench.screen().cell(f.from, f.row).bg, 1500) << f.at;
  }
  Bench bench;
  runTitle(bench, kMenuReady + 10);
  expectGolden(bench.screen(), "title");
}

// Scripts of keys and pointer moves, each step at its tick (held for `hold`
// ticks as a terminal repeats a key), and the entry chosen, at the tick
// given (0: any tick after the last step).
TEST(TitleMenu, Scripts) {
  const std::string D(keys::kDown), U(keys::kUp), E(keys::kEnter);
  const auto at = keys::mouseMove;
  struct Step { std::int64_t t; std::string bytes; std::int64_t hold = 0; };
  const struct { std::vector<Step> script; int choice; std::int64_t time; } cases[] = {
      // The first moment it answers; taps during the animation do not count.
      {{{kMenuReady, E}}, kChoiceCreate, kMenuReady}, {{{2000, D}, {4900, E}, {6000, E}}, kChoiceCreate, 0},
      // Arrows move once a tap and wrap.
      {{{6300, D}, {6600, E}}, kChoiceBattle, 0}, {{{6300, D}, {6600, D}, {6900, E}}, kChoiceEnd, 0},
      {{{6300, U}, {6600, E}}, kChoiceEnd, 0}, {{{6300, D}, {6600, D}, {6900, D}, {7200, E}}, kChoiceCreate, 0},
      // A key still held when the animation ends counts. Held 1.1 s: a move at the press, then one a 100-tick
      // pass while the terminal repeats (6500 to 7094): eight moves from CREATE land on END.
      {{{4000, E, 2000}}, kChoiceCreate, kMenuReady}, {{{6000, D, 1100}, {8000, E}}, kChoiceEnd, 0},
      // The pointer lights the box under it; a click there chooses it in the
      // first pass after the press (passes every 50 ticks from 5070).
      {{{6000, at(20, 21)}, {7000, keys::mousePress(20, 21)}, {7050, keys::mouseRelease(20, 21)}}, kChoiceEnd, 7020},
      // A tap (no move before the press): the pass sees the pointer on END first, then the press counts.
      {{{7000, keys::mousePress(20, 21)}, {7050, keys::mouseRelease(20, 21)}}, kChoiceEnd, 0},
      // Exactly the box's 21 columns and 3 rows: on it, Enter takes END; beside
      // it the keyboard's CREATE stays.
      {{{6000, at(12, 20)}, {6200, E}}, kChoiceEnd, 0}, {{{6000, at(32, 22)}, {6200, E}}, kChoiceEnd, 0},
      {{{6000, at(33, 21)}, {6200, E}}, kChoiceCreate, 0}, {{{6000, at(11, 21)}, {6200, E}}, kChoiceCreate, 0},
      {{{6000, at(20, 19)}, {6200, E}}, kChoiceCreate, 0}, {{{6000, at(20, 23)}, {6200, E}}, kChoiceCreate, 0},
      // Once the pointer leaves, nothing is chosen until an arrow: Down goes to
      // CREATE, Up to BATTLE.
      {{{6000, at(20, 17)}, {6200, at(50, 17)}, {6400, E}, {6600, D}, {6800, E}}, kChoiceCreate, 0},
      {{{6000, at(20, 21)}, {6200, at(50, 2)}, {6400, U}, {6600, E}}, kChoiceBattle, 0},
      // The pointer and Enter in one pass: the keyboard's entry answers when
      // it comes first, the pointer's when it is above it.
      {{{6000, at(20, 21) + E}}, kChoiceCreate, 0}, {{{6000, D}, {6300, D}, {6600, at(20, 17) + E}}, kChoiceBattle, 0},
  };
  for (const auto& c : cases) {
    Bench bench;
    for (const Step& s : c.script) bench.platform.holdAt(s.t, s.bytes, s.hold);  // a hold of 0 is one tap
    const Outcome o = runTitle(bench);
    const bool inTime = c.time > 0 ? o.time == c.time : o.time >= c.script.back().t;
    EXPECT_TRUE(returned(o, c.choice) && inTime) << "case " << &c - cases << ": " << o.value << " at " << o.time;
  }
}

// The pointer moved while a name was typed: back on the title, the entry
// under it now is the one lit, not the one clicked before.
TEST(TitleMenu, ThePointerMovedDuringNameEntryLightsItsEntry) {
  Bench bench;
  bench.platform.clickAt(kMenuReady + 100, 20, 13).at(kMenuReady + 500, keys::mouseMove(20, 17) + "hero\r");
  ASSERT_TRUE(returned(runTitle(bench), kChoiceCreate));
  char name[12] = {};
  bench.run([&] { return enterName(bench.console, name, 0); });
  runTitle(bench, kMenuReady + 100);
  EXPECT_EQ(bench.screen().cell(19, 17).text + bench.screen().cell(19, 13).text, "> ");
}

// -------------------------------------------------------------- the loop

// Input that ends on the title ends the game (status 0) once the menu
// stands. A title result the loop does not know stops the game after one line.
TEST(GameLoop, TheEndOfInputOrAnUnexpectedTitleResult) {
  Bench ended, odd;
  ended.platform.endInputAt(1000);
  const Outcome end = ended.run([&] { return runGame(ended.console); });
  EXPECT_EQ(std::tuple(end.kind, end.value, end.time), std::tuple(Outcome::Exited, 0, 5070));
  odd.platform.at(100, "x").at(200, "\r");
  const Outcome stop = odd.run([&] { return runGame(odd.console, [](Console&) { return 2; }); });
  EXPECT_EQ(std::tuple(stop.kind, stop.value, stop.time), std::tuple(Outcome::Exited, Console::kFatalStopStatus, 200));
  EXPECT_TRUE(odd.screen().contains("予想外のエラー"));
}


// After a battle the title comes back only at Enter, however long the banner
// has stood. Enter is held through the battle's own waits and let go well
// before the banner (whose time a first run finds).
TEST(GameLoop, AfterABattleTheTitleWaitsForEnter) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(named("hero")));
  std::int64_t banner = -1, battle = -1;
  const auto play = [&](std::int64_t holdFor) {
    Bench bench;
    ScriptedPlatform& p = bench.platform;
    p.when([](const VtermScreen& s) { return s.cell(2, 2).bg == 12; }, "\r", 100);
    p.whenShows("相手の名前を入力してください。", "abc\r", 100);
    p.when([&](const VtermScreen& s) {
      if (!s.contains("BATTLE LOG")) return false;
      p.holdAt(battle = p.clock(), "\r", holdFor);
      return true;
    }, "");
    p.when([&](const VtermScreen& s) {
      if (!s.contains("##########")) return false;
      p.at((banner = p.clock()) + 3000, "\r");
      return true;
    }, "");
    static int titles;
    titles = 0;
    return bench.run([&] { return runGame(bench.console, [](Console&) { return titles++ ? +kChoiceEnd : +kChoiceBattle; }); });
  };
  play(60'000);
  const Outcome o = play(banner - 1000 - battle);
  EXPECT_TRUE(returned(o, 0));
  EXPECT_GE(o.time, banner + 3000);
}

}  // namespace
}  // namespace kotodama::test
