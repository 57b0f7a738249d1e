#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "characters/character.h"
#include "characters/name_entry.h"
#include "console/art.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

constexpr const char* kOwnPrompt = "名前を入力してください。";
constexpr const char* kOpponentPrompt = "相手の名前を入力してください。";
constexpr const char* kTooLong = "名前が長すぎます。";

struct Entry {
  Outcome outcome;
  std::string name;  // the field up to its NUL
};

// Runs one name entry for the player (or the opponent) on `bench`.
Entry enter(Bench& bench, int forOpponent = 0) {
  char name[12];
  std::memset(name, '#', sizeof name);
  Entry entry;
  entry.outcome = bench.run([&] { return enterName(bench.console, name, forOpponent); });
  entry.name.assign(name, strnlen(name, sizeof name));
  return entry;
}

TEST(NameEntry, DrawsTheBoxAndWaitsAtTheCaret) {
  Bench bench;
  bench.platform.whenShows(kOwnPrompt, "hero\r", 500);
  const Entry e = enter(bench);
  ASSERT_TRUE(returned(e.outcome, 4));
  EXPECT_EQ(e.name, "hero");
  VtermScreen& s = bench.screen();
  EXPECT_EQ(s.text(10, 25, 58), "[]" + std::string(6, ' ') + kOwnPrompt + "[]");
  EXPECT_EQ(s.text(10, 33, 56), kOwnPrompt);
  EXPECT_EQ(s.text(11, 25, 58), std::string("[]") + std::string(9, ' ') + "(10文字以内)" + std::string(9, ' ') + "[]");
  EXPECT_EQ(s.text(12, 25, 58), "[]    >hero" + std::string(21, ' ') + "[]");  // the echo starts at column 32
  EXPECT_EQ(s.row(1).substr(0, 4), "][][");
  EXPECT_EQ(s.text(20, 1, 4), "[]::");
  EXPECT_EQ(s.text(21, 1, 4), "[]::");
  EXPECT_EQ(s.text(24, 77, 79), "::]");  // row 24 ends "][", of which only "]" is drawn
  for (int row = 1; row <= 25; ++row) EXPECT_EQ(s.cell(80, row).text, " ") << row;  // column 80 is never drawn
  EXPECT_EQ(s.cell(40, 5).fg, 15);
  EXPECT_EQ(s.cell(40, 5).bg, 0);
  EXPECT_TRUE(s.cursorVisible());
  EXPECT_EQ(s.cursorRow(), 12);
}

TEST(NameEntry, OpponentPromptFillsTheBox) {
  Bench bench;
  bench.platform.at(100, "rival\r");
  const Entry e = enter(bench, 1);
  ASSERT_TRUE(returned(e.outcome, 5));
  EXPECT_EQ(e.name, "rival");
  EXPECT_EQ(bench.screen().text(10, 25, 58), std::string("[]") + kOpponentPrompt + "[]");
}

TEST(NameEntry, TooLongIsRefusedAndAskedAgain) {
  Bench bench;
  bench.platform.at(100, "abcdefghijk\r");  // 11 bytes
  bench.platform.endInputAt(1000);
  const Entry refused = enter(bench);
  // The refusal is on the screen while the next line is awaited; the input
  // then ends, which ends the game as END does.
  ASSERT_EQ(refused.outcome.kind, Outcome::Exited);
  EXPECT_EQ(refused.outcome.value, 0);
  EXPECT_EQ(refused.name, "############");  // nothing was written into the field
  VtermScreen& s = bench.screen();
  EXPECT_EQ(s.text(10, 25, 58), "[]" + std::string(7, ' ') + kTooLong + std::string(5, ' ') + "[]");
  EXPECT_EQ(s.text(12, 25, 58), "[]    >" + std::string(25, ' ') + "[]");  // the echo is overdrawn
  EXPECT_EQ(s.cursorColumn(), 32);
  EXPECT_EQ(s.cursorRow(), 12);
  EXPECT_FALSE(s.contains("abcdefghijk"));

  Bench again;
  again.platform.at(100, "abcdefghijk\r");
  again.platform.whenShows(kTooLong, "abcdefghij\r", 300);
  const Entry accepted = enter(again);
  ASSERT_TRUE(returned(accepted.outcome, 10));
  EXPECT_EQ(accepted.name, "abcdefghij");
  EXPECT_EQ(again.screen().text(10, 34, 51), kTooLong);  // the prompt is not drawn again
}

TEST(NameEntry, LimitCountsShiftJisBytes) {
  {
    Bench bench;
    bench.platform.at(100, "アイウエオ\r");  // typed in UTF-8: 15 bytes, 10 in Shift-JIS
    const Entry e = enter(bench);
    ASSERT_TRUE(returned(e.outcome, 10));
    EXPECT_EQ(e.name, "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49");
    EXPECT_EQ(bench.screen().text(12, 31, 42), ">アイウエオ ");
  }
  {
    Bench bench;
    bench.platform.at(100, "アイウエオカ\r");  // six: 12 bytes
    bench.platform.whenShows(kTooLong, "漢字\r", 100);
    const Entry e = enter(bench);
    ASSERT_TRUE(returned(e.outcome, 4));
    EXPECT_EQ(e.name, sjis("漢字"));
  }
}

TEST(NameEntry, TypedUtf8NameGivesTheFighterOfItsShiftJisBytes) {
  Bench bench;
  bench.platform.at(100, "アイウエオ\r");
  Character fighter{};
  const Outcome o = bench.run([&] {
    const int length = enterName(bench.console, fighter.name, 0);
    return deriveStats(bench.console, fighter, length);
  });
  ASSERT_TRUE(returned(o, 0));
  EXPECT_EQ(fighter.hp, 845);
  EXPECT_EQ(fighter.attack, 130);
  EXPECT_EQ(fighter.defense, 120);
  EXPECT_EQ(fighter.speed, 165);
}

TEST(NameEntry, ShiftJisTerminalNameIsStoredAsTyped) {
  Bench bench(TerminalEncoding::ShiftJis);
  bench.platform.at(100, "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49\r");
  const Entry e = enter(bench);
  ASSERT_TRUE(returned(e.outcome, 10));
  EXPECT_EQ(e.name, sjis("アイウエオ"));
}

TEST(NameEntry, WhatShiftJisCannotHoldIsStoredAsQuestionMark) {
  Bench bench;
  bench.platform.at(100, "aé😀b\r");
  const Entry e = enter(bench);
  ASSERT_TRUE(returned(e.outcome, 4));
  EXPECT_EQ(e.name, "a??b");
  EXPECT_EQ(bench.screen().text(12, 32, 35), "a??b");
}

TEST(NameEntry, ReadsOneTokenAndKeepsTheRestOfTheLine) {
  Bench bench;
  bench.platform.at(100, "\r   \r\t\n  ab cd\r\n");  // blank lines do not answer
  bench.platform.limitAt(60'000);
  const Entry first = enter(bench);
  ASSERT_TRUE(returned(first.outcome, 2));
  EXPECT_EQ(first.name, "ab");
  const std::int64_t before = bench.platform.clock();
  const Entry second = enter(bench, 1);  // answered without waiting
  ASSERT_TRUE(returned(second.outcome, 2));
  EXPECT_EQ(second.name, "cd");
  EXPECT_EQ(bench.platform.clock(), before);
  EXPECT_EQ(bench.screen().text(10, 27, 56), kOpponentPrompt);
  // Then the line is used up: a third entry waits for a new one.
  bench.platform.at(bench.platform.clock() + 200, "ef\r");
  const Entry third = enter(bench);
  ASSERT_TRUE(returned(third.outcome, 2));
  EXPECT_EQ(third.name, "ef");
  EXPECT_GE(bench.platform.clock(), before + 200);
}

TEST(NameEntry, BackspaceTakesBackWholeCharacters) {
  Bench bench;
  bench.platform.at(50, keys::kBackspace);  // nothing to take back: the mark stays
  bench.platform.at(100, "abc");
  bench.platform.at(200, std::string(keys::kBackspace) + std::string(keys::kBackspace));
  bench.platform.at(300, "アイ");
  bench.platform.at(400, keys::kBackspace);
  bench.platform.at(500, "ウ\r");
  const Entry e = enter(bench);
  ASSERT_TRUE(returned(e.outcome, 5));
  EXPECT_EQ(e.name, sjis("aアウ"));
  // The echo shows the line as it ends, with nothing left of what was taken back.
  EXPECT_EQ(bench.screen().text(12, 31, 45), ">aアウ" + std::string(9, ' '));
}

TEST(NameEntry, KeysTypedWhileBusyArePartOfTheLine) {
  Bench bench;
  bench.platform.at(200, "he");  // typed during the pause before the prompt
  bench.platform.at(1500, "ro\r");
  char name[12] = {};
  const Outcome o = bench.run([&] {
    bench.console.waitTicks(1000);
    return enterName(bench.console, name, 1);
  });
  ASSERT_TRUE(returned(o, 4));
  EXPECT_STREQ(name, "hero");
  EXPECT_EQ(bench.screen().text(12, 32, 35), "hero");
}

TEST(NameEntry, MouseReportsAndEscapeSequencesNeverEnterTheName) {
  Bench bench;
  bench.platform.at(100, "he" + keys::mouseMove(40, 12) + keys::mousePress(40, 12) + keys::mouseRelease(40, 12));
  bench.platform.at(200, std::string(keys::kUp) + "\x1b[15~" + "ro\r");
  const Entry e = enter(bench);
  ASSERT_TRUE(returned(e.outcome, 4));
  EXPECT_EQ(e.name, "hero");
}

TEST(NameEntry, HugeLineNeverOverrunsTheField) {
  Bench bench;
  bench.platform.keepOutput = false;
  bench.platform.at(100, std::string(1 << 20, 'x') + "\r");
  bench.platform.whenShows(kTooLong, "ok\r", 100);
  Fighters fighters{};
  fighters[0].hp = 111;
  fighters[0].speed = 444;
  std::memset(fighters[1].name, 'R', sizeof fighters[1].name);
  fighters[1].hp = 555;
  const Outcome o = bench.run([&] { return enterName(bench.console, fighters[0].name, 0); });
  ASSERT_TRUE(returned(o, 2));
  EXPECT_STREQ(fighters[0].name, "ok");
  EXPECT_EQ(fighters[0].hp, 111);
  EXPECT_EQ(fighters[0].speed, 444);
  EXPECT_EQ(std::string(fighters[1].name, 12), std::string(12, 'R'));
  EXPECT_EQ(fighters[1].hp, 555);
}

TEST(NameEntry, EndOfInputEndsTheGame) {
  {
    Bench bench;  // Ctrl+D on an empty line
    bench.platform.at(100, "\x04");
    const Entry e = enter(bench);
    EXPECT_EQ(e.outcome.kind, Outcome::Exited);
    EXPECT_EQ(e.outcome.value, 0);
  }
  {
    Bench bench;  // a closed pipe with nothing typed
    bench.platform.endInputAt(100);
    const Entry e = enter(bench);
    EXPECT_EQ(e.outcome.kind, Outcome::Exited);
    EXPECT_EQ(e.outcome.value, 0);
    EXPECT_LE(e.outcome.time, 1000);  // it does not wait on
  }
  {
    Bench bench;  // a last line without its line end still counts, as it would for scanf
    bench.platform.at(100, "hero");
    bench.platform.endInputAt(200);
    const Entry e = enter(bench);
    ASSERT_TRUE(returned(e.outcome, 4));
    EXPECT_EQ(e.name, "hero");
  }
}

}  // namespace
}  // namespace kotodama::test
