// The real game in pseudo-terminals: one whole game played through, and what
// only a real terminal shows: Ctrl+C and stop signals at any moment (the
// terminal given back every time), a save killed at any moment, and storms
// of bytes on every screen. Games of one test run side by side.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <vterm.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "support/pty_session.h"
#include "support/records.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

// ------------------------------------------------------------- the steps

Steps with(Steps steps, const Steps& more) {
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}
Action sends(std::string bytes) {
  return [bytes](PtySession& game) { game.send(bytes); };
}
bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }
Condition entryMarked(int row) {
  return [row](const VtermScreen& s) { return s.cell(19, row).text == ">"; };
}
bool yesLit(const VtermScreen& s) { return s.cell(26, 24).bg == 12; }  // the status screen's YES
bool overwriteYesLit(const VtermScreen& s) { return s.cell(25, 13).bg == 12; }
Condition boxLit(int index) {
  return [index](const VtermScreen& s) { return s.cell(29 * (index % 3) + 2, 11 * (index / 3) + 2).bg == 12; };
}
// The text on the screen, also where it runs on from one row into the next.
Condition shows(std::string text) {
  return [text](const VtermScreen& s) {
    std::string all = s.dump();
    std::erase(all, '\n');
    return all.find(text) != std::string::npos;
  };
}
// Holds `ms` after it is first asked (once the step before it is done).
Condition after(int ms) {
  auto since = std::make_shared<std::chrono::steady_clock::time_point>();
  return [ms, since](const VtermScreen&) {
    if (*since == std::chrono::steady_clock::time_point{}) *since = std::chrono::steady_clock::now();
    return std::chrono::steady_clock::now() - *since >= std::chrono::milliseconds(ms);
  };
}
const Condition kOpening = [](const VtermScreen& s) {
  return s.text(15, 8, 27) == "    ____________    " && s.text(22, 3, 5) == "abc";
};

// From the title to each screen; BATTLE loads slot 1.
Steps toNameEntry() { return {{menuReady, sends("\r")}, {shows("名前を入力してください。"), {}}}; }
Steps toStatus(const std::string& name) {
  return with(toNameEntry(), {{after(0), sends(name + "\r")}, {shows("このキャラクターをセーブしますか？"), {}}});
}
Steps toSaveSlots(const std::string& name) {
  return with(toStatus(name), {{yesLit, sends("\r")}, {shows("[]   戻る   []"), {}}});
}
Steps toLoadSlots() { return {{menuReady, sends("\x1b[B")}, {entryMarked(17), sends("\r")}, {boxLit(0), {}}}; }
Steps toOpponentName() {
  return with(toLoadSlots(), {{after(0), sends("\r")}, {shows("相手の名前を入力してください。"), {}}});
}

// ------------------------------------------------------- files and checks

const std::string kHero = bytesOf(fighter("hero", 316, 250, 230, 32));
const std::string kOld = bytesOf(fighter("old", 100, 100, 100, 100));
std::vector<std::string> entries(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The terminal's settings as `stty -g` prints them.
std::string stty(const std::string& device) {
  std::string settings(512, '\0');
  if (FILE* p = popen(("stty -g -F " + device).c_str(), "r")) {
    settings.resize(std::fread(settings.data(), 1, settings.size(), p));
    pclose(p);
  }
  return settings;
}

// After the game has ended, the terminal is as it was: its settings (those
// of a new terminal), the main screen, the caret shown (the last caret
// command the game sent; leaving the alternate screen hides it from libvterm).
void expectRestored(const Game& g) {
  static const std::string fresh = [] {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return std::string();
    const std::string settings = stty(ptsname(master));
    close(master);
    close(slave);
    return settings;
  }();
  EXPECT_EQ(stty(g.pty->device()), fresh) << g.name;
  EXPECT_FALSE(g.pty->screen().altScreen()) << g.name;
  const std::string& out = g.pty->output();
  const std::size_t caret = out.rfind("\x1b[?25");
  EXPECT_TRUE(caret != std::string::npos && out.compare(caret + 5, 1, "h") == 0) << g.name;
}

// The game ends (by `signal`, sent unless `send` is false, or by itself with
// status 0) and gives the terminal back (nothing can, after SIGKILL). When
// `allowed` is given, its folder then holds nothing but data1.bin, as one of
// them (copies left by SIGKILL aside: nothing can remove them).
Action ends(const Game& g, int signal = 0, bool send = true, std::vector<std::string> allowed = {}) {
  return [&g, signal, send, allowed](PtySession& game) {
    if (signal != 0 && send) game.kill(signal);
    EXPECT_EQ(game.waitExit(), signal) << g.name;  // the wait status: killed by the signal, or exit(0)
    if (signal != SIGKILL) expectRestored(g);
    for (const std::string& name : allowed.empty() ? std::vector<std::string>{} : entries(*g.dir)) {
      if (signal == SIGKILL && name.ends_with(".tmp")) continue;
      EXPECT_EQ(name, "data1.bin") << g.name;
      EXPECT_NE(std::ranges::find(allowed, readFile(g.file("data1.bin"))), allowed.end()) << g.name;
    }
  };
}

// ------------------------------------------------------------- the games

// Every byte but Enter and the signal keys (Ctrl+Z among them), in order;
// then random bytes of the same kinds, where ESC never starts a key sequence
// and no Ctrl+D ends a typed line; then sequences no terminal sends whole.
// Nothing in it is Enter, an arrow or a click. Under 4 kB: a terminal holds
// that much for a program not reading yet.
std::string storm(unsigned seed) {
  // Ctrl+C, Ctrl+\ and Ctrl+Z are the terminal's signals, and Enter would end the storm.
  const auto banned = [](int b) { return b == 0x03 || b == 0x0A || b == 0x0D || b == 0x1A || b == 0x1C; };
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (!banned(b)) bytes += static_cast<char>(b);
  }
  std::mt19937 random(seed);
  while (bytes.size() < 2000) {
    const int b = static_cast<int>(random() % 256);
    if (!banned(b) && b != 0x04 && !(bytes.back() == '\x1b' && (b == '[' || b == 'O'))) bytes += static_cast<char>(b);
  }
  return bytes + "\x07\x1b\\\x1b[<35;99999999999999999999;2147483648M\x1b[<35;0;0M\x1b[M#\xff\xff\x1b[" +
         std::string(300, '9') + "~\x1b]0;" + std::string(1000, 'a') + "\x07\x1bPq#0;2\x1b\\\x1b[200~paste\x1b[201~" +
         "\x1b[?1;2c\x1b[12;40R\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe3\x81\x1b[<35;1;1M";
}
Steps stormThen(unsigned seed, const Condition& stillThere, std::string next, std::string prefix = "") {
  return {{after(0), sends(prefix + storm(seed))}, {after(300), [=](PtySession& game) {
             EXPECT_TRUE(stillThere(game.screen())) << "storm " << seed << "\n" << game.screen().dump();
             game.send(next);
           }}};
}


// Title, CREATE "hero", YES, saved into slot 2; BATTLE with it against
// "abc", blow by blow to GAME OVER, which waits for Enter; back at the title,
// END by the mouse. A storm of bytes hits every screen on the way (the window
// shrunk and grown meanwhile twice), and each screen still answers its next
// key. The slot file holds exactly hero's 28 bytes throughout, and the
// shell's screen comes back.
TEST(GameEndToEnd, AWholeGameThroughStormsFromTheTitleToEnd) {
  std::deque<Game> games;
  Game& g = games.emplace_back("whole game");
  const auto inFolder = [&g](std::vector<std::string> names) {
    return [&g, names](PtySession&) {
      EXPECT_EQ(entries(*g.dir), names);
      EXPECT_EQ(readFile(g.file("data2.bin")), kHero);
    };
  };
  const auto resized = [](PtySession& p) {
    p.resize(40, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    p.resize(80, 25);
  };
  // The first storm once the game has the terminal (raw input before the alternate screen), during the animation.
  g.then({{[](const VtermScreen& s) { return s.altScreen(); }, {}}}).then(stormThen(1, after(0), "")).then({{menuReady, {}}}).then(stormThen(2, menuReady, "\r"));
  g.then({{shows("名前を入力してください。"), {}}}).then(stormThen(3, shows("(10文字以内)"), "", "x"));
  g.then({{after(0), [&](PtySession& p) { resized(p); p.send("\x15hero\r"); }}, {yesLit, {}}});
  g.then(stormThen(4, yesLit, "")).then({
      {yesLit, sends("\r")},
      {[](const VtermScreen& s) { return boxLit(0)(s) && s.text(3, 36, 44) == "[ EMPTY ]"; }, {}}});
  g.then(stormThen(5, boxLit(0), "\x1b[C")).then({
      {boxLit(1), sends("\r")},
      {shows("[] セーブされました。[]"), {}},
      {menuReady, [&](PtySession& p) { inFolder({"data2.bin"})(p); p.send("\x1b[B"); }},
      {entryMarked(17), sends("\r")},
      {[](const VtermScreen& s) { return s.text(3, 31, 50) == "| NAME : hero      |"; }, {}}});
  g.then(stormThen(6, boxLit(0), "\x1b[C")).then({{boxLit(1), sends("\r")}, {shows("相手の名前を入力してください。"), {}}});
  g.then(stormThen(7, shows("相手の名前を入力してください。"), "\x15" "abc\r", "x"));
  g.then({{shows("BATTLE LOG"), [&](PtySession& p) { p.send(storm(8)); resized(p); }},
          {kOpening, [](PtySession& p) {
             EXPECT_EQ(p.screen().text(4, 3, 30) + p.screen().text(16, 50, 77),
                       " abc        | HP 570 /  570 HP 316 /  316  |hero        ");
           }}});
  g.then(stormThen(9, kOpening, "")).then({
      {after(0), [](PtySession& p) {
         for (const char* attacker : {"abc", "hero", "abc"}) {  // abc (speed 61) is faster than hero (32)
           const std::string before = p.screen().text(23, 3, 77);
           p.send("\r");
           EXPECT_TRUE(p.waitFor([&](const VtermScreen& s) {
             return s.text(23, 3, 77) != before && s.text(23, 3, 77).find("のダメージを受けた") != std::string::npos;
           }));
           EXPECT_EQ(trimmed(p.screen().text(22, 3, 77)), std::string(attacker) + "の攻撃");
         }
         p.send("\r");  // hero falls
       }},
      {shows("[]          ###      ##       ##   #########    ########         []"), {}},
      {after(700), [](PtySession& p) {
         EXPECT_EQ(p.screen().cell(6, 3).bg, 12);  // still there: it waits for Enter
         p.send("\r");
       }},
      {menuReady, [&](PtySession& p) { inFolder({"data2.bin"})(p); p.send(keys::mouseMove(25, 21)); }},
      {[](const VtermScreen& s) { return s.cell(19, 21).bg == 12 && s.cell(19, 13).bg != 12; },
       sends(keys::mousePress(25, 21) + keys::mouseRelease(25, 21))},
      {after(0), ends(g)},
  });
  g.start();
  g.pty->screen().feed("shell prompt $ ");
  drive(games);
  EXPECT_EQ(g.pty->screen().text(1, 1, 15), "shell prompt $ ");
}

// Sends `signal` to the game the moment a file in its folder whose name ends
// with `suffix` sees an event of `mask`.
std::jthread killOn(const Game& g, std::uint32_t mask, std::string suffix, int signal) {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  inotify_add_watch(fd, g.dir->path().c_str(), mask);
  return std::jthread([=, pid = g.pty->pid()](std::stop_token stop) {
    alignas(inotify_event) char events[4096];
    for (pollfd p{fd, POLLIN, 0}; !stop.stop_requested() && poll(&p, 1, 20) >= 0;) {
      for (ssize_t n; (n = read(fd, events, sizeof events)) > 0;) {
        for (char* at = events; at < events + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
          if (!std::string_view(reinterpret_cast<inotify_event*>(at)->name).ends_with(suffix)) continue;
          kill(pid, signal);
          return void(close(fd));
        }
      }
    }
    close(fd);
  });
}

// Ctrl+C typed on the title menu, and each stop signal at random moments of
// several screens: the game dies by the signal with the terminal given back
// and no stray copy beside a slot; Ctrl+D on an empty name ends it, restored
// too. A signal the moment a save's new copy
// appears waits until the save has ended whole. A window too small at the
// start shows a notice (a storm meanwhile) until it is large enough.
TEST(GameEndToEnd, StopSignalsAtAnyMomentGiveTheTerminalBack) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::deque<Game> games;
  const auto screen = [&](std::string name, const Steps& route, int window, const std::string& slot1 = "") {
    Game& g = games.emplace_back(std::move(name));
    if (!slot1.empty()) writeFile(g.file("data1.bin"), slot1);
    const int signal = std::array{SIGTERM, SIGINT, SIGHUP}[games.size() % 3];
    g.then(route).then({{after(static_cast<int>(random() % (window + 1u))), ends(g, signal, true, {kHero, kOld})}});
    g.start();
  };
  for (int k = 0; k < 3; ++k) {
    screen("title animation", {}, 4500);
    screen("name entry", with(toNameEntry(), {{after(0), sends("he")}}), 500);
  }
  screen("overwrite question", with(toSaveSlots("hero"), {{after(0), sends("\r")}, {shows("上書き"), {}}}), 500, kOld);
  screen("battle", with(toOpponentName(), {{after(0), sends("abc\r")}, {shows("BATTLE LOG"), {}}}), 4000, kHero);
  Game& ctrlC = games.emplace_back("ctrl+c");
  ctrlC.then({{menuReady, sends("\x03")}, {after(0), ends(ctrlC, SIGINT, false)}}).start();
  Game& ctrlD = games.emplace_back("ctrl+d");  // on the empty name prompt: the game ends by itself
  ctrlD.then(toNameEntry()).then({{after(0), sends("\x04")}, {after(0), ends(ctrlD)}}).start();
  Game& saving = games.emplace_back("saving");
  std::jthread watcher;
  saving.then(toSaveSlots("hero")).then({{after(0), [&](PtySession& g) {
                                            watcher = killOn(saving, IN_CREATE, ".tmp", SIGTERM);
                                            g.send("\r");
                                          }},
                                         {after(0), ends(saving, SIGTERM, false, {kHero})}});
  saving.start();
  Game& small = games.emplace_back("small window");
  small.then({{shows("80 x 25"), sends(storm(10))},
              {after(300), [](PtySession& g) { g.resize(80, 25); }},
              {menuReady, sends("\x1b[A")},
              {entryMarked(21), sends("\r")},
              {after(0), ends(small)}});
  small.start(60, 20);
  drive(games);
}

// A fighter saved over an old one, killed at each stage of the save (as the
// file system reports it) and at times around it: the slot holds the old
// fighter or the new one, whole.
TEST(GameEndToEnd, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFighter) {
  const std::pair<std::uint32_t, const char*> stages[] = {
      {IN_CREATE, ".tmp"}, {IN_MODIFY, ".tmp"}, {IN_CLOSE_WRITE, ".tmp"}, {IN_MOVED_TO, "data1.bin"}};
  std::deque<Game> games;
  std::deque<std::jthread> watchers;
  for (int k = 0; k < 8; ++k) {
    Game& g = games.emplace_back("kill " + std::to_string(k));
    writeFile(g.file("data1.bin"), kOld);
    g.then(toSaveSlots("hero")).then({{after(0), sends("\r")}, {shows("上書き"), sends(keys::mouseMove(28, 13))}});
    g.then({{overwriteYesLit, [&, k](PtySession& game) {
               if (k < 4) watchers.push_back(killOn(g, stages[k].first, stages[k].second, SIGKILL));
               game.send("\r");
               if (k < 4) return;
               std::this_thread::sleep_for(std::chrono::milliseconds(20 * k - 75));  // 5 to 65 ms
               game.kill(SIGKILL);
             }},
            {after(0), ends(g, SIGKILL, false, {kOld, kHero})}});
    g.start();
  }
  drive(games);
}

}  // namespace
}  // namespace kotodama::test
