// A fighter made, saved into a slot, and loaded again for a battle, in the
// real game in a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/pty_session.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }

// A slot box is lit when its top-left corner is black on light red.
bool boxLit(const VtermScreen& s, int index) { return s.cell(29 * (index % 3) + 2, 11 * (index / 3) + 2).bg == 12; }

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(SlotsEndToEnd, CreateSaveThenLoadForABattle) {
  TempDir dir;
  PtySession game(dir.path());
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();

  // CREATE "hero" and answer YES to the save question.
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("名前を入力してください。")) << game.screen().dump();
  game.send("hero");
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.text(12, 31, 35) == ">hero"; }))
      << game.screen().dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("このキャラクターをセーブしますか？")) << game.screen().dump();
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(26, 24).bg == 12; }));  // YES
  game.send(keys::kEnter);

  // The save-slot screen: six empty slots; the second one gets the fighter.
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return boxLit(s, 0) && s.text(24, 65, 78) == "[]   戻る   []"; }))
      << game.screen().dump();
  EXPECT_EQ(game.screen().text(3, 36, 44), "[ EMPTY ]");
  game.send(keys::kRight);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return boxLit(s, 1) && !boxLit(s, 0); }));
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("[] セーブされました。[]")) << game.screen().dump();
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();

  // Exactly the 28 bytes of hero (316, 250, 230, 32), nothing else in the folder.
  const std::string saved = fileBytes(dir.file("data2.bin"));
  ASSERT_EQ(saved.size(), 28u);
  EXPECT_EQ(saved.substr(0, 5), std::string("hero\0", 5));
  EXPECT_EQ(saved.substr(12), std::string("\x3c\x01\0\0\xfa\0\0\0\xe6\0\0\0\x20\0\0\0", 16));
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename(), "data2.bin");
    ++entries;
  }
  EXPECT_EQ(entries, 1);

  // BATTLE: the load-slot screen shows the saved fighter; load it.
  game.send(keys::kDown);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(19, 17).text == ">"; }));
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.text(3, 31, 50) == "| NAME : hero      |"; }))
      << game.screen().dump();
  EXPECT_EQ(game.screen().text(7, 33, 46), "体力     : 316");
  game.send(keys::kRight);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return boxLit(s, 1); }));
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("[] ロードされました。[]")) << game.screen().dump();
  ASSERT_TRUE(game.waitForText("相手の名前を入力してください。")) << game.screen().dump();

  // The battle starts with the loaded fighter at full strength.
  game.send("abc");
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("HP 316 /  316", 15000)) << game.screen().dump();
  EXPECT_EQ(fileBytes(dir.file("data2.bin")), saved);
}

}  // namespace
}  // namespace kotodama::test
