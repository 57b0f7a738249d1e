#pragma once
// A fighter: a name and four numbers, the numbers a pure function of the name.
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace kotodama {

class Console;

// The 28-byte fighter record, kept byte for byte in the slot files
// (little-endian): the name (at most 10 bytes of Shift-JIS or ASCII, then a
// NUL; the bytes after the NUL mean nothing), then four signed 32-bit values.
struct Character {
  char name[12];
  std::int32_t hp;
  std::int32_t attack;
  std::int32_t defense;
  std::int32_t speed;
};
static_assert(sizeof(Character) == 28);
static_assert(std::is_standard_layout_v<Character> && std::is_trivially_copyable_v<Character>);
static_assert(offsetof(Character, name) == 0);
static_assert(offsetof(Character, hp) == 12);
static_assert(offsetof(Character, attack) == 16);
static_assert(offsetof(Character, defense) == 20);
static_assert(offsetof(Character, speed) == 24);

// The longest name, in bytes.
constexpr int kNameLimit = 10;

// Fills hp, attack, defense and speed from the first `length` bytes of the
// name (0..10), each byte read as a signed 8-bit value.
void computeStats(Character& fighter, int length);

// Clears the screen in the colours in force (the screen that follows is drawn
// on it), then computes the statistics. Returns 0.
int deriveStats(Console& console, Character& fighter, int length);

}  // namespace kotodama

#include <array>

namespace kotodama {
// The game loop's fighters: 0 the player's, 1 the opponent in a battle (and
// with 2..6 the room the slot screens read slots 1..6 into).
using Fighters = std::array<Character, 7>;
}  // namespace kotodama
