// Faults around the real game in a pseudo-terminal: stop signals at random
// moments of every screen, a save killed at every stage, and slot files that
// are damaged, change under the game, or cannot be written.
#include <fcntl.h>
#include <linux/fs.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <thread>

#include "e2e/stress_support.h"

namespace kotodama::test {
namespace {

const std::string kHero = slotRecord("hero", 316, 250, 230, 32);
const std::string kOld = slotRecord("old", 100, 100, 100, 100);
const Condition kOverwrite = shows("データを上書きしますがよろしいですか？");
const Condition kNoNotice = [](const VtermScreen& s) { return s.text(12, 20, 30) == ":::::::::::"; };
// Answers the overwrite question YES (it takes the pointer only).
const Steps kOverwriteYes = {{kOverwrite, sends(keys::mouseMove(28, 13))}, {overwriteYesLit, sends("\r")}};

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

// A fatal message stands until Enter (keys typed before it are dropped); then
// the game ends by itself.
Steps stopsAfterEnter(const Game& g) { return {{after(300), sends("\r")}, {after(0), ends(g)}}; }

TEST(FaultsEndToEnd, StopSignalsAtRandomMomentsOfEveryScreen) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  const int signals[3] = {SIGTERM, SIGINT, SIGHUP};
  std::deque<Game> games;
  const auto screen = [&](std::string name, const Steps& route, int window, const std::string& slot1 = "") {
    Game& g = games.emplace_back(std::move(name));
    if (!slot1.empty()) writeFile(g.file("data1.bin"), slot1);
    g.then(route).then({{after(static_cast<int>(random() % (window + 1u))), ends(g, signals[random() % 3], true, {kHero, kOld})}});
    g.name == "window too small" ? g.start(60, 20) : g.start();
  };
  screen("title animation", {}, 4500);
  screen("window too small", {{shows("80 x 25"), {}}}, 500);
  screen("title menu", {{menuReady, {}}}, 500);
  screen("name entry", with(toNameEntry(), {{after(0), sends("he")}}), 500);
  screen("status", toStatus("hero"), 500);
  screen("save slots", toSaveSlots("hero"), 500);
  screen("saved", with(toSaveSlots("hero"), {{after(0), sends("\r")}, {shows("セーブされました。"), {}}}), 800);
  screen("overwrite question", with(toSaveSlots("hero"), {{after(0), sends("\r")}, {kOverwrite, {}}}), 500, kOld);
  screen("load slots", toLoadSlots(), 500, kHero);
  screen("opponent name", toOpponentName(), 500, kHero);
  screen("battle", with(toOpponentName(), {{after(0), sends("abc\r")}, {shows("BATTLE LOG"), {}}}), 4000, kHero);
  // A signal the moment the save's new copy appears: the save still ends whole.
  Game& saving = games.emplace_back("saving");
  std::jthread watcher;
  saving.then(toSaveSlots("hero")).then({{after(0), [&](PtySession& g) {
                                            watcher = killOn(saving, IN_CREATE, ".tmp", SIGTERM);
                                            g.send("\r");
                                          }},
                                         {after(0), ends(saving, SIGTERM, false, {kHero})}});
  saving.start();
  drive(games);
  for (Game& g : games) expectNoStrayControls(g, g.name == "window too small" ? "\b\x18\r\n" : "\b\x18");
}

// A fighter saved over an old one, killed at each stage of the save (as the
// file system reports it) and at times around it.
TEST(FaultsEndToEnd, ASaveKilledAtAnyMomentLeavesTheOldOrTheNewFighter) {
  const std::pair<std::uint32_t, const char*> stages[] = {
      {IN_CREATE, ".tmp"}, {IN_MODIFY, ".tmp"}, {IN_CLOSE_WRITE, ".tmp"}, {IN_MOVED_TO, "data1.bin"}};
  std::deque<Game> games;
  std::deque<std::jthread> watchers;
  for (int k = 0; k < 8; ++k) {
    Game& g = games.emplace_back("kill " + std::to_string(k));
    writeFile(g.file("data1.bin"), kOld);
    g.then(toSaveSlots("hero")).then({{after(0), sends("\r")}, kOverwriteYes[0]});
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
  int caught = 0;  // kills that came while the new copy stood beside the slot
  for (Game& g : games) caught += static_cast<int>(std::ranges::count_if(entries(*g.dir), [](const std::string& n) { return n.ends_with(".tmp"); }));
  std::printf("[ killed while the new copy stood beside the slot: %d of 8 ]\n", caught);
}

TEST(FaultsEndToEnd, DamagedChangingAndLinkedSlotFiles) {
  std::deque<Game> games;
  // Every damaged kind shows a box without a fighter and loads as damaged.
  Game& damaged = games.emplace_back("damaged");
  writeFile(damaged.file("data1.bin"), kHero.substr(0, 27));
  writeFile(damaged.file("data2.bin"), kHero + "x");
  writeFile(damaged.file("data3.bin"), "twelve bytes" + kHero.substr(12));
  std::filesystem::create_directory(damaged.file("data4.bin"));
  mkfifo(damaged.file("data5.bin").c_str(), 0600);
  std::filesystem::create_symlink("/dev/zero", damaged.file("data6.bin"));
  damaged.then(toLoadSlots());
  for (int k = 0; k < 6; ++k) {
    damaged.then({{boxLit(k), [k](PtySession& g) {
                     EXPECT_EQ(g.screen().text(11 * (k / 3) + 3, 29 * (k % 3) + 4, 29 * (k % 3) + 10), "NAME : ") << k;
                     g.send("\r");
                   }},
                  {shows("セーブデータが壊れています"), {}},
                  {kNoNotice, sends("\x1b[C")}});
  }
  damaged.then({{after(0), ends(damaged, SIGTERM)}});

  // Files changed after the scan: a fighter damaged, an empty slot filled, a
  // fighter (whose name holds control bytes) removed.
  Game& changed = games.emplace_back("changed");
  writeFile(changed.file("data1.bin"), slotRecord("\x1b[2J\x07\x9b\x08", 1, 2, 3, 4));
  writeFile(changed.file("data2.bin"), kHero);
  changed.then(toLoadSlots()).then({{after(0), [&](PtySession& g) {
                                       writeFile(changed.file("data2.bin"), kHero.substr(0, 27));
                                       writeFile(changed.file("data3.bin"), kHero);
                                       std::filesystem::remove(changed.file("data1.bin"));
                                       g.send("\x1b[C");
                                     }},
                                    {boxLit(1), sends("\r")}, {shows("セーブデータが壊れています"), {}},
                                    {kNoNotice, sends("\x1b[C")}, {boxLit(2), sends("\r")}, {shows("セーブデータがありません"), {}},
                                    {kNoNotice, sends("\x1b[D")}, {boxLit(1), sends("\x1b[D")}, {boxLit(0), sends("\r")},
                                    {shows("data1.binがロードされませんでした。"), {}}});
  changed.then(stopsAfterEnter(changed));

  // A slot linked to /dev/zero is replaced by a file of its own.
  Game& linked = games.emplace_back("linked");
  std::filesystem::create_symlink("/dev/zero", linked.file("data2.bin"));
  linked.then(toSaveSlots("hero")).then({{after(0), sends("\x1b[C")}, {boxLit(1), sends("\r")}}).then(kOverwriteYes);
  linked.then({{shows("セーブされました。"), [&](PtySession&) {
                  EXPECT_EQ(fileBytes(linked.file("data2.bin")), kHero);
                  EXPECT_FALSE(std::filesystem::is_symlink(linked.file("data2.bin")));
                  EXPECT_TRUE(std::filesystem::is_character_file("/dev/zero"));
                }}});

  // A slot that turns into a folder between the scan and the save.
  Game& folder = games.emplace_back("folder");
  folder.then(toSaveSlots("hero")).then({{after(0), [&](PtySession& g) {
                                            std::filesystem::create_directory(folder.file("data1.bin"));
                                            g.send("\r");
                                          }},
                                         {shows("data1.binが開けませんでした。"), {}}});
  folder.then(stopsAfterEnter(folder));
  for (Game& g : games) g.start();
  drive(games);
  for (Game& g : games) expectNoStrayControls(g);
}

// A working folder that refuses new files, to root too (made immutable).
TEST(FaultsEndToEnd, AnUnwritableWorkingFolderStopsTheSaveAndKeepsTheOldFighter) {
  std::deque<Game> games;
  Game& g = games.emplace_back("unwritable");
  writeFile(g.file("data1.bin"), kOld);
  chmod(g.dir->path().c_str(), 0555);
  struct Thaw {
    int fd, flags = 0;
    ~Thaw() {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
      close(fd);
    }
  } thaw{open(g.dir->path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (ioctl(thaw.fd, FS_IOC_GETFLAGS, &thaw.flags) == 0) {
    int frozen = thaw.flags | FS_IMMUTABLE_FL;  // refused to root too
    ioctl(thaw.fd, FS_IOC_SETFLAGS, &frozen);
  }
  if (const int probe = open(g.file("probe").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); probe >= 0) {
    close(probe);
    unlink(g.file("probe").c_str());
    GTEST_SKIP() << "this user can write into any folder on this file system";
  }
  g.then(toSaveSlots("hero")).then({{after(0), sends("\r")}}).then(kOverwriteYes);
  g.then({{shows("data1.binが開けませんでした。"), {}}}).then(stopsAfterEnter(g));
  g.start();
  drive(games);
  EXPECT_EQ(entries(*g.dir), std::vector<std::string>{"data1.bin"});
  EXPECT_EQ(fileBytes(g.file("data1.bin")), kOld);
  expectNoStrayControls(g);
}

}  // namespace
}  // namespace kotodama::test
