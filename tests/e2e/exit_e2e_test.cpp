// What the game leaves behind on every way out, seen as a real terminal or a
// pipe sees it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include "support/pty_session.h"

namespace kotodama::test {
namespace {

bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }

// The screen is cleared and the cursor homed just before the alternate
// screen is left, so a terminal without one is left clean.
void expectClearedBeforeLeaving(const std::string& output) {
  const std::size_t leave = output.rfind("\x1b[?1049l");
  ASSERT_NE(leave, std::string::npos);
  EXPECT_EQ(output.substr(leave - 7, 7), "\x1b[H\x1b[2J");
}

TEST(ExitEndToEnd, EndAndAStopSignalClearTheScreenBeforeLeavingIt) {
  for (bool bySignal : {false, true}) {
    TempDir dir;
    PtySession game(dir.path());
    ASSERT_TRUE(game.waitFor(menuReady, 15000));
    if (bySignal) {
      game.kill(SIGTERM);
    } else {
      game.send("\x1b[A");
      ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(19, 21).text == ">"; }));
      game.send("\r");
    }
    game.waitExit();
    expectClearedBeforeLeaving(game.output());
  }
}

TEST(ExitEndToEnd, OutputIntoAFileEndsWithTheColoursResetAndTheCaretShown) {
  TempDir dir;
  const std::string out = dir.file("out");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int file = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(in, 0);
    dup2(file, 1);
    if (chdir(dir.path().c_str()) != 0) _exit(127);
    execl(KOTODAMA_BINARY, KOTODAMA_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);  // input has ended: the game ends after the title
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(out, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 10u);
  EXPECT_NE(bytes.find("\x1b[0;1;37;40m"), std::string::npos);  // it did draw in colours
  EXPECT_EQ(bytes.substr(bytes.size() - 10), "\x1b[0m\x1b[?25h");
}

}  // namespace
}  // namespace kotodama::test
