#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "characters/character.h"
#include "characters/status_screen.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

constexpr const char* kQuestion = "このキャラクターをセーブしますか？";
constexpr const char* kWarning = "このキャラクターのデータは保存されませんがよろしいですか？";

Character fighterNamed(const char* name) {
  Character fighter{};
  std::strncpy(fighter.name, name, sizeof fighter.name);
  computeStats(fighter, static_cast<int>(strnlen(fighter.name, sizeof fighter.name)));
  return fighter;
}

// The screen as the game shows it: after name entry (white on black) and the
// clearing done by deriving the statistics.
Outcome show(Bench& bench, const Character& fighter) {
  bench.console.setColor(15, 0);
  bench.console.clearScreen(16, 16);
  return bench.run([&] { return showStatus(bench.console, fighter); });
}

bool highlighted(const VtermScreen& s, int column) { return s.cell(column, 24).bg == 12; }
bool yesLit(const VtermScreen& s) { return highlighted(s, 26) && highlighted(s, 34); }
bool noLit(const VtermScreen& s) { return highlighted(s, 49) && highlighted(s, 56); }
bool warningShown(const VtermScreen& s) { return s.text(21, 12, 69) == kWarning; }
bool questionShown(const VtermScreen& s) { return s.text(21, 12, 69) == std::string(12, ' ') + kQuestion + std::string(12, ' '); }

TEST(StatusScreen, ShowsTheFighter) {
  Bench bench;
  bench.platform.at(1000, keys::kEnter);
  const Outcome o = show(bench, fighterNamed("hero"));
  ASSERT_TRUE(returned(o, 0));
  VtermScreen& s = bench.screen();
  EXPECT_EQ(s.text(3, 1, 9), "][  NAME:");
  EXPECT_EQ(s.text(5, 1, 17), "][ hero        []");
  EXPECT_EQ(s.text(3, 61, 80), "体力     : 316  ][] ");  // column 80 is never drawn
  EXPECT_EQ(s.text(5, 61, 76), "攻撃     : 250  ");
  EXPECT_EQ(s.text(7, 61, 76), "防御     : 230  ");
  EXPECT_EQ(s.text(9, 61, 76), "すばやさ : 32   ");
  EXPECT_EQ(s.text(2, 61, 67), "[STATS]");
  // ⊂ and ⊃ take one column in a UTF-8 terminal; the blank after each keeps
  // the rest of the portrait in its columns.
  EXPECT_EQ(s.text(14, 17, 22), ":⊂ .:|");
  EXPECT_EQ(s.text(14, 30, 46), " |:. ⊃ ::::::::[]");
  EXPECT_EQ(s.text(13, 20, 21), "／");
  EXPECT_EQ(s.text(21, 1, 2), "][");
  EXPECT_EQ(s.text(21, 24, 57), kQuestion);
  EXPECT_EQ(s.text(25, 1, 80), std::string(80, ' '));
  EXPECT_EQ(s.text(24, 26, 34), "[] YES []");
  EXPECT_EQ(s.text(24, 49, 56), "[] NO []");
  // Drawn in the colours left by name entry; the buttons in their own.
  EXPECT_EQ(s.cell(20, 10).fg, 15);
  EXPECT_EQ(s.cell(20, 10).bg, 0);
  EXPECT_EQ(s.cell(72, 3).fg, 15);
  EXPECT_TRUE(yesLit(s));
  EXPECT_EQ(s.cell(26, 24).fg, 0);
  EXPECT_FALSE(highlighted(s, 49));
  EXPECT_EQ(s.cell(49, 24).fg, 15);
}

TEST(StatusScreen, FullWidthAndFullLengthNames) {
  Bench bench;
  bench.platform.at(500, keys::kEnter);
  Character fighter{};
  std::memcpy(fighter.name, "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", 11);
  computeStats(fighter, 10);
  ASSERT_TRUE(returned(show(bench, fighter), 0));
  EXPECT_EQ(bench.screen().text(5, 1, 17), "][ アイウエオ  []");
  EXPECT_EQ(bench.screen().text(3, 72, 74), "845");
  EXPECT_EQ(bench.screen().text(5, 72, 74), "130");
  EXPECT_EQ(bench.screen().text(7, 72, 74), "120");
  EXPECT_EQ(bench.screen().text(9, 72, 74), "165");
}

TEST(StatusScreen, NameWithoutItsNulShowsOnlyTheField) {
  // A record read from a slot file need not hold a NUL in its name.
  Bench bench;
  bench.platform.at(500, keys::kEnter);
  Character fighter{};
  std::memcpy(fighter.name, "ABCDEFGHIJKL", 12);
  fighter.hp = 0x41414141;  // would show as "AAAA" if the name ran on
  fighter.attack = fighter.defense = fighter.speed = 30;
  ASSERT_TRUE(returned(show(bench, fighter), 0));
  EXPECT_EQ(bench.screen().text(5, 4, 19), "ABCDEFGHIJKL[]::");
}

TEST(StatusScreen, DecliningAsksAgainAndYesConfirms) {
  Bench bench;
  auto& p = bench.platform;
  p.at(500, keys::kRight);
  p.at(1000, keys::kEnter);
  p.at(1500, keys::kEscape);  // Escape does nothing here
  p.at(2000, keys::kLeft);
  p.at(2500, keys::kEnter);
  bool sawWarning = false;
  p.when([&](const VtermScreen& s) {
    if (!warningShown(s)) return false;
    sawWarning = true;
    EXPECT_EQ(s.cell(12, 21).fg, 0);  // in the NO button's colours
    EXPECT_EQ(s.cell(12, 21).bg, 12);
    EXPECT_EQ(s.cell(68, 21).bg, 12);
    return true;
  }, "");
  const Outcome o = show(bench, fighterNamed("hero"));
  EXPECT_TRUE(returned(o, 1));
  EXPECT_TRUE(sawWarning);
  EXPECT_GE(o.time, 2500);
}

TEST(StatusScreen, NoOnTheWarningTakesItBack) {
  Bench bench;
  auto& p = bench.platform;
  p.at(500, keys::kRight);
  p.at(1000, keys::kEnter);  // warning
  p.at(2000, keys::kEnter);  // back to the question
  p.at(3000, keys::kEnter);  // warning again
  p.at(4000, keys::kLeft);
  p.at(4500, keys::kEnter);
  std::vector<std::pair<std::int64_t, bool>> seen;  // (time, warning shown) at each change
  p.when([&](const VtermScreen& s) {
    const bool warning = warningShown(s);
    if (!warning && s.text(21, 24, 57) != kQuestion) return false;  // not drawn yet
    if (seen.empty() || seen.back().second != warning) seen.emplace_back(bench.platform.clock(), warning);
    if (!warning) {
      EXPECT_TRUE(questionShown(s)) << s.row(21);  // the warning fully covered
      EXPECT_EQ(s.cell(30, 21).fg, 15);
      EXPECT_EQ(s.cell(30, 21).bg, 0);
    }
    return false;
  }, "");
  const Outcome o = show(bench, fighterNamed("hero"));
  ASSERT_TRUE(returned(o, 1));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_FALSE(seen[0].second);
  EXPECT_TRUE(seen[1].second);
  EXPECT_FALSE(seen[2].second);
  EXPECT_TRUE(seen[3].second);
  EXPECT_LT(seen[1].first, 1200);
  EXPECT_GE(seen[2].first, 2000);
  EXPECT_LT(seen[2].first, 2200);
  EXPECT_GE(seen[3].first, 3000);
  EXPECT_EQ(bench.screen().text(21, 12, 69), kWarning);
}

TEST(StatusScreen, ClicksWorkTheDialogue) {
  Bench bench;
  auto& p = bench.platform;
  p.at(300, keys::mouseMove(52, 24));  // the pointer comes to NO before the click
  p.clickAt(500, 52, 24);              // NO: warning
  p.clickAt(1500, 30, 24);  // YES on the warning: do not save
  const Outcome o = show(bench, fighterNamed("hero"));
  EXPECT_TRUE(returned(o, 1));
  EXPECT_GE(o.time, 1500);
  EXPECT_EQ(bench.screen().text(21, 12, 69), kWarning);
}

TEST(StatusScreen, PointerAreasOfTheButtons) {
  // The pointer rests at (column, row); the keyboard's highlight is on NO
  // (after Right) or still on YES. YES answers the pointer on columns 26 to
  // 35, NO on 49 to 57, both on row 24 only.
  struct Case {
    int column, row;
    bool right;
    bool yes, no;
  };
  const Case cases[] = {
      {25, 24, true, false, true}, {26, 24, true, true, false}, {35, 24, true, true, false},
      {36, 24, true, false, true}, {30, 23, true, false, true},  {48, 24, false, true, false},
      {49, 24, false, false, true}, {57, 24, false, false, true}, {58, 24, false, true, false},
      {52, 25, false, true, false},
  };
  for (const Case& c : cases) {
    Bench bench;
    if (c.right) bench.platform.at(200, keys::kRight);
    bench.platform.at(1000, keys::mouseMove(c.column, c.row));
    bench.platform.limitAt(1500);
    const Outcome o = show(bench, fighterNamed("hero"));
    ASSERT_EQ(o.kind, Outcome::TimedOut);
    EXPECT_EQ(yesLit(bench.screen()), c.yes) << c.column << "," << c.row;
    EXPECT_EQ(noLit(bench.screen()), c.no) << c.column << "," << c.row;
  }
}

TEST(StatusScreen, PointerModeLightsNothingOnceThePointerLeaves) {
  Bench bench;
  auto& p = bench.platform;
  p.at(500, keys::mouseMove(30, 24));
  p.at(1000, keys::mouseMove(40, 10));
  p.at(1500, keys::kEnter);  // nothing is highlighted: no answer
  p.at(2000, keys::kRight);  // highlights YES again
  p.at(2500, keys::kEnter);
  bool sawNothingLit = false;
  p.when([&](const VtermScreen& s) {
    if (bench.platform.clock() >= 1200 && bench.platform.clock() < 2000) {
      if (!yesLit(s) && !noLit(s)) sawNothingLit = true;
      else ADD_FAILURE() << "lit at " << bench.platform.clock();
    }
    return false;
  }, "");
  const Outcome o = show(bench, fighterNamed("hero"));
  ASSERT_TRUE(returned(o, 0));
  EXPECT_GE(o.time, 2500);
  EXPECT_TRUE(sawNothingLit);
  EXPECT_FALSE(warningShown(bench.screen()));
}

TEST(StatusScreen, KeyboardYesAndPointerOnNoLightBothUntilThePassEnds) {
  {
    // Both arrive together: that pass lights YES first and Enter answers it.
    Bench bench;
    bench.platform.at(500, keys::mouseMove(52, 24) + std::string(keys::kEnter));
    const Outcome o = show(bench, fighterNamed("hero"));
    EXPECT_TRUE(returned(o, 0));
    EXPECT_LT(o.time, 700);
  }
  {
    // The pointer alone: one pass shows both lit, from the next only NO, and
    // a later Enter answers NO.
    Bench bench;
    bench.platform.at(500, keys::mouseMove(52, 24));
    bench.platform.at(1000, keys::kEnter);
    bench.platform.at(1500, keys::mouseMove(30, 24));
    bench.platform.at(2000, keys::kEnter);
    bool sawBoth = false;
    bool sawOnlyNo = false;
    bench.platform.when([&](const VtermScreen& s) {
      if (yesLit(s) && noLit(s)) sawBoth = true;
      if (sawBoth && !yesLit(s) && noLit(s)) sawOnlyNo = true;
      return sawOnlyNo;
    }, "");
    const Outcome o = show(bench, fighterNamed("hero"));
    EXPECT_TRUE(returned(o, 1));  // warning by NO, then YES on the warning
    EXPECT_TRUE(sawBoth);
    EXPECT_TRUE(sawOnlyNo);
  }
}

TEST(StatusScreen, HeldArrowTogglesEveryHundredFiftyTicks) {
  Bench bench;
  bench.platform.holdAt(1000, keys::kRight, 2000);
  bench.platform.limitAt(3000);
  std::vector<std::int64_t> toggles;
  bool last = true;  // YES lit at the start
  bench.platform.when([&](const VtermScreen& s) {
    const bool yes = yesLit(s);
    if (yes != last) toggles.push_back(bench.platform.clock());
    last = yes;
    return false;
  }, "");
  const Outcome o = show(bench, fighterNamed("hero"));
  ASSERT_EQ(o.kind, Outcome::TimedOut);
  // From the first auto-repeat on (1500) the key stays down.
  std::vector<std::int64_t> gaps;
  for (std::size_t i = 1; i < toggles.size(); ++i) {
    if (toggles[i - 1] >= 1600 && toggles[i] <= 2900) gaps.push_back(toggles[i] - toggles[i - 1]);
  }
  ASSERT_GE(gaps.size(), 5u);
  for (std::int64_t gap : gaps) EXPECT_EQ(gap, 150);
}

}  // namespace
}  // namespace kotodama::test
