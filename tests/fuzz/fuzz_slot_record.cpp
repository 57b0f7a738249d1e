// Any bytes as data6.bin (the other slots empty) through the load screen:
// the scan, the boxes, and Enter on slot 6, which loads exactly a 28-byte
// file with a NUL in its name field, byte for byte; no file is read past its
// 29th byte. Slot 6 fills the last of the fighters, alone on the heap, so a
// read past a record is caught. A loaded record fights its own name reversed
// (the draw: its hp); the battle ends with the loser at 0 hp, or refuses a
// record no name gives.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "battle/battle.h"
#include "battle/battle_screen.h"
#include "console/console.h"
#include "slots/slot_file.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace kotodama;

// data6.bin holds the input; every other file is missing.
struct InputStorage : SlotStorage {
  std::string_view file;
  std::size_t offset = 0;

  static bool input(const char* path) { return std::strcmp(path, slotFileName(kSlotCount - 1)) == 0; }
  int pathStatus(const char* path, FileStatus& status) override { return input(path) ? fileStatus(3, status) : missing(); }
  int open(const char* path, OpenFor mode, int) override {
    offset = 0;
    return input(path) && mode == OpenFor::Reading ? 3 : missing();
  }
  int fileStatus(int, FileStatus& status) override { return status.type = FileStatus::Regular, 0; }
  int close(int) override { return 0; }
  std::vector<std::string> folderNames() override { return {}; }
  std::ptrdiff_t read(int, void* buffer, std::size_t size) override {
    CHECK(offset + size <= kSlotFileSize + 1);
    const std::size_t n = file.copy(static_cast<char*>(buffer), size, offset);
    offset += n;
    return static_cast<std::ptrdiff_t>(n);
  }
  static int missing() { return errno = ENOENT, -1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::MemoryPlatform platform;
  Console console(platform);
  InputStorage storage;
  storage.file = {reinterpret_cast<const char*>(data), size};
  const auto heap = std::make_unique<Fighters>();
  Fighters& fighters = *heap;

  // Left twice (by the back button) and Enter on the last box; after a
  // notice, Down to the back button and Escape, until they come after it.
  const std::string_view down = "\x1b[B", escape = "\x1b";
  platform.keys = {"\x1b[D", "\x1b[D", "\r", down, escape, down, escape, down, escape, down, escape};
  const bool record = size == kSlotFileSize && std::memchr(data, 0, sizeof(Character::name)) != nullptr;
  CHECK(showLoadSlots(console, fighters, storage) == (record ? 1 : 0));
  if (!record) return 0;
  const Character player = fighters[0];
  CHECK(std::memcmp(encodeSlot(player).data(), data, kSlotFileSize) == 0);
  CHECK(std::memcmp(&player, &fighters[kSlotCount], sizeof player) == 0);  // the box showed what loaded

  Character& opponent = fighters[1] = Character{};
  const std::string_view name = shownName(player).substr(0, kNameLimit);
  std::reverse_copy(name.begin(), name.end(), opponent.name);
  computeStats(opponent, static_cast<int>(name.size()));
  platform.keys = {"\r"};
  const int result = runBattle(console, fighters, [&player] { return static_cast<int>(player.hp); });
  CHECK((result == kBattleRefused) == !canFight(player));
  if (result == 1) CHECK(opponent.hp == 0 && fighters[0].hp > 0);
  if (result == 0) CHECK(fighters[0].hp == 0 && opponent.hp > 0);
  return 0;
}
