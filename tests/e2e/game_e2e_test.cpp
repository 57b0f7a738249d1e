// The real game in pseudo-terminals, for what only a real terminal shows: the
// terminal given back on every way out (END, a fatal stop, end of input, every
// stop signal at any moment, also while nobody reads the terminal), a save
// killed at any moment, output into a file, and storms of bytes on every
// screen. The games of one test play side by side, each in a thread of its own.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <tuple>

#include "support/pty_session.h"
#include "support/records.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

using Condition = std::function<bool(const VtermScreen&)>;
bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }
Condition lit(int column, int row) { return [=](const VtermScreen& s) { return s.cell(column, row).bg == 12; }; }
Condition shows(std::string text) { return [text](const VtermScreen& s) { return s.contains(text); }; }
const Condition kNamePrompt = shows("名前を入力してください。");

void pause(PtySession& g, int ms) { g.waitFor([](const VtermScreen&) { return false; }, ms); }
// Every byte but Enter and the signal keys, in order, then random ones, where
// ESC never starts a key sequence and no Ctrl+D ends a typed line; then
// sequences no terminal sends whole. No Enter, arrow or click in it; under
// 4 kB, as a terminal holds that much for a program not reading yet.
std::string storm(unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes;
  for (unsigned i = 0; bytes.size() < 2000; ++i) {
    const char b = static_cast<char>(i < 256 ? i : random());
    const bool sequence = !bytes.empty() && bytes.back() == '\x1b' && (b == '[' || b == 'O');
    if (!std::memchr("\x03\n\r\x1a\x1c", b, 5) && (i < 256 || !(b == 4 || sequence))) bytes += b;
  }
  return bytes + "\x07\x1b\\\x1b[<35;99999999999999999999;2147483648M\x1b[<35;0;0M\x1b[M#\xff\xff\x1b[" +
         std::string(300, '9') + "~\x1b]0;" + std::string(1000, 'a') + "\x07\x1bPq#0;2\x1b\\\x1b[200~paste\x1b[201~" +
         "\x1b[?1;2c\x1b[12;40R\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe3\x81\x1b[<35;1;1M";
}

// Each step waits until the screen shows its condition, then sends its bytes.
// With storms, a storm (its typed junk then wiped with Ctrl+U) comes before
// any bytes, and the screen must still be the one it was and answer them.
using Steps = std::vector<std::pair<Condition, std::string>>;
void walk(PtySession& g, const Steps& steps, unsigned storms = 0) {
  for (const auto& [until, bytes] : steps) {
    if (!g.waitFor(until, 15000)) throw std::runtime_error("stuck on\n" + g.screen().dump());
    if (storms != 0 && !bytes.empty()) {
      g.send("x" + storm(storms++) + "\x15");
      pause(g, 300);
      if (!until(g.screen())) throw std::runtime_error("a storm broke\n" + g.screen().dump());
    }
    g.send(bytes);
  }
}
// To the overwrite question over slot 1, a screen a row: the name, YES of the
// save question under the pointer, slot 1's box, YES of this one under it.
const Steps kToOverwrite = {{menuReady, "\r"}, {kNamePrompt, "hero\r"},
                            {shows("セーブしますか"), keys::mouseMove(28, 24)}, {lit(26, 24), "\r"},
                            {lit(2, 2), "\r"},
                            {shows("上書き"), keys::mouseMove(28, 13)}, {lit(25, 13), ""}};

// Plays every game at once, each in a thread of its own.
using Play = std::pair<std::string, std::function<void()>>;
void playAll(const std::vector<Play>& plays) {
  std::vector<std::jthread> games;  // joined as the function returns
  for (const Play& play : plays) {
    games.emplace_back([&play] {
      SCOPED_TRACE(play.first);
      EXPECT_NO_THROW(play.second());
    });
  }
}

const std::string kHero = bytesOf(fighter("hero", 316, 250, 230, 32));
const std::string kOld = bytesOf(fighter("old", 100, 100, 100, 100));

// The game ends with this wait status and, but after SIGKILL, gives the
// terminal back: its settings, the main screen, the caret shown, the screen
// cleared just before the alternate one is left (a terminal without one is
// left clean). Given `allowed`, the folder then holds data1.bin as one of them
// and nothing else (but copies SIGKILL leaves).
void expectEnded(PtySession& g, int status, const std::vector<std::string>& allowed = {}) {
  const std::string& out = g.output();
  EXPECT_EQ(g.waitExit(), status);
  if (status != SIGKILL) {
    EXPECT_EQ(g.settings().c_lflag & (ICANON | ECHO), static_cast<tcflag_t>(ICANON | ECHO));  // lines and echo back
    EXPECT_FALSE(g.screen().altScreen());
    EXPECT_EQ(out.substr(out.rfind("\x1b[?25"), 6), "\x1b[?25h");
    EXPECT_EQ(out.substr(out.rfind("\x1b[?1049l") - 7, 7), "\x1b[H\x1b[2J");
  }
  EXPECT_TRUE(allowed.empty() || std::ranges::find(allowed, readFile(g.folder().file("data1.bin"))) != allowed.end());
  for (const std::filesystem::path& file : std::filesystem::directory_iterator(g.folder().path()))
    EXPECT_TRUE(allowed.empty() || file.filename() == "data1.bin" || (status == SIGKILL && file.extension() == ".tmp"))
        << file;
}

// Sends Enter, then `signal` the moment a file in the folder whose name ends
// with `suffix` sees an event of `mask`.
void enterThenKillOn(PtySession& g, std::uint32_t mask, std::string_view suffix, int signal) {
  const int fd = inotify_init1(IN_CLOEXEC);
  inotify_add_watch(fd, g.folder().path().c_str(), mask);
  g.send("\r");
  alignas(inotify_event) char events[4096];
  for (pollfd p{fd, POLLIN, 0}; poll(&p, 1, 10000) > 0;) {
    const ssize_t n = read(fd, events, sizeof events);
    for (char* at = events; at < events + n; at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(at)->len) {
      if (!std::string_view(reinterpret_cast<inotify_event*>(at)->name).ends_with(suffix)) continue;
      g.kill(signal);
      return void(close(fd));
    }
  }
  close(fd);
}

// Every stop signal (SIGINT as Ctrl+C typed) at a random moment of several
// screens, after storms of bytes on each screen on the way there, each screen
// still answering its next key: the game dies by it, the terminal given back,
// slot 1 (hero) whole with no stray copy beside it. END by the mouse after a
// window too small at the start, a fatal stop, a stop while nobody reads the
// terminal: the terminal given back too. A save stopped at each stage of it
// (as the file system reports it) leaves the old fighter or the new one, and
// only the new one when the signal could wait. Output into a file (input at
// its end at once) ends with the colours reset and the caret shown.
TEST(GameEndToEnd, EveryWayOutGivesTheTerminalBackAndASaveKilledLeavesAWholeFighter) {
  std::mt19937 random(std::random_device{}());
  const std::tuple<std::string, Steps, int> moments[] = {
      {"title animation", {{[](const VtermScreen& s) { return s.altScreen(); }, "\x15"}}, 4500},  // a storm in it
      {"name entry", {{menuReady, "\r"}, {kNamePrompt, "he"}}, 500},
      {"overwrite question", kToOverwrite, 500},
      {"battle", {{menuReady, "\x1b[B"}, {lit(19, 17), "\r"}, {lit(2, 2), "\r"},
                  {shows("相手の名前を入力してください。"), "abc\r"}, {shows("BATTLE LOG"), ""}}, 4000}};
  std::vector<Play> plays;
  for (const auto& [name, route, window] : moments) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
      const int wait = static_cast<int>(random() % (window + 1u));
      plays.emplace_back(name + ": signal " + std::to_string(signal) + " after " + std::to_string(wait) + " ms",
                         [&route, wait, signal, storms = static_cast<unsigned>(plays.size()) * 10 + 1] {
                           PtySession g;
                           writeFile(g.folder().file("data1.bin"), kHero);
                           walk(g, route, storms);
                           pause(g, wait);
                           signal == SIGINT ? g.send("\x03") : g.kill(signal);
                           expectEnded(g, signal, {kHero});
                         });
    }
  }
  plays.emplace_back("END by the mouse", [] {
    PtySession g("", 60, 20);
    walk(g, {{shows("80 x 25"), storm(1)}});
    g.resize(80, 25);
    walk(g, {{menuReady, keys::mouseMove(25, 21)},
             {lit(19, 21), keys::mousePress(25, 21) + keys::mouseRelease(25, 21)}});
    expectEnded(g, 0);
  });
  plays.emplace_back("fatal stop", [] {  // slot 1 is a folder: it cannot be written
    PtySession g;
    std::filesystem::create_directory(g.folder().file("data1.bin"));
    walk(g, kToOverwrite);
    walk(g, {{lit(25, 13), "\r"}, {shows("data1.binが開けませんでした。"), ""}});
    pause(g, 500);
    g.send("\r");
    expectEnded(g, 1 << 8);
  });
  plays.emplace_back("nobody reads", [] {  // its output piled up: SIGTERM still ends it within a second
    PtySession g;
    walk(g, {{menuReady, ""}});
    for (int repaint = 0; repaint < 100; ++repaint) {  // a hundred Ctrl+L apart, so none is folded into another
      g.send("\x0c");
      usleep(10000);
    }
    g.kill(SIGTERM);
    const auto killed = std::chrono::steady_clock::now();
    while (kill(g.pid(), 0) == 0 && std::chrono::steady_clock::now() - killed < std::chrono::seconds(2)) usleep(10000);
    EXPECT_LT(std::chrono::steady_clock::now() - killed, std::chrono::seconds(1));
    EXPECT_EQ(g.waitExit(), SIGTERM);
  });
  // SIGTERM as the copy appears waits for the save; SIGKILL at a later stage leaves the old fighter or the new one.
  const std::tuple<std::uint32_t, const char*, int> stages[] = {
      {IN_CREATE, ".tmp", SIGTERM}, {IN_MODIFY, ".tmp", SIGKILL}, {IN_CLOSE_WRITE, ".tmp", SIGKILL},
      {IN_MOVED_TO, "data1.bin", SIGKILL}};
  for (const auto& [mask, suffix, signal] : stages) {
    plays.emplace_back("save stopped by signal " + std::to_string(signal) + " at event " + std::to_string(mask), [=] {
      PtySession g;
      writeFile(g.folder().file("data1.bin"), kOld);
      walk(g, kToOverwrite);
      enterThenKillOn(g, mask, suffix, signal);
      expectEnded(g, signal, signal == SIGKILL ? std::vector{kOld, kHero} : std::vector{kHero});
    });
  }
  plays.emplace_back("output into a file", [] {  // no terminal: colours and caret still undone at the end
    TempDir dir;
    EXPECT_EQ(std::system(("cd " + dir.path() + " && " KOTODAMA_BINARY " </dev/null >out").c_str()), 0);
    const std::string bytes = readFile(dir.file("out")).value_or("");
    EXPECT_NE(bytes.find("\x1b[0;1;37;40m"), std::string::npos);  // it did draw in colours
    EXPECT_TRUE(bytes.ends_with("\x1b[0m\x1b[?25h"));
  });
  playAll(plays);
}

}  // namespace
}  // namespace kotodama::test
