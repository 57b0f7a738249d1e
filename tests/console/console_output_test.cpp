#include <gtest/gtest.h>

#include <string>

#include "support/bench.h"

namespace kotodama::test {
namespace {

// The bytes the console sends for each operation, in one scenario: colour 16
// keeps the stored colour, 17 shows as 1, a bright background is sent as
// blink and then corrected to the bright colour without blink.
TEST(ConsoleOutput, EscapeSequencesUseTheStoredPair) {
  Bench bench;
  const struct { void (*operation)(Console&); const char* bytes; } cases[] = {
      {[](Console& c) { c.moveCursor(5, 3); }, "\x1b[3;5H"},
      {[](Console& c) { c.clearScreen(16, 16); }, "\x1b[2J"},
      {[](Console& c) { c.clearScreen(15, 0); }, "\x1b[0;1;37;40m\x1b[97m\x1b[2J"},
      {[](Console& c) { c.setCursorVisible(0, 0); }, "\x1b[?25l"},
      {[](Console& c) { c.setCursorVisible(1, 100); }, "\x1b[?25h"},
      {[](Console& c) { c.setColor(0, 12); }, "\x1b[0;30;5;41m\x1b[25;101m"},
      {[](Console& c) { c.setColor(16, 16); }, ""},
      {[](Console& c) { c.setColor(16, 4); }, "\x1b[0;30;41m"},
      {[](Console& c) { c.setColor(7, 16); }, "\x1b[0;37;41m"},
      {[](Console& c) { c.setColor(17, 0); }, "\x1b[0;34;40m"},
      {[](Console& c) { c.setColor(16, 14); }, "\x1b[0;34;5;43m\x1b[25;103m"},  // keeps blue
      {[](Console& c) { c.setColor(15, 9); }, "\x1b[0;1;37;5;44m\x1b[97;25;104m"},
      {[](Console& c) { c.setColor(6, 3); }, "\x1b[0;33;46m"},
  };
  for (const auto& c : cases) {
    bench.console.flush();
    const std::size_t before = bench.platform.output().size();
    c.operation(bench.console);
    bench.console.flush();
    EXPECT_EQ(bench.platform.output().substr(before), c.bytes);
  }
  // A whole screen's drawing leaves in one write.
  const auto writes = bench.platform.writes();
  for (int row = 1; row <= 25; ++row) {
    bench.console.moveCursor(1, row);
    bench.console.print("::::::::::");
  }
  bench.console.waitTicks(50);
  EXPECT_EQ(bench.platform.writes(), writes + 1);
}

}  // namespace
}  // namespace kotodama::test
