// Hostile keys on every screen of the real game in a pseudo-terminal: every
// byte, random storms and broken sequences, hostile names, and the window
// shrunk below 80 x 25 and back.
#include <signal.h>
#include <vterm.h>

#include "e2e/stress_support.h"

namespace kotodama::test {
namespace {

// A storm (after `prefix`); once the game has taken it, the screen is still
// there and `next` is answered (by the steps after these).
Steps stormThen(unsigned seed, const Condition& stillThere, std::string next, std::string prefix = "") {
  return {{after(0), sends(prefix + storm(seed))}, {after(300), [=](PtySession& game) {
             EXPECT_TRUE(stillThere(game.screen())) << "storm " << seed << "\n" << game.screen().dump();
             game.send(next);
           }}};
}
const Condition kOpening = [](const VtermScreen& s) { return s.text(15, 8, 27) == "    ____________    " && s.text(22, 3, 5) == "abc"; };
const Condition kEndLit = [](const VtermScreen& s) { return s.cell(19, 21).text == ">"; };

TEST(HostileEndToEnd, KeyStormsOnEveryScreenAndHostileNamesNeverBreakTheGame) {
  const std::string hero = slotRecord("hero", 316, 250, 230, 32);
  std::deque<Game> games;
  Game& create = games.emplace_back("create");
  create.then({{menuReady, {}}}).then(stormThen(1, menuReady, "\r")).then({{shows("名前を入力してください。"), {}}});
  create.then(stormThen(2, shows("(10文字以内)"), "", "x"))  // into the typed line, the window shrunk meanwhile
      .then({{after(0), [](PtySession& g) { g.resize(40, 10); }},
             {after(300), [](PtySession& g) { g.resize(80, 25); g.send("\x15hero\r"); }},
             {shows("このキャラクターをセーブしますか？"), {}}});
  create.then(stormThen(3, yesLit, "\r")).then({{shows("[]   戻る   []"), {}}});
  create.then(stormThen(4, boxLit(0), "\r")).then({{shows("セーブされました。"), ends(create, SIGHUP)}});

  Game& battle = games.emplace_back("battle");
  writeFile(battle.file("data1.bin"), hero);
  battle.then({{after(1000), sends(storm(5))}}).then(toLoadSlots());  // a storm during the title animation
  battle.then(stormThen(6, boxLit(0), "\r")).then({{shows("相手の名前を入力してください。"), {}}});
  battle.then(stormThen(7, shows("相手の名前を入力してください。"), "\x15" "abc\r", "x"))
      .then({{shows("BATTLE LOG"), [](PtySession& g) { g.send(storm(8)); g.resize(60, 20); }},
             {after(500), [](PtySession& g) { g.resize(80, 25); }},
             {kOpening, {}}});
  battle.then(stormThen(9, kOpening, "\r")).then({{shows("abcの攻撃"), ends(battle, SIGINT)}});

  // Too small a window at the start: the notice, a storm, then the title.
  Game& small = games.emplace_back("small window");
  small.then({{shows("80 x 25"), sends(storm(10))},
              {after(300), [](PtySession& g) { g.resize(80, 25); vterm_set_size(g.screen().raw(), 25, 80); }},
              {menuReady, sends("\x1b[A")},
              {kEndLit, sends("\r")},
              {after(0), ends(small)}});

  // A 1 MB line (sent 16 kB at a time, so the other games are read meanwhile)
  // is too long; a line of blanks is no name; bytes that are not UTF-8 and
  // characters Shift-JIS cannot hold become "?".
  Game& names = games.emplace_back("names");
  std::string chunk;
  while (chunk.size() < 16383) chunk += "あ";
  names.then(toNameEntry());
  for (std::size_t sent = 0; sent < (1u << 20); sent += chunk.size()) names.then({{after(0), sends(chunk)}});
  names.then({{after(0), sends("\r")},
              {shows("名前が長すぎます。"), sends(" \t   \r")},
              {after(500), [](PtySession& g) {
                 EXPECT_TRUE(g.screen().contains("名前が長すぎます。"));
                 g.send("a\xff\xed\xa0\x80😀é\r");
               }},
              {shows("このキャラクターをセーブしますか？"), [](PtySession& g) { EXPECT_EQ(g.screen().text(5, 4, 13), "a??????   "); }},
              {after(0), ends(names, SIGTERM)}});
  // Ctrl+D does nothing on a typed name; on the empty prompt it ends the game.
  Game& ctrlD = games.emplace_back("ctrl+d");
  ctrlD.then(toNameEntry()).then({{after(0), sends("ab\x04")},
                                  {after(300), [](PtySession& g) {
                                     EXPECT_EQ(g.screen().text(12, 31, 33), ">ab");
                                     g.send("\x15\x04");
                                   }},
                                  {after(0), ends(ctrlD)}});
  for (Game& g : games) g.name == "small window" ? g.start(60, 20) : g.start();
  drive(games);
  for (Game& g : games) expectNoStrayControls(g, g.name == "small window" ? "\b\x18\r\n" : "\b\x18");
}

}  // namespace
}  // namespace kotodama::test
