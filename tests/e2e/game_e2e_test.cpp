// The real game in pseudo-terminals, for what only a real terminal shows: the
// terminal given back on every way out (END, a fatal stop, end of input, every
// stop signal at any moment, also while nobody reads the terminal), a save
// killed at any moment, output into a file, storms of bytes on every screen,
// and a shell's job control around the game. The games of one test play side
// by side, each in a thread of its own.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <tuple>

#include "support/golden.h"
#include "support/pty_session.h"
#include "support/records.h"
#include "support/scripted_platform.h"

namespace kotodama::test {
namespace {

Condition lit(int column, int row) { return [=](const VtermScreen& s) { return s.cell(column, row).bg == 12; }; }
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
void walk(PtySession& g, const Steps& steps, unsigned storms = 0) {
  for (std::size_t step = 0; step < steps.size(); ++step) {
    const auto& [until, bytes] = steps[step];
    if (!g.waitFor(until, 15000)) throw std::runtime_error("stuck at step " + std::to_string(step) + "\n" + g.screen().dump());
    if (storms != 0 && !bytes.empty()) {
      g.send("x" + storm(storms++) + "\x15");
      pause(g, 300);  // then the screen shows its step again (it may be drawing a Ctrl+L of the storm)
      if (!g.waitFor(until, 15000)) throw std::runtime_error("a storm broke\n" + g.screen().dump());
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
void expectEnded(PtySession& g, int status, const std::vector<std::string>& allowed = {}, bool reading = true) {
  const std::string& out = g.output();
  EXPECT_EQ(g.waitExit(10000, reading), status);
  if (status != SIGKILL) {
    EXPECT_EQ(g.settings().c_lflag, g.found().c_lflag);  // lines and echo back
    EXPECT_FALSE(g.screen().altScreen());
    const std::size_t shown = out.rfind("\x1b[?25h"), hidden = out.rfind("\x1b[?25l"), left = out.rfind("\x1b[?1049l");
    EXPECT_TRUE(shown != out.npos && (hidden == out.npos || hidden < shown));
    EXPECT_TRUE(left != out.npos && left >= 7 && out.compare(left - 7, 7, "\x1b[H\x1b[2J") == 0);
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

// The moment of a signal below is drawn at random; KOTODAMA_SEED=n repeats a run.
const unsigned kSeed = std::getenv("KOTODAMA_SEED") ? static_cast<unsigned>(std::atol(std::getenv("KOTODAMA_SEED")))
                                                     : std::random_device{}();
constexpr int kHangUp = -1, kHangUpIgnored = -2;  // the terminal closes; started with SIGHUP and SIGINT ignored

// Every stop signal (SIGINT as Ctrl+C typed) at a random moment of a screen,
// after storms of bytes on each screen on the way there, each screen still
// answering its next key: the game dies by it, the terminal given back, slot
// 1 (hero) whole with no stray copy beside it. The terminal closing ends the
// game by SIGHUP; started with SIGHUP and SIGINT ignored, as by nohup, the
// game ends as at the end of input, Ctrl+C and SIGHUP doing nothing.
struct Moment {
  std::string name;  // as the test's name has it: title_animation, name_entry, ...
  Steps route;
  int window;
  unsigned firstStorm;
  friend void PrintTo(const Moment& m, std::ostream* out) { *out << m.name; }
};
class StopSignalEndToEnd : public testing::TestWithParam<Moment> {};
TEST_P(StopSignalEndToEnd, AtAnyMomentGivesTheTerminalBack) {
  const auto& [name, route, window, firstStorm] = GetParam();
  std::mt19937 random(kSeed + static_cast<unsigned>(window));
  std::vector<Play> plays;
  for (int way : {SIGTERM, SIGINT, SIGHUP, kHangUp, kHangUpIgnored}) {
    const int wait = static_cast<int>(random() % (window + 1u));
    plays.emplace_back(name + ", way " + std::to_string(way) + " after " + std::to_string(wait) +
                           " ms, KOTODAMA_SEED=" + std::to_string(kSeed),
                       [&route = route, wait, way, storms = way < 0 ? 0 : firstStorm + (way == SIGINT) * 10 + (way == SIGHUP) * 20] {
                         PtySession g("", 80, 25, way == kHangUpIgnored ? std::vector{SIGHUP, SIGINT} : std::vector<int>{});
                         writeFile(g.folder().file("data1.bin"), kHero);
                         walk(g, route, storms);
                         pause(g, wait);
                         // Ctrl+C alone: sent as well, SIGINT could come before the terminal's own,
                         // whose flush of pending output would then take the restore away.
                         if (way == SIGINT || way == kHangUpIgnored) g.send("\x03");
                         if (way != SIGINT && way != kHangUp) g.kill(way >= 0 ? way : SIGHUP);
                         if (way < 0) g.hangUp();
                         if (way < 0) EXPECT_EQ(g.waitExit(), way == kHangUp ? SIGHUP : 0);
                         else expectEnded(g, way, {kHero});
                       });
  }
  playAll(plays);
}
const Steps kToBattle = {{menuReady, "\x1b[B"}, {lit(19, 17), "\r"}, {lit(2, 2), "\r"},
                         {shows("相手の名前を入力してください。"), "abc\r"}, {shows("BATTLE LOG"), ""}};
INSTANTIATE_TEST_SUITE_P(Screens, StopSignalEndToEnd, testing::Values(
    Moment{"title_animation", {{[](const VtermScreen& s) { return s.altScreen(); }, "\x15"}}, 4500, 1},  // a storm in it
    Moment{"name_entry", {{menuReady, "\r"}, {kNamePrompt, "he"}}, 500, 31},
    Moment{"overwrite_question", kToOverwrite, 500, 61}, Moment{"battle", kToBattle, 4000, 91}),
    [](const testing::TestParamInfo<Moment>& moment) { return moment.param.name; });

// Started in a window too small, the game shows the notice (a storm on it
// changes nothing) until the window is large enough, then starts the title:
// the resize that ended the wait is no news, so no repaint follows the
// title's first frame. Then END by the mouse.
TEST(GameEndToEnd, AWindowTooSmallAtTheStartThenEndByTheMouse) {
  PtySession g("", 60, 20);
  std::string junk = storm(1);
  std::erase(junk, '\x0c');  // no Ctrl+L: that would draw the title again
  walk(g, {{shows("80 x 25"), junk}});
  g.resize(80, 25);
  walk(g, {{menuReady, ""}});
  EXPECT_EQ(g.output().find("\x1b[0m\x1b[?25l\x1b[H\x1b[2J"), std::string::npos);
  walk(g, {{menuReady, keys::mouseMove(25, 21)}, {lit(19, 21), keys::mousePress(25, 21) + keys::mouseRelease(25, 21)}});
  expectEnded(g, 0);
}

// A fatal stop (slot 1 is a folder: it cannot be written) ends with status 1
// at the Enter that follows its message.
TEST(GameEndToEnd, AFatalStopGivesTheTerminalBack) {
  PtySession g;
  std::filesystem::create_directory(g.folder().file("data1.bin"));
  walk(g, kToOverwrite);
  walk(g, {{lit(25, 13), "\r"}, {shows("data1.binが開けませんでした。"), ""}});
  // Input that comes before the message has been read is dropped: Enter until it ends.
  for (int i = 0; i < 100 && g.waitExit(100) < 0; ++i) g.send("\r");
  expectEnded(g, 1 << 8);
}

// A terminal that reads nothing while the game's output piles up: read only
// after SIGTERM has ended the game, it gets what it had taken, then the restore.
TEST(GameEndToEnd, TheRestoreGetsThroughATerminalThatReadsNothing) {
  PtySession g;
  walk(g, {{menuReady, ""}});
  const std::size_t read = g.output().size();
  g.send(std::string(100, '\x0c'));  // a hundred repaints
  std::string write;  // until the game has slept in one write for 200 ms: the terminal takes no more
  for (int i = 0; i < 100 && (write.empty() || write != g.blockedWrite()); ++i, usleep(200000)) write = g.blockedWrite();
  ASSERT_NE(write, "");
  g.kill(SIGTERM);
  expectEnded(g, SIGTERM, {}, false);
  EXPECT_LT(g.output().size() - read, 8192u);  // what it had not taken is dropped: no more than its own buffer
}

// A save stopped at each stage of it (as the file system reports it) leaves
// the old fighter or the new one, and only the new one when the signal could
// wait: SIGTERM as the copy appears waits for the save.
TEST(GameEndToEnd, ASaveKilledAtAnyStageLeavesAWholeFighter) {
  const std::tuple<std::uint32_t, const char*, int> stages[] = {
      {IN_CREATE, ".tmp", SIGTERM}, {IN_MODIFY, ".tmp", SIGKILL}, {IN_CLOSE_WRITE, ".tmp", SIGKILL},
      {IN_MOVED_TO, "data1.bin", SIGKILL}};
  std::vector<Play> plays;
  for (const auto& stage : stages) {
    plays.emplace_back("save stopped at stage " + std::to_string(plays.size()), [stage] {
      const auto& [mask, suffix, signal] = stage;
      PtySession g;
      writeFile(g.folder().file("data1.bin"), kOld);
      walk(g, kToOverwrite);
      enterThenKillOn(g, mask, suffix, signal);
      expectEnded(g, signal, signal == SIGKILL ? std::vector{kOld, kHero} : std::vector{kHero});
    });
  }
  playAll(plays);
}

// Output into a file (input at its end at once) ends with the colours reset and the caret shown.
TEST(GameEndToEnd, OutputIntoAFile) {
  TempDir dir;
  EXPECT_EQ(std::system(("cd " + dir.path() + " && " KOTODAMA_BINARY " </dev/null >out").c_str()), 0);
  const std::string bytes = readFile(dir.file("out")).value_or("");
  EXPECT_NE(bytes.find("\x1b[0;1;37;40m"), std::string::npos);  // it did draw in colours
  EXPECT_TRUE(bytes.ends_with("\x1b[0m\x1b[?25h"));
}

// A shell's job control, in a terminal that knows the keyboard protocol.
// Stopped (Ctrl+Z), then continued in the background (bg, or kill -CONT),
// the game leaves the shell's terminal alone and stops again; brought back
// (fg) it takes the terminal and draws the whole screen. After a stop that
// was not its own (kill -STOP), a continue draws it again too. Neither
// Ctrl+Z nor Ctrl+C leaves a key release for the shell: those the terminal
// sent before it saw the flags popped are read and dropped. Resized for real
// (TIOCSWINSZ), it shows the notice, then the screen as it was.
TEST(JobControlEndToEnd, TheTerminalIsTakenOnlyInTheForeground) {
  PtySession g;
  g.answers = [](std::string_view output) {
    std::string sent;
    if (output.find("\x1b[?u") != output.npos) sent += "\x1b[?0u";               // it knows the protocol
    if (output.find("\x1b[<u") != output.npos) sent += "\x1b[122;5:3u\x1b[2;1:3u";  // releases, crossing the pop
    return sent;
  };
  ASSERT_TRUE(g.waitFor([&](const VtermScreen& s) { return menuReady(s) && g.output().find("\x1b[>11u") != g.output().npos; }));
  const std::string before = describe(g.screen());
  const auto switches = [&] {  // how often the game has slept or stopped
    const std::string status = readFile("/proc/" + std::to_string(g.pid()) + "/status").value_or("");
    return status.substr(std::min(status.size(), status.find("voluntary_ctxt_switches")));
  };
  g.send("\x1b[122;5u");  // Ctrl+Z
  ASSERT_TRUE(g.waitFor([&](const VtermScreen& s) { return g.stopped() && !s.altScreen(); }));
  EXPECT_EQ(g.typeAhead(), "");
  g.foreground(false);
  const std::size_t released = g.output().size();
  for (int bg = 0; bg < 2; ++bg) {  // continued, then stopped again: it has run in between
    const std::string slept = switches();
    g.kill(SIGCONT);
    ASSERT_TRUE(g.waitFor([&](const VtermScreen&) { return g.stopped() && switches() != slept; }));
  }
  EXPECT_EQ(g.output().size(), released);
  EXPECT_EQ(g.settings().c_lflag, g.found().c_lflag);  // one restore puts back all the settings
  g.foreground(true);
  g.kill(SIGCONT);
  ASSERT_TRUE(g.waitFor([&](const VtermScreen& s) { return s.altScreen() && describe(s) == before; }));
  EXPECT_EQ(g.settings().c_lflag & (ICANON | ECHO), 0u);
  g.kill(SIGSTOP);
  g.waitFor([&](const VtermScreen&) { return g.stopped(); });
  g.shellWrites("\r\n[1]+  Stopped\r\n$ fg\r\n");
  ASSERT_TRUE(g.waitFor(shows("Stopped")));
  g.kill(SIGCONT);
  EXPECT_TRUE(g.waitFor([&](const VtermScreen& s) { return describe(s) == before; })) << g.screen().dump();
  g.resize(60, 20);
  ASSERT_TRUE(g.waitFor(shows("80 x 25")));
  g.resize(80, 25);
  EXPECT_TRUE(g.waitFor([&](const VtermScreen& s) { return describe(s) == before; })) << g.screen().dump();
  walk(g, {{menuReady, "\x1b[B\x1b[1;1:3B"}, {lit(19, 17), "\x1b[99;5u"}});  // still playing; then Ctrl+C
  EXPECT_EQ(g.waitExit(), SIGINT);
  EXPECT_EQ(g.typeAhead(), "");
}

}  // namespace
}  // namespace kotodama::test
