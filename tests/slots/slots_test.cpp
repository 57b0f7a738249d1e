// The save slots: the 28-byte files, saves that never lose the fighter
// already in a slot, files this game did not write, and the save-slot and
// load-slot screens on the scripted bench. Every test runs in a scratch
// folder of its own, made the working folder.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <ranges>

#include "slots/slot_screens.h"
#include "support/bench.h"
#include "support/golden.h"
#include "support/pty_session.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

const Character kHero = fighter({"hero\0ZZZZZZZ", 12}, 316, 250, 230, 32);  // bytes after the NUL, as memory may hold
const Character kOld = fighter("old", 111, 222, 33, 44);
const std::string kHeroFile("hero\0ZZZZZZZ\x3c\1\0\0\xfa\0\0\0\xe6\0\0\0 \0\0\0", 28);  // little-endian
const auto move = keys::mouseMove;
const std::string kEnter(keys::kEnter), kEscape(keys::kEscape), kUp(keys::kUp), kDown(keys::kDown),
    kLeft(keys::kLeft), kRight(keys::kRight);

// Storage that fails at one step of a save, with the errno the system would
// set; everything else goes to the system. It records every path opened.
struct FaultyStorage : SlotStorage {
  enum Fault { None, CreateFails, WriteShort, Interrupted, SyncFails, CloseFails, RenameFails, Gone, Unreadable } fault;
  explicit FaultyStorage(Fault f) : fault(f) {}
  int writes = 0, reads = 0;
  bool folderSynced = false;  // a folder (the working folder) was flushed
  std::vector<std::string> opened;

  static int fail(int error) { errno = error; return -1; }
  // A read-only folder refuses new files; a gone file opens once, for the
  // scan; an unreadable one (mode 0200, which root could read) never for reading.
  int open(const char* path, OpenFor mode, int permissions) override {
    opened.emplace_back(path);
    if (fault == Gone && std::strcmp(path, "data1.bin") == 0 && ++reads > 1) return fail(ENOENT);
    if (mode == OpenFor::Creating && fault == CreateFails) return fail(EROFS);
    if (mode == OpenFor::Reading && fault == Unreadable) return fail(EACCES);
    return SlotStorage::open(path, mode, permissions);
  }
  // Short: 10 bytes, then the disk is full. Interrupted: a signal, then 3 bytes at a time.
  std::ptrdiff_t write(int fd, const void* bytes, std::size_t size) override {
    if (fault == WriteShort) return ++writes == 1 ? SlotStorage::write(fd, bytes, 10) : 0;
    if (fault == Interrupted && ++writes == 1) return fail(EINTR);
    return SlotStorage::write(fd, bytes, fault == Interrupted ? std::min<std::size_t>(size, 3) : size);
  }
  int fsync(int fd) override {
    struct stat file {};
    folderSynced = folderSynced || (fstat(fd, &file) == 0 && S_ISDIR(file.st_mode));
    return fault == SyncFails ? fail(EIO) : SlotStorage::fsync(fd);
  }
  int close(int fd) override { return SlotStorage::close(fd) == 0 && fault != CloseFails ? 0 : fail(EIO); }
  int rename(const char* from, const char* to) override {
    return fault == RenameFails ? fail(EXDEV) : SlotStorage::rename(from, to);
  }
  long uniqueNumber() override { return 4242; }
};

// ------------------------------------------------------------- the files

// Exactly 28 bytes with a NUL in the name field is a fighter, taken byte for
// byte whatever its statistics (the slot-record fuzz target tries any 28
// bytes); anything else there fills its slot (the scan puts the file's bytes,
// then zeros, into fighters[index + 1]) but is never loaded: a file that
// cannot be read (mode 0200) is not an empty slot. Only regular files are
// ever opened. A save replaces anything but a folder, and keeps a file's
// permissions.
TEST(SlotFile, OnlyTwentyEightBytesWithANamedFighterAreLoaded) {
  const std::string good = bytesOf(fighter("good", 500, 100, 100, 100));
  enum Kind { kFile, kFolder, kPipe, kLink, kNothing, kUnreadable };
  const struct { std::string bytes; SlotRead read; Kind kind = kFile; } cases[] = {
      {good, SlotRead::Loaded}, {"", SlotRead::Damaged}, {good.substr(0, 5), SlotRead::Damaged},
      {good + "x", SlotRead::Damaged}, {bytesOf(fighter("ABCDEFGHIJKL", 500, 100, 100, 100)), SlotRead::Damaged},
      {"", SlotRead::Damaged, kFolder}, {"", SlotRead::Damaged, kPipe},
      {"", SlotRead::Damaged, kLink},  // to a device: never opened, and a save replaces the link, not the device
      {bytesOf(kOld), SlotRead::OpenFailed, kNothing}, {good, SlotRead::Damaged, kUnreadable},
  };
  for (const auto& c : cases) {
    const std::string what = std::to_string(c.kind) + ": " + std::to_string(c.bytes.size()) + " bytes";
    InScratchFolder folder;
    if (c.kind == kFile || c.kind == kUnreadable) writeFile("data5.bin", c.bytes);
    if (c.kind == kUnreadable) chmod("data5.bin", 0200);
    if (c.kind == kFolder) std::filesystem::create_directory("data5.bin");
    ASSERT_TRUE(c.kind != kPipe || mkfifo("data5.bin", 0600) == 0);
    if (c.kind == kLink) std::filesystem::create_symlink("/dev/zero", "data5.bin");
    FaultyStorage storage(c.kind == kUnreadable ? FaultyStorage::Unreadable : FaultyStorage::None);
    Fighters fighters;
    fighters.fill(kOld);
    const SlotState state = c.read == SlotRead::Loaded ? SlotState::Full : SlotState::Damaged;
    EXPECT_EQ(scanSlots(fighters, storage)[4], c.kind == kNothing ? SlotState::Empty : state) << what;
    const std::string read = c.kind == kUnreadable ? "" : c.bytes;
    EXPECT_EQ(bytesOf(fighters[5]), (read + std::string(28, '\0')).substr(0, 28)) << what;
    Character record = kHero;
    EXPECT_EQ(readSlot(4, record, storage), c.read) << what;
    EXPECT_EQ(bytesOf(record), c.read == SlotRead::Loaded ? c.bytes : bytesOf(kHero)) << what;
    // Reading changes nothing; saving works on anything but a folder.
    EXPECT_EQ(readFile("data5.bin"), c.kind == kFile || c.kind == kUnreadable ? std::optional(c.bytes) : std::nullopt);
    EXPECT_EQ(writeSlot(4, kHero, storage), c.kind == kFolder ? SlotWrite::OpenFailed : SlotWrite::Written) << what;
    if (c.kind != kFolder) { EXPECT_EQ(readFile("data5.bin"), bytesOf(kHero)) << what; }
    const bool other = c.kind == kFolder || c.kind == kPipe || c.kind == kLink;
    EXPECT_EQ(std::ranges::count(storage.opened, "data5.bin") == 0, other || c.kind == kNothing) << what;
    struct stat file {};
    EXPECT_TRUE(c.kind != kUnreadable || (stat("data5.bin", &file) == 0 && (file.st_mode & 0777) == 0200)) << what;
  }
}

// Whatever step of a save fails, the old file stays as it was, the new copy
// is gone, and the failure is reported with the system's reason; a copy a
// running process left behind is neither used nor removed, one of a process
// that has ended is removed. A save that works leaves exactly the 28 bytes
// with the old file's permissions, and flushes the folder after the rename.
TEST(SlotFile, AFailedSaveLeavesTheOldFileAndNothingElse) {
  using Fault = FaultyStorage::Fault;
  const std::string old = bytesOf(kOld) + std::string(72, 'x');
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const std::string stale = "data3.bin." + std::to_string(ended) + ".0.tmp";
  const std::tuple<Fault, SlotWrite, int> cases[] = {  // the errno the system gave
      {Fault::None, SlotWrite::Written, 0}, {Fault::Interrupted, SlotWrite::Written, 0},
      {Fault::CreateFails, SlotWrite::OpenFailed, EROFS}, {Fault::WriteShort, SlotWrite::WriteFailed, ENOSPC},
      {Fault::SyncFails, SlotWrite::WriteFailed, EIO}, {Fault::CloseFails, SlotWrite::WriteFailed, EIO},
      {Fault::RenameFails, SlotWrite::WriteFailed, EXDEV}};
  for (const auto& [fault, result, error] : cases) {
    for (bool hadFile : {true, false}) {
      InScratchFolder folder;
      if (hadFile) writeFile("data3.bin", old), chmod("data3.bin", 0604);
      writeFile("data3.bin.4242.0.tmp", "leftover");  // this process's number (see FaultyStorage)
      const std::string running = "data3.bin." + std::to_string(getpid()) + ".0.tmp";
      writeFile(running, "saving");
      writeFile(stale, "killed");
      FaultyStorage storage(fault);
      std::string why;
      EXPECT_EQ(writeSlot(2, kHero, storage, &why), result) << fault;
      const bool written = result == SlotWrite::Written;
      EXPECT_EQ(readFile("data3.bin"), written ? kHeroFile : hadFile ? std::optional(old) : std::nullopt) << fault;
      EXPECT_EQ(readFile("data3.bin.4242.0.tmp").value_or("") + readFile(running).value_or(""), "leftoversaving");
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), written || hadFile ? 3 : 2) << fault;
      EXPECT_EQ(storage.folderSynced, written) << fault;
      EXPECT_EQ(why, written ? "" : std::strerror(error)) << fault;
      struct stat file {};
      EXPECT_TRUE(!hadFile || (stat("data3.bin", &file) == 0 && (file.st_mode & 0777) == 0604)) << fault;
    }
  }
}

// ----------------------------------------------------------- the screens

// One of the two screens on the working folder's files, every entry of the
// fighters kOld at the start: the steps arrive 200 ticks apart from 300 on,
// and the run stops `limit` ticks after the last (0: no limit).
struct ScreenRun : Bench {
  ScreenRun(bool loading, const std::vector<std::string>& steps, std::int64_t limit) : load(loading) {
    fighters.fill(kOld);
    std::int64_t t = 100;
    for (const std::string& step : steps) platform.at(t += 200, step);
    if (limit > 0) platform.limitAt(t + limit);
  }
  Outcome run(SlotStorage& storage = systemSlotStorage()) {
    return Bench::run([&] {
      return load ? showLoadSlots(console, fighters, storage) : showSaveSlots(console, fighters, storage);
    });
  }
  // The slots whose boxes are lit, then "B" for the back button.
  std::string lit() {
    std::string out;
    for (int i = 0; i < 6; ++i) out += shown.cell(29 * (i % 3) + 2, 11 * (i / 3) + 2).bg == 12 ? std::to_string(i) : "";
    return shown.cell(65, 24).bg == 12 ? out + "B" : out;
  }
  // How often the screen printed a text (a fatal message may wrap).
  int printed(std::string_view s) {
    int n = 0;
    for (auto at = platform.output().find(s); at != std::string::npos; at = platform.output().find(s, at + s.size())) ++n;
    return n;
  }

  bool load;
  Fighters fighters;
  VtermScreen& shown = screen();
};

// The grid both screens share, run on the save screen. The move table: where Left, Right, Up and
// Down lead from every start the highlight can have (6 to 8 are the back
// button's three stops, told apart by where Down leads next; 12 and 13 what
// the pointer leaves after resting on the button or on a box). The pointer
// lights exactly the box or button under it and takes the highlight along.
// The back button leaves by Escape or a click anywhere while it is lit,
// never by Enter. The boxes show what the scan found, each within its bounds
// (the whole screen after Up): a name up to its NUL and ten bytes at most (a
// double-byte character cut there is a blank), control bytes as blanks,
// statistics too wide for the box as "#".
TEST(SlotScreens, HighlightFollowsTheMoveTableAndThePointer) {
  const struct { int from; std::vector<std::string> reach; int to[4]; } table[] = {
      {0, {}, {6, 1, 6, 3}},        {1, {kRight}, {0, 2, 7, 4}},        {2, {kRight, kRight}, {1, 3, 8, 5}},
      {3, {kDown}, {2, 4, 0, 6}},   {4, {kDown, kRight}, {3, 5, 1, 7}}, {5, {kDown, kRight, kRight}, {4, 6, 2, 8}},
      {6, {kUp}, {5, 0, 3, 0}},     {7, {kRight, kUp}, {6, 1, 4, 1}},   {8, {kRight, kRight, kUp}, {0, 2, 5, 2}},
      // The pointer left the back button, or a box.
      {12, {move(70, 24), move(25, 12)}, {4, 6, 0, 6}}, {13, {move(40, 16), move(25, 12)}, {5, 0, 1, 7}},
  };
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{move(31, 13)}, "4"}, {{move(50, 22)}, "4"}, {{move(51, 22)}, "0"},  // beside it: the keyboard's highlight
      // Off again: nothing. The back button answers past its 14 columns.
      {{move(40, 16), move(25, 12)}, ""}, {{move(83, 24)}, "B"}, {{move(84, 24)}, "0"},
      {{kUp}, "B"}, {{kEscape}, "0"}, {{kUp, kEnter}, "B"}, {{kUp, kEscape}, "left"}, {{move(80, 24), kEscape}, "left"},
      {{kUp, keys::mousePress(25, 12), keys::mouseRelease(25, 12)}, "left"},
      {{kDown, kRight, kRight, kLeft + kUp}, "1"},  // two arrows in one write: both count, in the pass's order
      {{move(65, 24), keys::mousePress(65, 24), keys::mouseRelease(65, 24)}, "left"},
  };
  const std::string arrows[4] = {kLeft, kRight, kUp, kDown};
  for (const auto& row : table) {
    for (int arrow = 0; arrow < 4; ++arrow) {
      auto& [steps, lit] = cases.emplace_back(row.reach, std::to_string(row.to[arrow] % 6));
      steps.insert(steps.end(), {arrows[arrow], row.to[arrow] >= 6 ? kDown : ""});  // Down tells the back stops apart
    }
  }
  for (const auto& [steps, lit] : cases) {
    InScratchFolder folder;
    writeFile("data1.bin", bytesOf(fighter("ABCDEFGHIJKL", INT32_MAX, -5, 0, INT32_MIN)));
    writeFile("data2.bin", bytesOf(fighter("\x1b[2J\x07\x9b\x08", 1, 2, 3, 4)));
    writeFile("data4.bin", "");  // opens, so the slot is full
    writeFile("data6.bin", bytesOf(fighter("ABCDEFGHI\x83\x41", 316, 250, 230, 32)));
    ScreenRun run(false, steps, 1000);
    EXPECT_EQ(returned(run.run(), 0) ? "left" : run.lit(), lit) << testing::PrintToString(steps);
    if (steps == std::vector<std::string>{kUp}) expectGolden(run.shown, "save-slots");
  }
}

// A click on an empty slot saves at once; on a full one, one that cannot be
// read, or one another game has saved into since the scan, it asks, and the
// question answers to the pointer only. A file that cannot be saved (with
// the system's reason), or is gone when loaded (the last cases, on the load
// screen), stops the game with a message where the cursor stood, once Enter
// is pressed or the input ends (Ctrl+D), with the failure's status either way.
TEST(SlotScreens, ChoosingASlotSavesAsksOrStops) {
  using Fault = FaultyStorage::Fault;
  // `full`: 0 empty, 1 full, 2 filled once the grid shows; `answer`: the column clicked on the
  // answer row, 0 for none; `row`: where it shows (0: a fatal message).
  const struct { int full; int answer; Fault fault; Outcome::Kind outcome; int row; std::string shows; } cases[] = {
      {0, 0, Fault::None, Outcome::Returned, 12, "[] セーブされました。[]"},
      {1, 0, Fault::None, Outcome::TimedOut, 11, "[]      データを上書きしますがよろしいですか？      []"},
      {2, 0, Fault::None, Outcome::TimedOut, 11, "[]      データを上書きしますがよろしいですか？      []"},
      {1, 25, Fault::None, Outcome::Returned, 12, "[] セーブされました。[]"},
      {1, 53, Fault::None, Outcome::TimedOut, 12, std::string(79, ':')},  // the grid whole again
      {1, 53, Fault::Unreadable, Outcome::TimedOut, 12, std::string(79, ':')},
      {1, 26, Fault::CreateFails, Outcome::Exited, 0, "data1.binが開けませんでした。(Read-only file system)"},
      {1, 26, Fault::WriteShort, Outcome::Exited, 0, "data1.binに書き込めませんでした。"},
      {1, 0, Fault::Gone, Outcome::Exited, 0, "data1.binがロードされませんでした。"},
      {1, 1, Fault::Gone, Outcome::Exited, 0, "data1.binがロードされませんでした。"},  // then Ctrl+D
  };
  for (const auto& c : cases) {
    InScratchFolder folder;
    if (c.full == 1) writeFile("data1.bin", bytesOf(kHero));
    // Keys do nothing while the question is up; the pointer then rests on YES.
    ScreenRun run(c.fault == Fault::Gone, {move(10, 5), keys::mousePress(10, 5), keys::mouseRelease(10, 5), kEnter,
                                           kEscape, kDown, kLeft, move(28, 13)}, 2000);
    if (c.answer > 1) run.platform.clickAt(1800, c.answer, 13);
    if (c.full == 2) {
      run.platform.when([](const VtermScreen& s) {
        if (!s.contains("EMPTY")) return false;
        writeFile("data1.bin", bytesOf(kHero));  // another game saves there
        return true;
      }, "");
    }
    run.platform.whenShows("でした。", c.answer == 1 ? "\x04" : kEnter, 200);
    FaultyStorage storage(c.fault);
    const Outcome o = run.run(storage);
    const bool saved = c.outcome == Outcome::Returned;
    EXPECT_EQ(readFile("data1.bin"), bytesOf(saved ? kOld : kHero)) << c.shows;
    const int status = c.outcome == Outcome::Exited ? Console::kFatalStopStatus : 0;
    EXPECT_EQ(std::pair(o.kind, o.value), std::pair(c.outcome, status)) << c.shows;
    EXPECT_TRUE(c.row > 0 ? run.shown.row(c.row).find(c.shows) != std::string::npos : run.printed(c.shows) > 0);
    EXPECT_GE(o.time, saved ? (c.answer > 0 ? 1800 : 500) + 1000 : 0);  // a second of "saved", no key needed
  }
}

// An empty slot shows the no-data notice for a second, again while Enter is
// held; a damaged one its own notice; neither loads anything. A full slot is
// read again when chosen and loads what its file holds then. Right and Enter
// in one write: the highlight moves, then the slot it lands on loads. The
// load screen prints the back button's NUL too.
TEST(SlotScreens, LoadingShowsNoticesThenLoadsTheFileAsItIsNow) {
  InScratchFolder folder;
  writeFile("data2.bin", bytesOf(fighter("ABCDEFGHIJKL", 316, 250, 230, 32)));
  writeFile("data3.bin", bytesOf(kOld));
  ScreenRun load(true, {}, 0);
  std::string notice;
  load.platform.when([&](const VtermScreen& s) {
    if (!s.contains("壊れています")) return false;
    notice = s.text(12, 12, 65) + std::to_string(s.cell(12, 10).bg);
    writeFile("data3.bin", bytesOf(kHero));  // another program replaces it after the scan
    return true;
  }, "").holdAt(300, kEnter, 2500).at(4000, kRight).at(4200, kEnter).at(5500, kRight + kEnter);
  const Outcome o = load.run();
  EXPECT_TRUE(returned(o, 1) && o.time >= 6500) << o.value << " at " << o.time;
  const auto noData = load.printed("セーブデータがありません");
  EXPECT_TRUE(noData == 2 || noData == 3) << noData;  // none once Enter is up
  EXPECT_EQ(load.printed("セーブデータが壊れています"), 1);
  EXPECT_EQ(notice, "[]            セーブデータが壊れています            []12");
  EXPECT_EQ(std::memcmp(&load.fighters[0], &kHero, sizeof kHero), 0);
  EXPECT_EQ(load.shown.text(12, 28, 50) + load.shown.text(24, 65, 80), "[] ロードされました。[][]   戻る   []  ");
}

}  // namespace
}  // namespace kotodama::test
