#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "characters/character.h"

namespace kotodama::test {
namespace {

TEST(Stats, WorkedExamplesSignedBytesAndRemainders) {
  const struct { std::string name; std::array<std::int32_t, 4> stats; } cases[] = {
      {"", {100, 30, 30, 30}}, {"a", {931, 235, 62, 125}}, {"hero", {316, 250, 230, 32}},
      {"abcdefghij", {795, 135, 265, 92}}, {"zzzzzzzzzz", {330, 80, 220, 150}},
      {"abc", {570, 225, 69, 61}},  // speed sums the quotients: 320 + 320 + 321
      // Bytes from 0x80 count negative. Five full-width katakana weigh -124845,
      // whose remainder -845 is negated (not lifted to 155); read unsigned, 83 41
      // would give hp 103; ten 0x80 bytes give the most negative sum, and a
      // negative defence sum (-480 -> 180).
      {"\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", {845, 130, 120, 165}}, {"\x83\x41", {615, 94, 128, 207}},
      {std::string(10, '\x80'), {920, 80, 180, 150}},
      // Remainders at the floor stay and those below it are lifted: hp 100 stays and
      // 99 becomes 199; attack 50 stays, 49 becomes 79, -13 becomes 43; defence and speed alike.
      {"F~~", {100, 43, 151, 101}}, {"!3~", {199, 96, 198, 262}}, {"!G", {525, 50, 204, 231}},
      {"!<", {819, 79, 251, 295}}, {"!!", {177, 292, 50, 252}}, {"L", {348, 273, 79, 176}},
      {"4", {396, 75, 127, 50}}, {"!C", {541, 86, 272, 79}},
  };
  for (const auto& c : cases) {
    Character f{};
    std::memcpy(f.name, c.name.data(), c.name.size());
    computeStats(f, static_cast<int>(c.name.size()));
    EXPECT_EQ((std::array{f.hp, f.attack, f.defense, f.speed}), c.stats) << testing::PrintToString(c.name);
  }
}

}  // namespace
}  // namespace kotodama::test
