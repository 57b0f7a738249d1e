#include <gtest/gtest.h>

#include "support/bench.h"
#include "support/golden.h"

namespace kotodama::test {
namespace {

// The bytes the console sends for each operation, in one scenario: colour 16
// keeps the stored colour, 17 shows as 1, a bright background is sent as
// blink and then corrected to the bright colour without blink.
TEST(ConsoleOutput, EscapeSequencesUseTheStoredPair) {
  Bench bench;
  const auto sent = [&](auto operation) {
    bench.console.flush();
    const std::size_t before = bench.platform.output().size();
    operation(bench.console);
    bench.console.flush();
    return bench.platform.output().substr(before);
  };
  EXPECT_EQ(sent([](Console& c) { c.moveCursor(5, 3); }), "\x1b[3;5H");
  EXPECT_EQ(sent([](Console& c) { c.clearScreen(16, 16); }), "\x1b[2J");
  EXPECT_EQ(sent([](Console& c) { c.clearScreen(15, 0); }), "\x1b[0;1;37;40m\x1b[97m\x1b[2J");
  EXPECT_EQ(sent([](Console& c) { c.setCursorVisible(0, 0); }), "\x1b[?25l");
  EXPECT_EQ(sent([](Console& c) { c.setCursorVisible(1, 100); }), "\x1b[?25h");
  // One after another: 16 keeps the colour set before (16, 14 keeps blue).
  const struct { int fg, bg; const char* bytes; } colours[] = {
      {0, 12, "\x1b[0;30;5;41m\x1b[25;101m"}, {16, 16, ""}, {16, 4, "\x1b[0;30;41m"}, {7, 16, "\x1b[0;37;41m"},
      {17, 0, "\x1b[0;34;40m"}, {16, 14, "\x1b[0;34;5;43m\x1b[25;103m"}, {15, 9, "\x1b[0;1;37;5;44m\x1b[97;25;104m"},
      {6, 3, "\x1b[0;33;46m"},
  };
  for (const auto& c : colours) EXPECT_EQ(sent([&](Console& console) { console.setColor(c.fg, c.bg); }), c.bytes);
  // A whole screen's drawing leaves in one write.
  const auto writes = bench.platform.writes();
  for (int row = 1; row <= 25; ++row) {
    bench.console.moveCursor(1, row);
    bench.console.print("::::::::::");
  }
  bench.console.waitTicks(50);
  EXPECT_EQ(bench.platform.writes(), writes + 1);
}

// A wide character cut in half by a later draw, on either half, leaves a
// blank in its own colours where its other half was, whatever the terminal
// would have made of it; drawn again (Ctrl+L), the screen is the same.
TEST(ConsoleOutput, AWideCharacterCutInHalfLeavesABlankInItsColours) {
  Bench bench;
  Console& c = bench.console;
  c.clearScreen(15, 0);
  c.moveCursor(1, 1);
  c.print("\x81\x50\x81\x50\x81\x50");  // three full-width bars on columns 1 to 6
  c.setColor(0, 14);
  c.moveCursor(2, 1);
  c.print("ab");  // over the first's right half and the second's left half
  c.print("c");  // over the blank the second left: the cursor went back after it
  c.waitTicks(1);
  const VtermScreen& s = bench.screen();
  std::string cells;
  for (int column = 1; column <= 7; ++column) cells += s.cell(column, 1).text + std::to_string(s.cell(column, 1).bg);
  EXPECT_EQ(cells, " 0a14b14c14\xef\xbf\xa3" "0" "0 0");
  const std::string drawn = describe(s);
  bench.platform.at(bench.platform.clock(), "\x0c").screen().feed("\x1b[44m\x1b[2J");
  c.waitTicks(10);
  EXPECT_EQ(describe(bench.screen()), drawn);
}

}  // namespace
}  // namespace kotodama::test
