// A whole battle in the real game in a pseudo-terminal: from the title, load
// a saved fighter, name the opponent, blow by blow to the banner, and back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "support/pty_session.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }

// A slot file: the name, NUL-padded to 12 bytes, then four little-endian values.
std::string slotRecord(const std::string& name, std::int32_t hp, std::int32_t attack, std::int32_t defense,
                       std::int32_t speed) {
  std::string bytes = name;
  bytes.resize(12, '\0');
  for (std::int32_t v : {hp, attack, defense, speed}) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((u >> shift) & 0xFF);
  }
  return bytes;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string trimmed(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

// From the title through the load-slot screen (slot 1) and the opponent's name.
void loadAndName(PtySession& game, const std::string& opponent) {
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();
  game.send(keys::kDown);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(19, 17).text == ">"; }));
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& s) { return s.cell(2, 2).bg == 12; })) << game.screen().dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitForText("相手の名前を入力してください。")) << game.screen().dump();
  game.send(opponent);
  game.send(keys::kEnter);
}

TEST(BattleEndToEnd, HeroAgainstAbcFromTheTitleToTheBannerAndBack) {
  TempDir dir;
  const std::string hero = slotRecord("hero", 316, 250, 230, 32);
  writeFile(dir.file("data1.bin"), hero);
  PtySession game(dir.path());
  loadAndName(game, "abc");

  // The opening: the opponent's line once both portraits stand in place.
  ASSERT_TRUE(game.waitFor(
      [](const VtermScreen& s) { return s.text(22, 3, 5) == "abc" && s.text(15, 8, 27) == "    ____________    "; },
      15000))
      << game.screen().dump();
  const VtermScreen& s = game.screen();
  const std::string opening = trimmed(s.text(22, 3, 77));
  EXPECT_TRUE(opening == "abcは遠い目をしている" || opening == "abcは余裕そうな顔をしている" ||
              opening == "abcはつぶらな瞳で見つめている" || opening == "abc「I want to win the beatbox battle」")
      << opening;
  EXPECT_EQ(s.text(4, 3, 30), " abc        | HP 570 /  570 ");
  EXPECT_EQ(s.text(16, 50, 77), "HP 316 /  316  |hero        ");
  EXPECT_EQ(s.text(1, 53, 72), "    ___________     ");
  EXPECT_EQ(s.cell(55, 1).fg, 12);

  // abc (speed 61) is faster than hero (speed 32): it strikes first. Each
  // Enter is sent once the blow's second line shows (the confirm wait).
  auto blowShows = [&](const char* first, const char* second, const char* opponentHp, const char* playerHp) {
    return game.waitFor([&](const VtermScreen& v) {
      return trimmed(v.text(22, 3, 77)) == first && trimmed(v.text(23, 3, 77)) == second &&
             v.text(4, 17, 29) == opponentHp && v.text(16, 50, 62) == playerHp;
    });
  };
  game.send(keys::kEnter);
  ASSERT_TRUE(blowShows("abcの攻撃", "heroは225のダメージを受けた", "HP 570 /  570", "HP 316 /  316")) << s.dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(blowShows("heroの攻撃", "abcは250のダメージを受けた", "HP 570 /  570", "HP  91 /  316")) << s.dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(blowShows("abcの攻撃", "heroは225のダメージを受けた", "HP 320 /  570", "HP  91 /  316")) << s.dump();
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& v) { return v.text(16, 50, 62) == "HP   0 /  316"; })) << s.dump();

  // GAME OVER after the closing pause; the last blow stays readable below.
  ASSERT_TRUE(game.waitFor([](const VtermScreen& v) {
    return v.text(13, 6, 72) == "[]          ###      ##       ##   #########    ########         []";
  })) << s.dump();
  EXPECT_EQ(s.cell(6, 3).bg, 12);
  EXPECT_EQ(s.cell(72, 20).fg, 0);
  EXPECT_EQ(trimmed(s.text(22, 3, 77)), "abcの攻撃");
  EXPECT_EQ(trimmed(s.text(23, 3, 77)), "heroは225のダメージを受けた");

  // The banner waits for Enter; then the title again, the slot untouched.
  game.pump(700);
  EXPECT_FALSE(menuReady(s));
  EXPECT_EQ(s.cell(6, 3).bg, 12);
  game.send(keys::kEnter);
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << s.dump();
  EXPECT_EQ(fileBytes(dir.file("data1.bin")), hero);

  game.send(keys::kUp);
  ASSERT_TRUE(game.waitFor([](const VtermScreen& v) { return v.cell(19, 21).text == ">"; }));
  game.send(keys::kEnter);
  const int status = game.waitExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(BattleEndToEnd, AFighterNoNameGivesNeverFights) {
  TempDir dir;
  writeFile(dir.file("data1.bin"), slotRecord("hero", 5000, 0, 230, 32));
  PtySession game(dir.path());
  loadAndName(game, "abc");
  ASSERT_TRUE(game.waitForText("このキャラクターは戦えません")) << game.screen().dump();
  EXPECT_FALSE(game.screen().contains("BATTLE LOG"));
  // Back to the title by itself, no key needed.
  ASSERT_TRUE(game.waitFor(menuReady, 15000)) << game.screen().dump();
}

}  // namespace
}  // namespace kotodama::test
