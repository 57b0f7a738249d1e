#include "game/title_menu.h"

#include <gtest/gtest.h>

#include <string>

#include "support/bench.h"

namespace kotodama::test {
namespace {

constexpr std::int64_t kMenuReady = 5070;  // ticks of animation before the menu answers

Outcome runTitle(Bench& bench) {
  return bench.run([&] { return showTitleMenu(bench.console); });
}

// A box as the terminal shows it from column 12.
const std::string kBoxTop = "[]￣￣￣￣￣￣￣￣￣|";
const std::string kBoxBottom = "[]__________________|";

bool highlighted(const VtermScreen& s, int middleRow) {
  return s.cell(12, middleRow).bg == 12 && s.cell(12, middleRow).fg == 0 && s.cell(19, middleRow).text == ">";
}

TEST(TitleAnimation, EnterAtTheFirstPossibleMomentChoosesCreate) {
  Bench bench;
  bench.platform.at(kMenuReady, keys::kEnter);
  const Outcome outcome = runTitle(bench);
  EXPECT_TRUE(returned(outcome, kChoiceCreate));
  EXPECT_EQ(outcome.time, kMenuReady);
}

TEST(TitleAnimation, KeysTappedDuringTheAnimationDoNotCount) {
  Bench bench;
  bench.platform.at(2000, keys::kDown).at(4900, keys::kEnter).at(6000, keys::kEnter);
  const Outcome outcome = runTitle(bench);
  EXPECT_TRUE(returned(outcome, kChoiceCreate));
  EXPECT_GE(outcome.time, 6000);
}

TEST(TitleAnimation, AKeyStillHeldWhenTheMenuStartsCounts) {
  Bench bench;
  bench.platform.holdAt(4000, keys::kEnter, 2000);
  const Outcome outcome = runTitle(bench);
  EXPECT_TRUE(returned(outcome, kChoiceCreate));
  EXPECT_EQ(outcome.time, kMenuReady);
}

TEST(TitleAnimation, FramesAsTheTerminalShowsThem) {
  struct Case {
    const char* what;
    std::int64_t at;  // virtual time at which the screen is read
    int row, from, to;
    std::string text;
  };
  const std::int64_t boxesIn = 1550, boxesSlide = 1550 + 21 * 80, logo = 1550 + 33 * 80;
  const Case cases[] = {
      // Frames 1 to 3 of the rising background: its rows 1 to 3 at the bottom.
      {"background row 1", 125, 23, 1, 4, "[]::"},
      {"background row 3", 125, 25, 1, 4, "[]::"},
      {"nothing above", 125, 22, 1, 80, std::string(80, ' ')},
      // Box frame 2: the last two bytes of each row, cut inside a "￣" (its
      // trail byte is an ASCII "P").
      {"cut top row", boxesIn + 2 * 80 + 40, 12, 1, 3, "P|:"},
      {"cut middle row", boxesIn + 2 * 80 + 40, 13, 1, 3, " |:"},
      {"cut bottom row", boxesIn + 2 * 80 + 40, 14, 1, 3, "_|:"},
      // Slide frame 5: boxes at column 5, their trail wiped with background.
      {"slid top row", boxesSlide + 4 * 80 + 40, 16, 1, 6, "][::[]"},
      {"slid middle row", boxesSlide + 4 * 80 + 40, 17, 1, 8, "[]::][  "},
      // Logo frame 3: logo rows 8 to 10 in screen rows 1 to 3.
      {"logo row 8", logo + 3 * 80 + 40, 1, 15, 22, "][   ## "},
      {"logo row 10", logo + 3 * 80 + 40, 3, 15, 18, "[]  "},
      {"below the logo", logo + 3 * 80 + 40, 4, 15, 18, "::::"},
  };
  for (const Case& c : cases) {
    Bench bench;
    bench.platform.limitAt(c.at);
    runTitle(bench);
    EXPECT_EQ(bench.screen().text(c.row, c.from, c.to), c.text) << c.what;
    EXPECT_EQ(bench.screen().cell(c.from, c.row).fg, 15) << c.what;  // all in white on black
  }
}

TEST(TitleScreen, FinalScreenHasEveryPieceInPlace) {
  Bench bench;
  bench.platform.limitAt(kMenuReady + 10);
  runTitle(bench);
  const VtermScreen& s = bench.screen();
  for (int row = 1; row <= 25; ++row) {
    EXPECT_EQ(s.cell(80, row).text, " ") << "column 80 is never written, row " << row;
    EXPECT_EQ(s.cell(1, row).fg, 15) << row;
  }
  // Logo: rows 1 to 10, columns 15 to 64.
  EXPECT_EQ(s.text(1, 13, 17), "::[] ");
  EXPECT_EQ(s.text(1, 63, 66), "[]::");
  EXPECT_EQ(s.text(10, 15, 16), "[]");
  EXPECT_EQ(s.text(11, 15, 16), "::");
  // Boxes at column 12 with their words; CREATE highlighted with its mark.
  for (int top : {12, 16, 20}) {
    EXPECT_EQ(s.text(top, 12, 32), kBoxTop) << top;
    EXPECT_EQ(s.text(top + 2, 12, 32), kBoxBottom) << top;
  }
  EXPECT_EQ(s.text(12, 33, 33), ":");  // the background goes on right of the boxes
  EXPECT_EQ(s.text(16, 33, 33), ":");
  EXPECT_EQ(s.text(20, 33, 34), "  ");
  EXPECT_EQ(s.text(13, 12, 32), "][     >CREATE      |");
  EXPECT_EQ(s.text(17, 12, 32), "][      BATTLE      |");
  EXPECT_EQ(s.text(21, 12, 32), "][      END         |");
  EXPECT_TRUE(highlighted(s, 13));
  EXPECT_EQ(s.cell(20, 17).bg, 0);
  EXPECT_EQ(s.cell(20, 17).fg, 15);
  // The credit row names the game.
  EXPECT_EQ(s.text(25, 1, 17), "[]:::::::::::::::");
  EXPECT_NE(s.row(25).find("KOTODAMA []"), std::string::npos);
}

TEST(TitleMenu, ArrowsMoveAndWrap) {
  struct Case {
    std::vector<std::string_view> keys;
    int choice;
  };
  const Case cases[] = {
      {{}, kChoiceCreate},
      {{keys::kDown}, kChoiceBattle},
      {{keys::kDown, keys::kDown}, kChoiceEnd},
      {{keys::kUp}, kChoiceEnd},
      {{keys::kDown, keys::kDown, keys::kDown}, kChoiceCreate},
      {{keys::kUp, keys::kUp}, kChoiceBattle},
  };
  for (const Case& c : cases) {
    Bench bench;
    std::int64_t t = 6000;
    for (std::string_view key : c.keys) bench.platform.at(t += 300, key);
    bench.platform.at(t + 300, keys::kEnter);
    EXPECT_TRUE(returned(runTitle(bench), c.choice)) << c.keys.size();
  }
}

TEST(TitleMenu, OneTapMovesOnceAndHoldingMovesAboutEvery100Ticks) {
  Bench bench;
  bench.platform.at(6000, keys::kDown);
  bench.platform.limitAt(6500);
  runTitle(bench);
  EXPECT_TRUE(highlighted(bench.screen(), 17));
  EXPECT_FALSE(highlighted(bench.screen(), 21));

  // Held for 1.1 s: a move at the press (pass 6020), then one per 100-tick
  // pass while the terminal repeats the key (6500 to 7094): passes 6520 to
  // 7120, seven more. Eight moves from CREATE land on END.
  Bench held;
  held.platform.holdAt(6000, keys::kDown, 1100);
  held.platform.at(8000, keys::kEnter);
  EXPECT_TRUE(returned(runTitle(held), kChoiceEnd));
}

TEST(TitleMenu, PointerHighlightsAndClickChooses) {
  Bench bench;
  bench.platform.at(6000, keys::mouseMove(20, 21));
  bench.platform.at(7000, keys::mousePress(20, 21)).at(7050, keys::mouseRelease(20, 21));
  bench.platform.when(
      [](const VtermScreen& s) { return highlighted(s, 21) && !highlighted(s, 13); }, "", 0);
  const Outcome outcome = runTitle(bench);
  EXPECT_TRUE(returned(outcome, kChoiceEnd));
  EXPECT_EQ(outcome.time, 7020);  // the first pass after the press (passes every 50 ticks from 5070)
}

TEST(TitleMenu, PointerAreaIsExactlyTheBox) {
  struct Case {
    int column, row;
    bool onEnd;
  };
  for (const Case c : {Case{12, 20, true}, Case{32, 22, true}, Case{33, 21, false}, Case{20, 19, false},
                       Case{20, 23, false}, Case{11, 21, false}}) {
    Bench bench;
    bench.platform.at(6000, keys::mouseMove(c.column, c.row));
    bench.platform.limitAt(6200);
    runTitle(bench);
    EXPECT_EQ(bench.screen().cell(13, 21).bg == 12, c.onEnd) << c.column << "," << c.row;
  }
}

TEST(TitleMenu, PointerModeLeavesNothingChosenUntilAnArrow) {
  Bench bench;
  bench.platform.at(6000, keys::mouseMove(20, 17));  // onto BATTLE
  bench.platform.at(6200, keys::mouseMove(50, 17));  // off every box
  bench.platform.at(6400, keys::kEnter);             // nothing highlighted: ignored
  bench.platform.at(6600, keys::kDown);              // from pointer mode Down goes to CREATE
  bench.platform.at(6800, keys::kEnter);
  bench.platform.when([](const VtermScreen& s) { return s.cell(19, 17).text == ">"; }, "");
  const Outcome outcome = runTitle(bench);
  EXPECT_TRUE(returned(outcome, kChoiceCreate));
  EXPECT_GE(outcome.time, 6800);

  Bench up;
  up.platform.at(6000, keys::mouseMove(20, 21)).at(6200, keys::mouseMove(50, 2));
  up.platform.at(6400, keys::kUp).at(6600, keys::kEnter);  // from pointer mode Up goes to BATTLE
  EXPECT_TRUE(returned(runTitle(up), kChoiceBattle));
}

TEST(TitleMenu, PointerBelowTheKeyboardChoiceHighlightsBothAndEnterTakesTheKeyboardOne) {
  Bench bench;
  // CREATE is the keyboard choice; the pointer rests on END. In the pass
  // where both arrive together, Enter answers with CREATE.
  bench.platform.at(6000, keys::mouseMove(20, 21) + std::string(keys::kEnter));
  EXPECT_TRUE(returned(runTitle(bench), kChoiceCreate));

  // Pointer above the keyboard choice: the pointer's entry wins at once.
  Bench above;
  above.platform.at(6000, keys::kDown).at(6300, keys::kDown);  // END
  above.platform.at(6600, keys::mouseMove(20, 17) + std::string(keys::kEnter));
  EXPECT_TRUE(returned(runTitle(above), kChoiceBattle));
}

}  // namespace
}  // namespace kotodama::test
