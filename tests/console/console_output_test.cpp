#include <gtest/gtest.h>

#include <string>

#include "console/art.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

// The bytes the console sends for one operation.
template <typename F>
std::string bytesOf(Bench& bench, F operation) {
  bench.console.flush();
  const std::size_t before = bench.platform.output().size();
  operation(bench.console);
  bench.console.flush();
  return bench.platform.output().substr(before);
}

TEST(ConsoleOutput, EscapeSequencesUseTheStoredPair) {
  Bench bench;
  const struct {
    void (*operation)(Console&);
    const char* bytes;
  } cases[] = {
      {[](Console& c) { c.moveCursor(5, 3); }, "\x1b[3;5H"},
      {[](Console& c) { c.clearScreen(16, 16); }, "\x1b[2J"},
      {[](Console& c) { c.clearScreen(15, 0); }, "\x1b[0;1;37;40m\x1b[97m\x1b[2J"},
      {[](Console& c) { c.setCursorVisible(0, 0); }, "\x1b[?25l"},
      {[](Console& c) { c.setCursorVisible(1, 100); }, "\x1b[?25h"},
      {[](Console& c) { c.setColor(0, 12); }, "\x1b[0;30;5;41m\x1b[25;101m"},  // then blink off, bright red
      {[](Console& c) { c.setColor(16, 16); }, ""},
      {[](Console& c) { c.setColor(16, 4); }, "\x1b[0;30;41m"},  // keeps black
      {[](Console& c) { c.setColor(7, 16); }, "\x1b[0;37;41m"},  // keeps red
      {[](Console& c) { c.setColor(17, 0); }, "\x1b[0;34;40m"},  // 17 shows as 1
      {[](Console& c) { c.setColor(16, 14); }, "\x1b[0;34;5;43m\x1b[25;103m"},
      {[](Console& c) { c.setColor(15, 9); }, "\x1b[0;1;37;5;44m\x1b[97;25;104m"},
      {[](Console& c) { c.setColor(6, 3); }, "\x1b[0;33;46m"},
  };
  for (const auto& c : cases) EXPECT_EQ(bytesOf(bench, c.operation), c.bytes);
}

TEST(ConsoleOutput, TextLandsInItsCellsInItsColours) {
  Bench bench;
  Console& c = bench.console;
  c.setColor(0, 12);
  c.clearScreen(16, 16);
  c.moveCursor(19, 13);
  c.print(">");
  c.setColor(15, 0);
  c.moveCursor(1, 25);
  c.print(sjis("名前"));
  c.moveCursor(1, 1);
  c.print("ab");
  c.printBytes("cd\0e", 4);  // a NUL shows as a blank
  // ⊂ is one column wide in a UTF-8 terminal; what follows keeps its column.
  c.moveCursor(1, 14);
  c.print(sjis("[][][]:::::::::::⊂.:|"));
  c.flush();
  const VtermScreen& s = bench.screen();
  EXPECT_EQ(s.cell(19, 13).text, ">");
  EXPECT_EQ(s.cell(19, 13).fg, 0);
  EXPECT_EQ(s.cell(19, 13).bg, 12);
  EXPECT_FALSE(s.cell(19, 13).blink);  // light red, steady
  EXPECT_EQ(s.cell(1, 25).text, "名");
  EXPECT_EQ(s.cell(1, 25).fg, 15);
  EXPECT_EQ(s.cell(3, 25).text, "前");
  EXPECT_EQ(s.text(1, 1, 6), "abcd e");
  EXPECT_EQ(s.cell(18, 14).text, "⊂");
  EXPECT_EQ(s.text(14, 20, 22), ".:|");
}

TEST(ConsoleOutput, OutputLeavesInOneWritePerFlush) {
  Bench bench;
  Console& c = bench.console;
  c.flush();
  const auto writes = bench.platform.writes();
  for (int row = 1; row <= 25; ++row) {
    c.moveCursor(1, row);
    c.print("::::::::::");
  }
  c.waitTicks(50);
  EXPECT_EQ(bench.platform.writes(), writes + 1);
}

}  // namespace
}  // namespace kotodama::test
