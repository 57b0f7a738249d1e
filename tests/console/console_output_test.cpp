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

TEST(ConsoleOutput, CursorAndClearSequences) {
  Bench bench;
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.moveCursor(5, 3); }), "\x1b[3;5H");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.moveCursor(1, 1); }), "\x1b[1;1H");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.clearScreen(16, 16); }), "\x1b[2J");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.clearScreen(15, 0); }), "\x1b[0;1;37;40m\x1b[2J");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setCursorVisible(0, 0); }), "\x1b[?25l");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setCursorVisible(1, 100); }), "\x1b[?25h");
}

TEST(ConsoleOutput, ColourSequencesUseTheStoredPair) {
  Bench bench;
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(15, 0); }), "\x1b[0;1;37;40m");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(0, 12); }), "\x1b[0;30;5;41m");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(16, 16); }), "");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(16, 4); }), "\x1b[0;30;41m");  // keeps black
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(7, 16); }), "\x1b[0;37;41m");  // keeps red
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(17, 0); }), "\x1b[0;34;40m");   // 17 shows as 1
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(16, 14); }), "\x1b[0;34;5;43m");
  EXPECT_EQ(bytesOf(bench, [](Console& c) { c.setColor(6, 3); }), "\x1b[0;33;46m");
}

TEST(ConsoleOutput, TerminalShowsColoursAndText) {
  Bench bench;
  Console& c = bench.console;
  c.setColor(0, 12);
  c.clearScreen(16, 16);
  c.moveCursor(19, 13);
  c.print(">");
  c.setColor(15, 0);
  c.moveCursor(1, 25);
  c.print(sjis("名前"));
  c.flush();
  const Cell mark = bench.screen().cell(19, 13);
  EXPECT_EQ(mark.text, ">");
  EXPECT_EQ(mark.fg, 0);
  EXPECT_EQ(mark.bg, 12);
  EXPECT_EQ(bench.screen().cell(1, 25).text, "名");
  EXPECT_EQ(bench.screen().cell(1, 25).fg, 15);
  EXPECT_EQ(bench.screen().cell(3, 25).text, "前");
}

TEST(ConsoleOutput, PrintStopsAtNulButPrintBytesShowsItAsBlank) {
  Bench bench;
  Console& c = bench.console;
  c.moveCursor(1, 1);
  c.print("ab");
  c.printBytes("cd\0e", 4);
  c.flush();
  EXPECT_EQ(bench.screen().text(1, 1, 6), "abcd e");
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

TEST(ConsoleOutput, NarrowDoubleByteCharacterKeepsTheColumns) {
  Bench bench;
  Console& c = bench.console;
  c.moveCursor(1, 14);
  c.print(sjis("[][][]:::::::::::⊂.:|"));
  c.flush();
  // ⊂ stands at column 18 and is one column wide in a UTF-8 terminal; what
  // follows still starts at column 20.
  EXPECT_EQ(bench.screen().cell(18, 14).text, "⊂");
  EXPECT_EQ(bench.screen().text(14, 20, 22), ".:|");
}

}  // namespace
}  // namespace kotodama::test
