// The save-slot and load-slot screens on the scripted bench: the grid, the
// keyboard and pointer highlight, the back button, the overwrite question,
// the notices, and the fatal stops.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "slots/slot_screens.h"
#include "slots/slot_test_support.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

using namespace slotkit;
using Fault = FaultyStorage::Fault;

int boxLeft(int index) { return 29 * (index % 3) + 2; }
int boxTop(int index) { return 11 * (index / 3) + 2; }

// What is highlighted: the slot indices whose boxes are lit, then "B" for
// the back button ("" when nothing is).
std::string lit(Bench& bench) {
  std::string out;
  for (int i = 0; i < 6; ++i) {
    if (bench.screen().cell(boxLeft(i), boxTop(i)).bg == 12) out += std::to_string(i);
  }
  if (bench.screen().cell(65, 24).bg == 12) out += "B";
  return out;
}

// The fatal messages go where the cursor stands and may wrap onto the next row.
bool showsAnywhere(const VtermScreen& screen, const std::string& text) {
  std::string all = screen.dump();
  std::erase(all, '\n');
  return all.find(text) != std::string::npos;
}

enum class Screen { Save, Load };

// A screen run in a scratch folder; the script is set up before run().
struct ScreenRun {
  explicit ScreenRun(Screen s) : screen(s) { fighters.fill(fighter("before", 1, 2, 3, 4)); }
  Outcome run(SlotStorage& storage = systemSlotStorage()) {
    return bench.run([&] {
      return screen == Screen::Save ? showSaveSlots(bench.console, fighters, storage)
                                    : showLoadSlots(bench.console, fighters, storage);
    });
  }
  ScriptedPlatform& script() { return bench.platform; }
  VtermScreen& shown() { return bench.screen(); }

  Screen screen;
  Fighters fighters;
  Bench bench;
};

const Character kHero = fighter("hero", 316, 250, 230, 32);
const Character kOld = fighter("old", 111, 222, 33, 44);

// ------------------------------------------------------------------ layout

TEST(SlotScreens, GridShowsEachSlotAsTheScanFoundIt) {
  InScratchFolder folder;
  writeFile("data2.bin", bytesOf(kHero));
  writeFile("data4.bin", "");  // opens, so the slot is full
  ScreenRun save(Screen::Save);
  save.script().limitAt(500);
  EXPECT_EQ(save.run().kind, Outcome::TimedOut);
  VtermScreen& s = save.shown();

  EXPECT_EQ(lit(save.bench), "0");  // the top-left box, before any key
  EXPECT_EQ(s.text(3, 7, 15), "[ EMPTY ]");
  EXPECT_EQ(s.text(14, 65, 73), "[ EMPTY ]");
  EXPECT_EQ(s.text(2, 31, 50), "|￣￣￣￣￣￣￣￣￣|");
  EXPECT_EQ(s.text(3, 31, 50), "| NAME : hero" + std::string(6, ' ') + "|");
  EXPECT_EQ(s.text(5, 31, 50), "|==================|");
  EXPECT_EQ(s.text(7, 33, 46), "体力     : 316");
  EXPECT_EQ(s.text(8, 33, 46), "攻撃     : 250");
  EXPECT_EQ(s.text(9, 33, 46), "防御     : 230");
  EXPECT_EQ(s.text(10, 33, 46), "すばやさ : 32 ");
  EXPECT_EQ(s.text(11, 31, 50), "|__________________|");
  EXPECT_EQ(s.text(14, 2, 21), "| NAME : " + std::string(10, ' ') + "|");  // the empty file
  EXPECT_EQ(s.text(18, 4, 16), "体力     : 0 ");
  EXPECT_EQ(s.text(12, 1, 80), std::string(79, ':') + " ");
  EXPECT_EQ(s.text(24, 1, 64), std::string(64, ':'));
  EXPECT_EQ(s.text(24, 65, 80), "[]   戻る   []: ");
  EXPECT_EQ(s.cell(65, 24).fg, 15);
  EXPECT_EQ(s.cell(4, 3).fg, 0);  // the lit box's contents in its colours
  EXPECT_EQ(s.cell(4, 3).bg, 12);
}

TEST(SlotScreens, LoadScreenPrintsTheBackButtonsNulAsABlank) {
  InScratchFolder folder;
  ScreenRun load(Screen::Load);
  load.script().at(300, keys::kUp).limitAt(800);
  EXPECT_EQ(load.run().kind, Outcome::TimedOut);
  EXPECT_EQ(load.shown().text(24, 65, 80), "[]   戻る   []  ");
  EXPECT_EQ(load.shown().cell(79, 24).bg, 12);  // the NUL's cell in the button's colours
}

TEST(SlotScreens, NamesAndStatisticsStayInsideTheirBox) {
  InScratchFolder folder;
  std::string noNul = bytesOf(fighter("", INT32_MAX, -5, 0, INT32_MIN));
  noNul.replace(0, 12, "ABCDEFGHIJKL");
  writeFile("data1.bin", noNul);
  writeFile("data3.bin", bytesOf(fighter("\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", 845, 130, 120, 165)));
  std::string long11 = bytesOf(kHero);
  long11.replace(0, 12, std::string("ABCDEFGHI\x83\x41\0", 12));
  writeFile("data6.bin", long11);
  ScreenRun save(Screen::Save);
  save.script().limitAt(500);
  save.run();
  VtermScreen& s = save.shown();
  EXPECT_EQ(s.text(3, 2, 21), "| NAME : ABCDEFGHIJ|");
  EXPECT_EQ(s.text(7, 2, 21), "| 体力     : ######|");
  EXPECT_EQ(s.text(8, 2, 21), "| 攻撃     : -5    |");
  EXPECT_EQ(s.text(9, 2, 21), "| 防御     : 0     |");
  EXPECT_EQ(s.text(10, 2, 21), "| すばやさ : ######|");
  EXPECT_EQ(s.text(3, 60, 79), "| NAME : アイウエオ|");
  // Ten bytes are shown: the cut full-width character becomes one blank.
  EXPECT_EQ(s.text(14, 60, 79), "| NAME : ABCDEFGHI |");
  EXPECT_EQ(s.cell(80, 3).text, " ");
}

// --------------------------------------------------------------- navigation

struct Start {
  int selection;
  std::vector<std::string> steps;
};

// Every start the highlight can have, and how to get there from entry.
const std::vector<Start>& starts() {
  static const std::vector<Start> all = {
      {0, {}},
      {1, {std::string(keys::kRight)}},
      {2, {std::string(keys::kRight), std::string(keys::kRight)}},
      {3, {std::string(keys::kDown)}},
      {4, {std::string(keys::kDown), std::string(keys::kRight)}},
      {5, {std::string(keys::kDown), std::string(keys::kRight), std::string(keys::kRight)}},
      {6, {std::string(keys::kUp)}},
      {7, {std::string(keys::kRight), std::string(keys::kUp)}},
      {8, {std::string(keys::kRight), std::string(keys::kRight), std::string(keys::kUp)}},
      {12, {keys::mouseMove(70, 24), keys::mouseMove(25, 12)}},  // over the back button, then off
      {13, {keys::mouseMove(40, 16), keys::mouseMove(25, 12)}},  // over a box, then off
  };
  return all;
}

// Where Left, Right, Up and Down lead from each start.
int moveTo(int from, int arrow) {
  static const std::map<int, std::array<int, 4>> table = {
      {0, {6, 1, 6, 3}}, {1, {0, 2, 7, 4}}, {2, {1, 3, 8, 5}}, {3, {2, 4, 0, 6}},
      {4, {3, 5, 1, 7}}, {5, {4, 6, 2, 8}}, {6, {5, 0, 3, 0}}, {7, {6, 1, 4, 1}},
      {8, {0, 2, 5, 2}}, {12, {4, 6, 0, 6}}, {13, {5, 0, 1, 7}},
  };
  return table.at(from)[arrow];
}

// What `lit` shows for a selection: the box, or the back button for 6..8.
std::string litFor(int selection) { return selection >= 6 ? "B" : std::to_string(selection); }

TEST(SlotScreens, ArrowKeysFollowTheMoveTable) {
  const std::string_view arrows[4] = {keys::kLeft, keys::kRight, keys::kUp, keys::kDown};
  for (const Start& start : starts()) {
    for (int arrow = 0; arrow < 4; ++arrow) {
      const int to = moveTo(start.selection, arrow);
      // The back button's three values differ in where Down goes next.
      for (bool thenDown : {false, true}) {
        if (thenDown && to < 6) continue;
        InScratchFolder folder;
        ScreenRun save(Screen::Save);
        std::int64_t t = 200;
        for (const std::string& step : start.steps) save.script().at(t += 200, step);
        save.script().at(t += 200, arrows[arrow]);
        if (thenDown) save.script().at(t += 200, keys::kDown);
        save.script().limitAt(t + 200);
        ASSERT_EQ(save.run().kind, Outcome::TimedOut);
        const std::string expected = thenDown ? std::to_string(to - 6) : litFor(to);
        EXPECT_EQ(lit(save.bench), expected)
            << "from " << start.selection << " arrow " << arrow << (thenDown ? " then Down" : "");
      }
    }
  }
}

TEST(SlotScreens, ThePointerTakesTheHighlightAndGivesItBackToNothing) {
  const struct {
    std::vector<std::string> moves;
    std::string expected;
  } cases[] = {
      {{keys::mouseMove(40, 16)}, "4"},                         // only the box under it
      {{keys::mouseMove(2, 2)}, "0"},                           // its corner cell
      {{keys::mouseMove(21, 11)}, "0"},                         // and the opposite one
      {{keys::mouseMove(22, 11)}, "0"},                         // beside it: the key highlight
      {{keys::mouseMove(40, 16), keys::mouseMove(25, 12)}, ""},  // off again: nothing
      {{keys::mouseMove(78, 24)}, "B"},
      {{keys::mouseMove(83, 24)}, "B"},  // past the button's 14 columns
      {{keys::mouseMove(84, 24)}, "0"},
      {{keys::mouseMove(64, 24)}, "0"},
      {{keys::mouseMove(70, 23)}, "0"},
  };
  for (Screen screen : {Screen::Save, Screen::Load}) {
    for (const auto& c : cases) {
      InScratchFolder folder;
      ScreenRun run(screen);
      std::int64_t t = 100;
      for (const std::string& move : c.moves) run.script().at(t += 300, move);
      run.script().limitAt(t + 300);
      run.run();
      EXPECT_EQ(lit(run.bench), c.expected) << c.moves.back();
    }
  }
}

TEST(SlotScreens, BackButtonLeavesByEscapeOrClickOnlyWhileHighlighted) {
  struct Case {
    const char* what;
    std::vector<std::string> keys;
    bool leaves;
  };
  const Case cases[] = {
      {"Escape on a slot", {std::string(keys::kEscape)}, false},
      {"Up, Escape", {std::string(keys::kUp), std::string(keys::kEscape)}, true},
      {"Up, Enter", {std::string(keys::kUp), std::string(keys::kEnter)}, false},
      {"pointer on it, Escape", {keys::mouseMove(80, 24), std::string(keys::kEscape)}, true},
      {"Up, click on nothing", {std::string(keys::kUp), keys::mousePress(25, 12), keys::mouseRelease(25, 12)}, true},
      {"click on the button", {keys::mouseMove(83, 24), keys::mousePress(83, 24), keys::mouseRelease(83, 24)}, true},
  };
  for (Screen screen : {Screen::Save, Screen::Load}) {
    for (const Case& c : cases) {
      InScratchFolder folder;
      ScreenRun run(screen);
      std::int64_t t = 100;
      for (const std::string& key : c.keys) run.script().at(t += 300, key);
      run.script().limitAt(t + 1000);
      const Outcome o = run.run();
      if (c.leaves) {
        EXPECT_TRUE(returned(o, 0)) << c.what;
      } else {
        EXPECT_EQ(o.kind, Outcome::TimedOut) << c.what;
      }
      EXPECT_TRUE(folderEntries().empty()) << c.what;  // nothing saved
      EXPECT_TRUE(sameRecord(run.fighters[0], fighter("before", 1, 2, 3, 4))) << c.what;
    }
  }
}

// --------------------------------------------------------------------- save

TEST(SaveSlots, EnterOnAnEmptySlotSavesAtOnce) {
  InScratchFolder folder;
  ScreenRun save(Screen::Save);
  save.fighters[0] = kHero;
  save.script().at(300, keys::kDown).at(500, keys::kRight).at(700, keys::kRight).at(900, keys::kEnter);
  const Outcome o = save.run();
  ASSERT_TRUE(returned(o, 0));
  EXPECT_EQ(readFile("data6.bin"), bytesOf(kHero));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"data6.bin"});
  EXPECT_EQ(save.shown().text(12, 28, 50), "[] セーブされました。[]");
  EXPECT_EQ(save.shown().cell(28, 11).bg, 12);
  EXPECT_FALSE(save.shown().contains("上書き"));
  EXPECT_GE(o.time, 1900);  // a second of confirmation, no key needed
}

TEST(SaveSlots, ClickOnAnEmptySlotSavesThere) {
  InScratchFolder folder;
  ScreenRun save(Screen::Save);
  save.fighters[0] = kHero;
  // The pointer arrives before the click, as a terminal reports it.
  save.script().at(300, keys::mouseMove(40, 20)).clickAt(500, 40, 20);
  ASSERT_TRUE(returned(save.run(), 0));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"data5.bin"});
  EXPECT_EQ(readFile("data5.bin"), bytesOf(kHero));
}

// Enter on a full slot asks; the question answers to the pointer only.
void askToOverwrite(ScreenRun& save) {
  save.script()
      .at(300, keys::kEnter)
      .at(700, keys::kEnter)  // not over YES: nothing
      .at(900, keys::kEscape)
      .at(1100, keys::kDown)
      .at(1300, keys::kLeft)
      .at(1500, keys::mouseMove(28, 13));
}

TEST(SaveSlots, OverwriteQuestionIgnoresKeysUntilThePointerAnswers) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(kOld));
  ScreenRun save(Screen::Save);
  save.fighters[0] = kHero;
  askToOverwrite(save);
  save.script().limitAt(1800);
  ASSERT_EQ(save.run().kind, Outcome::TimedOut);
  EXPECT_EQ(save.shown().text(11, 12, 65), "[]      データを上書きしますがよろしいですか？      []");
  EXPECT_EQ(save.shown().text(13, 25, 33), "[] YES []");
  EXPECT_EQ(save.shown().cell(25, 13).bg, 12);  // the pointer rests on YES
  EXPECT_EQ(save.shown().text(13, 45, 52), "[] NO []");
  EXPECT_EQ(save.shown().cell(45, 13).bg, 0);
  EXPECT_EQ(readFile("data1.bin"), bytesOf(kOld));
}

TEST(SaveSlots, OverwriteYesByPointerReplacesTheFighter) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(kOld));
  ScreenRun save(Screen::Save);
  save.fighters[0] = kHero;
  askToOverwrite(save);
  save.script().clickAt(1800, 26, 13);
  ASSERT_TRUE(returned(save.run(), 0));
  EXPECT_EQ(readFile("data1.bin"), bytesOf(kHero));
  EXPECT_EQ(folderEntries(), std::vector<std::string>{"data1.bin"});
  EXPECT_EQ(save.shown().text(12, 28, 50), "[] セーブされました。[]");
}

TEST(SaveSlots, OverwriteNoByPointerKeepsTheFighterAndBrowsesOn) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(kOld));
  ScreenRun save(Screen::Save);
  save.fighters[0] = kHero;
  askToOverwrite(save);
  save.script().clickAt(1800, 52, 13);  // NO answers up to column 53
  save.script().limitAt(2600);
  ASSERT_EQ(save.run().kind, Outcome::TimedOut);
  EXPECT_EQ(readFile("data1.bin"), bytesOf(kOld));
  EXPECT_FALSE(save.shown().contains("上書き"));
  EXPECT_EQ(lit(save.bench), "0");
  EXPECT_EQ(save.shown().text(3, 4, 14), "NAME : old ");
  EXPECT_EQ(save.shown().text(12, 1, 79), std::string(79, ':'));  // the grid is whole again
}

TEST(SaveSlots, ADamagedSlotIsOverwrittenAfterTheQuestion) {
  InScratchFolder folder;
  writeFile("data1.bin", std::string(100, '\xff'));
  ScreenRun save(Screen::Save);
  save.fighters[0] = kHero;
  askToOverwrite(save);
  save.script().clickAt(1800, 30, 13);
  ASSERT_TRUE(returned(save.run(), 0));
  EXPECT_EQ(readFile("data1.bin"), bytesOf(kHero));
}

// The old fighter stays; the game says why and stops once Enter is pressed.
TEST(SaveSlots, AFailedSaveIsReportedAndStopsTheGame) {
  const struct {
    Fault fault;
    const char* message;
  } cases[] = {
      {Fault::CreateFails, "data3.binが開けませんでした。"},
      {Fault::WriteFails, "data3.binに書き込めませんでした。"},
      {Fault::WriteShort, "data3.binに書き込めませんでした。"},
      {Fault::SyncFails, "data3.binに書き込めませんでした。"},
      {Fault::RenameFails, "data3.binに書き込めませんでした。"},
  };
  for (const auto& c : cases) {
    InScratchFolder folder;
    writeFile("data3.bin", bytesOf(kOld));
    FaultyStorage storage(c.fault);
    ScreenRun save(Screen::Save);
    save.fighters[0] = kHero;
    save.script().at(300, keys::kRight).at(500, keys::kRight).at(700, keys::kEnter).clickAt(1000, 26, 13);
    save.script().whenShows("でした。", keys::kEnter, 200);
    const Outcome o = save.run(storage);
    EXPECT_EQ(o.kind, Outcome::Exited) << c.message;
    EXPECT_EQ(o.value, 0);
    EXPECT_TRUE(showsAnywhere(save.shown(), c.message)) << c.message;
    EXPECT_FALSE(save.shown().contains("セーブされました"));
    EXPECT_EQ(readFile("data3.bin"), bytesOf(kOld));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"data3.bin"});
  }
}

// --------------------------------------------------------------------- load

TEST(LoadSlots, AFullSlotLoadsEveryByteAndReturnsOne) {
  InScratchFolder folder;
  writeFile("data2.bin", bytesOf(kHero));
  ScreenRun load(Screen::Load);
  load.script().at(300, keys::kRight).at(500, keys::kEnter);
  const Outcome o = load.run();
  ASSERT_TRUE(returned(o, 1));
  EXPECT_EQ(std::memcmp(&load.fighters[0], &kHero, sizeof kHero), 0);
  EXPECT_EQ(load.shown().text(12, 28, 50), "[] ロードされました。[]");
  EXPECT_GE(o.time, 1500);
  EXPECT_EQ(readFile("data2.bin"), bytesOf(kHero));  // loading changes nothing
}

TEST(LoadSlots, LoadsTheFileAsItIsWhenChosenNotTheCopyInTheBox) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(fighter("alpha", 100, 100, 100, 100)));
  const Character beta = fighter("beta", 200, 200, 200, 200);
  ScreenRun load(Screen::Load);
  load.script().when(
      [&](const VtermScreen& s) {
        if (!s.contains("NAME : alpha")) return false;
        writeFile("data1.bin", bytesOf(beta));  // another program replaces it meanwhile
        return true;
      },
      keys::kEnter, 200);
  ASSERT_TRUE(returned(load.run(), 1));
  EXPECT_TRUE(sameRecord(load.fighters[0], beta));
  EXPECT_TRUE(sameRecord(load.fighters[1], fighter("alpha", 100, 100, 100, 100)));
}

TEST(LoadSlots, HoldingEnterOnAnEmptySlotRepeatsTheNoDataNotice) {
  InScratchFolder folder;
  ScreenRun load(Screen::Load);
  load.script().holdAt(300, keys::kEnter, 2500).at(4000, keys::kUp).at(4300, keys::kEscape);
  const Outcome o = load.run();
  ASSERT_TRUE(returned(o, 0));
  const std::string& out = load.bench.platform.output();
  int notices = 0;
  for (std::size_t at = out.find("セーブデータがありません"); at != std::string::npos;
       at = out.find("セーブデータがありません", at + 1)) {
    ++notices;
  }
  EXPECT_GE(notices, 2);
  EXPECT_LE(notices, 3);  // none once Enter is up
  EXPECT_FALSE(load.shown().contains("セーブデータがありません"));
  EXPECT_TRUE(sameRecord(load.fighters[0], fighter("before", 1, 2, 3, 4)));
}

TEST(LoadSlots, NoDataNoticeCoversTheGridThenTheGridComesBack) {
  InScratchFolder folder;
  ScreenRun load(Screen::Load);
  load.script().at(300, keys::kEnter).limitAt(800);
  load.run();
  VtermScreen& s = load.shown();
  EXPECT_EQ(s.text(10, 12, 65), "[]" + std::string(50, ' ') + "[]");
  EXPECT_EQ(s.text(11, 12, 65), "[]      　　　　　　　　　　　　　　　　　　　      []");
  EXPECT_EQ(s.text(12, 12, 65), "[]             セーブデータがありません             []");
  EXPECT_EQ(s.cell(12, 12).bg, 12);
  EXPECT_EQ(s.cell(65, 14).bg, 12);

  ScreenRun later(Screen::Load);
  later.script().at(300, keys::kEnter).limitAt(1600);
  later.run();
  EXPECT_EQ(later.shown().text(12, 1, 79), std::string(79, ':'));
  EXPECT_EQ(lit(later.bench), "0");
  EXPECT_EQ(later.shown().text(3, 7, 15), "[ EMPTY ]");
}

TEST(LoadSlots, DamagedFilesShowANoticeAndAreNeverLoaded) {
  InScratchFolder folder;
  std::string noNul = bytesOf(kHero);
  noNul.replace(0, 12, "ABCDEFGHIJKL");
  writeFile("data1.bin", noNul);
  writeFile("data2.bin", "");
  writeFile("data3.bin", bytesOf(kHero) + std::string(72, 'x'));
  std::filesystem::create_directory("data4.bin");
  writeFile("data5.bin", bytesOf(kHero).substr(0, 5));
  writeFile("data6.bin", bytesOf(kHero));
  ScreenRun load(Screen::Load);
  // Each damaged slot in turn; every notice lasts a second.
  std::int64_t t = 300;
  load.script().at(t, keys::kEnter);
  for (int k = 1; k <= 4; ++k) {
    load.script().at(t += 1500, keys::kRight);
    load.script().at(t += 200, keys::kEnter);
  }
  load.script().limitAt(t + 600);
  ASSERT_EQ(load.run().kind, Outcome::TimedOut);
  const std::string& out = load.bench.platform.output();
  int notices = 0;
  for (std::size_t at = out.find("セーブデータが壊れています"); at != std::string::npos;
       at = out.find("セーブデータが壊れています", at + 1)) {
    ++notices;
  }
  EXPECT_EQ(notices, 5);
  EXPECT_EQ(load.shown().text(12, 12, 65), "[]            セーブデータが壊れています            []");
  EXPECT_EQ(load.shown().cell(12, 12).bg, 12);
  EXPECT_TRUE(sameRecord(load.fighters[0], fighter("before", 1, 2, 3, 4)));

  // The whole file still loads from the good slot afterwards.
  ScreenRun good(Screen::Load);
  good.script().at(300, keys::kLeft).at(500, keys::kLeft).at(700, keys::kEnter);
  ASSERT_TRUE(returned(good.run(), 1));
  EXPECT_TRUE(sameRecord(good.fighters[0], kHero));
}

TEST(LoadSlots, ASlotThatVanishedAfterTheScanStopsTheGame) {
  InScratchFolder folder;
  writeFile("data1.bin", bytesOf(kHero));
  ScreenRun load(Screen::Load);
  load.script().when(
      [](const VtermScreen& s) {
        if (!s.contains("NAME : hero")) return false;
        std::filesystem::remove("data1.bin");
        return true;
      },
      keys::kEnter, 200);
  load.script().whenShows("ロードされませんでした", keys::kEnter, 200);
  const Outcome o = load.run();
  EXPECT_EQ(o.kind, Outcome::Exited);
  EXPECT_EQ(o.value, 0);
  EXPECT_TRUE(showsAnywhere(load.shown(), "data1.binがロードされませんでした。"));
  EXPECT_TRUE(sameRecord(load.fighters[0], fighter("before", 1, 2, 3, 4)));
}

}  // namespace
}  // namespace kotodama::test
