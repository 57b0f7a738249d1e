#include <gtest/gtest.h>
#include <sys/wait.h>

#include "support/pty_session.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }

TEST(CreateEndToEnd, JapaneseNameTypedInUtf8GivesItsFighter) {
  TempDir dir;
  PtySession game(dir.path());
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();
  game.send(keys::kEnter);  // CREATE
  ASSERT_TRUE(game.waitForText("名前を入力してください。")) << game.screen().dump();

  game.send("アイウエオ");
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.text(12, 31, 41) == ">アイウエオ"; }))
      << game.screen().dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("このキャラクターをセーブしますか？")) << game.screen().dump();
  const VtermScreen& s = game.screen();
  EXPECT_EQ(s.text(5, 4, 13), "アイウエオ");
  EXPECT_EQ(s.text(3, 72, 74), "845");
  EXPECT_EQ(s.text(5, 72, 74), "130");
  EXPECT_EQ(s.text(7, 72, 74), "120");
  EXPECT_EQ(s.text(9, 72, 74), "165");

  // Decline, confirm, and the title comes back; then END.
  game.send(keys::kRight);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& v) { return v.cell(49, 24).bg == 12; }));
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("このキャラクターのデータは保存されませんがよろしいですか？"));
  // The warning stands for 250 ms without polling: a key tapped and let go
  // meanwhile is folded away, as on the console it imitates.
  game.pump(400);
  game.send(keys::kLeft);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& v) { return v.cell(26, 24).bg == 12; })) << game.screen().dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();
  game.send(keys::kUp);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& v) { return v.cell(19, 21).text == ">"; }));
  game.send(keys::kEnter);
  const int status = game.waitExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace kotodama::test
