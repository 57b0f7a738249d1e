// Any bytes as the content of data1.bin (the other slots empty): the load
// screen scans the slots, draws the boxes and loads slot 1 when Enter
// chooses it; after the damaged-data notice the player goes back. A loaded
// record then fights an opponent named by its own name reversed, the opening
// draw taken from its hp bytes. Only a 28-byte file with a NUL in the name
// field loads, byte for byte; no read goes past the 29th byte (the one that
// tells a longer file); the battle ends with the loser at 0 hp, or refuses a
// record no name gives.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "battle/battle.h"
#include "battle/battle_screen.h"
#include "console/console.h"
#include "slots/slot_file.h"
#include "tests/fuzz/memory_platform.h"

namespace {

using namespace kotodama;

#define CHECK(condition) \
  do {                     \
    if (!(condition)) __builtin_trap(); \
  } while (false)

// data1.bin holds the input; every other file is missing.
class InputStorage : public SlotStorage {
 public:
  InputStorage(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  int open(const char* path, int flags, mode_t) override {
    offset_ = 0;
    if (std::strcmp(path, slotFileName(0)) == 0 && (flags & O_ACCMODE) == O_RDONLY) return 3;
    errno = ENOENT;
    return -1;
  }
  int isRegularFile(int) override { return 1; }
  int close(int) override { return 0; }
  ssize_t read(int, void* buffer, std::size_t size) override {
    CHECK(offset_ + size <= kSlotFileSize + 1);
    const std::size_t n = std::min(size, size_ - std::min(offset_, size_));
    if (n > 0) std::memcpy(buffer, data_ + offset_, n);
    offset_ += n;
    return static_cast<ssize_t>(n);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryPlatform platform;
  Console console(platform);
  InputStorage storage(data, size);
  Fighters fighters{};

  // Enter on the first box; after a notice, Down twice to the back button and Escape.
  platform.keys = {"\r", "\x1b[B", "\x1b[B", "\x1b"};
  const int loaded = showLoadSlots(console, fighters, storage);
  const bool record = size == kSlotFileSize && std::memchr(data, 0, sizeof(Character::name)) != nullptr;
  CHECK(loaded == (record ? 1 : 0));
  if (!record) return 0;
  const Character player = fighters[0];
  CHECK(std::memcmp(encodeSlot(player).data(), data, kSlotFileSize) == 0);
  CHECK(std::memcmp(&player, &fighters[1], sizeof player) == 0);  // the box showed what loaded

  Character& opponent = fighters[1];
  opponent = Character{};
  const std::string_view name = shownName(player).substr(0, kNameLimit);
  std::reverse_copy(name.begin(), name.end(), opponent.name);
  computeStats(opponent, static_cast<int>(name.size()));
  platform.keys = {"\r"};
  platform.restartKeys();
  const int result = runBattle(console, fighters, [&player] { return static_cast<int>(player.hp); });
  CHECK((result == kBattleRefused) == !canFight(player));
  if (result == 1) CHECK(fighters[1].hp == 0 && fighters[0].hp > 0);
  if (result == 0) CHECK(fighters[0].hp == 0 && fighters[1].hp > 0);
  return 0;
}
