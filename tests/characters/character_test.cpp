#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "characters/character.h"
#include "console/art.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

struct Stats {
  int hp, attack, defense, speed;
  bool operator==(const Stats&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Stats& s) {
  return os << "(" << s.hp << ", " << s.attack << ", " << s.defense << ", " << s.speed << ")";
}

// The fighter of a name given as raw bytes.
Stats statsOf(std::string_view bytes) {
  Character fighter{};
  std::memcpy(fighter.name, bytes.data(), bytes.size());
  computeStats(fighter, static_cast<int>(bytes.size()));
  return {fighter.hp, fighter.attack, fighter.defense, fighter.speed};
}

TEST(Stats, WorkedExamples) {
  EXPECT_EQ(statsOf(""), (Stats{100, 30, 30, 30}));
  EXPECT_EQ(statsOf("a"), (Stats{931, 235, 62, 125}));
  EXPECT_EQ(statsOf("abc"), (Stats{570, 225, 69, 61}));  // speed sums the quotients: 320 + 320 + 321
  EXPECT_EQ(statsOf("hero"), (Stats{316, 250, 230, 32}));
  EXPECT_EQ(statsOf("abcdefghij"), (Stats{795, 135, 265, 92}));
  EXPECT_EQ(statsOf("zzzzzzzzzz"), (Stats{330, 80, 220, 150}));
  // Five full-width katakana: the weighted sum is -124845, its remainder
  // -845 is negated (not lifted to 155).
  EXPECT_EQ(statsOf("\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49"), (Stats{845, 130, 120, 165}));
  EXPECT_EQ(statsOf(sjis("アイウエオ")), (Stats{845, 130, 120, 165}));
}

TEST(Stats, BytesFromHex80CountNegative) {
  // 0x83 0x41 counts -125 and 65: 123 x (-125 + 130) = 615. Read unsigned
  // it would give hp 103.
  EXPECT_EQ(statsOf("\x83\x41"), (Stats{615, 94, 128, 207}));
  // Ten 0x80 bytes: the most negative weighted sum (-865920), and a defence
  // sum that is itself negative (-480 -> 180).
  EXPECT_EQ(statsOf(std::string(10, '\x80')), (Stats{920, 80, 180, 150}));
}

TEST(Stats, RemaindersAtTheFloorStayAndBelowAreLifted) {
  EXPECT_EQ(statsOf("F~~").hp, 100);        // remainder exactly 100
  EXPECT_EQ(statsOf("F~~").attack, 43);     // from a negative sum, -13 -> 13 -> 43
  EXPECT_EQ(statsOf("!3~").hp, 199);        // 99 is lifted
  EXPECT_EQ(statsOf("!G").attack, 50);      // exactly 50
  EXPECT_EQ(statsOf("!<").attack, 79);      // 49 is lifted
  EXPECT_EQ(statsOf("!!").defense, 50);
  EXPECT_EQ(statsOf("L").defense, 79);
  EXPECT_EQ(statsOf("4").speed, 50);
  EXPECT_EQ(statsOf("!C").speed, 79);
}

TEST(Stats, DeriveClearsTheScreenAndKeepsTheColours) {
  Bench bench;
  Console& c = bench.console;
  c.setColor(15, 0);
  c.moveCursor(10, 5);
  c.print("left over");
  Character fighter{};
  std::memcpy(fighter.name, "hero", 5);
  EXPECT_EQ(deriveStats(c, fighter, 4), 0);
  c.flush();
  EXPECT_EQ(fighter.speed, 32);
  EXPECT_EQ(bench.screen().text(5, 10, 18), "         ");
  c.moveCursor(1, 1);
  c.print("x");  // still white on black
  c.flush();
  EXPECT_EQ(bench.screen().cell(1, 1).fg, 15);
  EXPECT_EQ(bench.screen().cell(1, 1).bg, 0);
}

}  // namespace
}  // namespace kotodama::test
