#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "support/pty_session.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

bool menuReady(const VtermScreen& s) {
  // The menu answers once CREATE is drawn highlighted with its ">" mark.
  return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12;
}

void expectRestored(PtySession& game) {
  EXPECT_TRUE(sameSettings(game.settings(), game.initialSettings()));
  EXPECT_FALSE(game.screen().altScreen());
  EXPECT_TRUE(game.screen().cursorVisible());
}

TEST(TitleEndToEnd, EndByKeysLeavesTheTerminalAsItWas) {
  TempDir dir;
  PtySession game(dir.path());
  game.screen().feed("shell prompt $ ");
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();
  EXPECT_TRUE(game.screen().altScreen());
  EXPECT_FALSE(sameSettings(game.settings(), game.initialSettings()));  // raw input while playing
  game.send("\x1b[B");
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(19, 17).text == ">"; }));
  game.send("\x1b[B");
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(19, 21).text == ">"; }));
  game.send("\r");
  const int status = game.waitExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expectRestored(game);
  EXPECT_EQ(game.screen().row(1).substr(0, 15), "shell prompt $ ");
}

TEST(TitleEndToEnd, EndByMouseClick) {
  TempDir dir;
  PtySession game(dir.path());
  ASSERT_TRUE(game.waitFor(menuReady, 15000));
  game.send(keys::mouseMove(25, 21));
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(19, 21).bg == 12 && s.cell(19, 13).bg != 12; }));
  game.send(keys::mousePress(25, 21));
  game.send(keys::mouseRelease(25, 21));
  const int status = game.waitExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  expectRestored(game);
}

TEST(TitleEndToEnd, CtrlCStopsTheGameAndRestores) {
  TempDir dir;
  PtySession game(dir.path());
  ASSERT_TRUE(game.waitFor(menuReady, 15000));
  game.send("\x03");
  const int status = game.waitExit();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  expectRestored(game);
}

}  // namespace
}  // namespace kotodama::test
