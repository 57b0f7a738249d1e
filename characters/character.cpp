#include "characters/character.h"

#include <algorithm>

#include "console/console.h"
#include "console/draw.h"

namespace kotodama {

namespace {

// The remainder by m made non-negative, lifted by `add` when below `floor`.
std::int32_t fold(std::int32_t x, std::int32_t m, std::int32_t floor, std::int32_t add) {
  std::int32_t r = x % m;
  if (r < 0) r = -r;
  if (r < floor) r += add;
  return r;
}

}  // namespace

void computeStats(Character& fighter, int length) {
  const int n = std::clamp(length, 0, static_cast<int>(sizeof fighter.name));
  std::int32_t b[sizeof fighter.name];
  for (int i = 0; i < n; ++i) b[i] = static_cast<std::int8_t>(fighter.name[i]);

  std::int32_t weighted = 0;
  for (int i = 0; i < n; ++i) weighted += (i + 1) * b[i];
  fighter.hp = fold(123 * weighted, 1000, 100, 100);

  std::int32_t s2 = 0;
  for (int i = 0; i < n; ++i) s2 += fighter.hp + n - b[i];
  fighter.attack = fold(s2, 300, 50, 30);

  std::int32_t s3 = 0;
  for (int i = 0; i < n; ++i) s3 += (b[i] + fighter.attack) % 500;
  fighter.defense = fold(s3, 300, 50, 30);

  std::int32_t s4 = 0;
  for (int i = 0; i < n; ++i) s4 += (b[i] + fighter.defense + fighter.attack + fighter.hp) / n;
  fighter.speed = fold(s4, 300, 50, 30);
}

int deriveStats(Console& console, Character& fighter, int length) {
  console.setColor(kUnchanged);
  console.clearScreen(kUnchanged);
  computeStats(fighter, length);
  return 0;
}

}  // namespace kotodama
