// The screen survives the terminal: shrunk to 60 x 20 on any screen, the
// window shows the size notice while the game goes on underneath, and once
// it is 80 x 25 again every cell is back as the game drew it; Ctrl+L draws
// it again too. And the typed line echoes as a console's line input does.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "battle/battle.h"
#include "game/game_loop.h"
#include "support/bench.h"
#include "support/golden.h"
#include "support/pty_session.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

enum class Upset { None, Shrink, Redraw };

// Plays the whole game (or a battle whose random draw is fixed, when
// `battle`) with each step's bytes sent 100 ms after its condition holds;
// `at` ms after the last, the window is shrunk to 60 x 20 for 300 ms (and
// must show the size notice, and nothing else), or, the terminal's screen
// cleared behind the game's back, Ctrl+L is typed. Returns the screen
// 100 ms after that.
std::string play(const Steps& steps, std::int64_t at, bool battle, Upset upset) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(fighter("old", 111, 222, 33, 44)));
  Bench bench;
  ScriptedPlatform& p = bench.platform;
  for (const auto& [condition, bytes] : steps) p.when(condition, bytes, 100);
  p.when([&](const VtermScreen&) {
    const std::int64_t t = p.clock() + at;
    if (upset == Upset::Shrink) p.resizeAt(t, 60, 20).resizeAt(t + 300, 80, 25);
    if (upset == Upset::Redraw) p.at(t + 300, "\x0c").screen().feed("\x1b[44m\x1b[2J\x1b[H");
    p.limitAt(t + 400);
    return true;
  }, "");
  Fighters fighters{fighter("hero", 316, 250, 230, 32), fighter("abc", 570, 111, 49, 111)};
  bench.run([&] { return battle ? runBattle(bench.console, fighters, [] { return 1; }) : runGame(bench.console); });
  // While shrunk, the size notice alone reaches the terminal; then the whole screen again.
  const std::string noticeThenRepaint = sizeNotice({60, 20}) + "\x1b[0m\x1b[?25l\x1b[H\x1b[2J";
  EXPECT_TRUE(upset != Upset::Shrink || p.output().find(noticeThenRepaint) != std::string::npos) << "notice";
  return describe(bench.screen());
}

TEST(Repaint, EveryScreenComesBackWholeAfterAShrinkOrCtrlL) {
  // CREATE up to the overwrite question; each case below plays its first steps.
  const Steps create = {{menuReady, "\r"}, {shows("名前を入力"), "her"}, {shows("her"), "o\r"},
                        {shows("セーブしますか"), ""}, {shows("セーブしますか"), "\r"}, {shows("戻る"), "\r"},
                        {shows("上書き"), ""}};
  const auto first = [&](int n) { return Steps(create.begin(), create.begin() + n); };
  const Steps toBattle = {{shows("BATTLE LOG"), ""}};
  const std::tuple<const char*, Steps, std::int64_t, bool> cases[] = {
      {"title animation", {}, 2000, false},     {"menu", {{menuReady, ""}}, 0, false},
      {"name entry", first(2), 300, false},     {"status", first(4), 300, false},
      {"overwrite question", first(7), 300, false}, {"battle sliding in", toBattle, 0, true},
      {"battle at its confirm wait", toBattle, 8000, true},
  };
  for (const auto& [what, steps, at, battle] : cases) {
    SCOPED_TRACE(what);
    const std::string plain = play(steps, at, battle, Upset::None);
    EXPECT_EQ(play(steps, at, battle, Upset::Shrink), plain);
    EXPECT_EQ(play(steps, at, battle, Upset::Redraw), plain);
  }
}

// Enter on an empty line goes on to the next row; a line longer than the
// row wraps onto the next one, and Backspace goes back across the wrap.
TEST(Repaint, TheTypedLineWrapsAsAConsolesLineInput) {
  Bench bench;
  bench.console.moveCursor(75, 3);
  bench.platform.at(10, "\rab\r");
  EXPECT_EQ(bench.console.readToken(20), "ab");
  bench.console.moveCursor(75, 10);
  bench.platform.at(20, std::string(12, 'x') + std::string(3, '\x7f') + "yz\r");
  EXPECT_EQ(bench.console.readToken(20), std::string(9, 'x') + "yz");
  EXPECT_EQ(bench.screen().text(4, 1, 3) + bench.screen().text(10, 75, 80) + bench.screen().text(11, 1, 6),
            "ab " "xxxxxx" "xxxyz ");
}

}  // namespace
}  // namespace kotodama::test
