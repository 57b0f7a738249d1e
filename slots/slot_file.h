#pragma once
// The six save slots: "data1.bin" to "data6.bin" in the working folder, each
// one 28-byte fighter record (the name field, then hp, attack, defense and
// speed as signed 32-bit little-endian values), and the three file steps the
// slot screens share: the scan on entry, the save and the load.
//
// Every file is untrusted. Only a file of exactly 28 bytes with a NUL in its
// 12-byte name field is a fighter; it is taken byte for byte, statistics
// included, whatever they hold. Anything else that opens still fills its
// slot, but is never loaded. A save never destroys the fighter already in a
// slot: the record goes to a new file beside it, is flushed to the disk and
// only then renamed over the slot's file.
#include <sys/types.h>

#include <array>
#include <cstddef>

#include "characters/character.h"

namespace kotodama {

class Console;

constexpr int kSlotCount = 6;
constexpr std::size_t kSlotFileSize = 28;
static_assert(kSlotFileSize == sizeof(Character));

// The slot table: index 0 is "data1.bin" (top left on the slot screens), up
// to index 5, "data6.bin" (bottom right).
const char* slotFileName(int index);

// The file operations the slots go through: the POSIX calls of the same
// names, failing with -1 and errno. Tests put in one that fails where they
// want it to.
class SlotStorage {
 public:
  virtual ~SlotStorage() = default;
  virtual int open(const char* path, int flags, mode_t mode);
  // 1 for a regular file, 0 for anything else, -1 when fstat fails.
  virtual int isRegularFile(int fd);
  virtual ssize_t read(int fd, void* buffer, std::size_t size);
  virtual ssize_t write(int fd, const void* bytes, std::size_t size);
  virtual int fsync(int fd);
  virtual int close(int fd);
  virtual int rename(const char* from, const char* to);
  virtual int unlink(const char* path);
  // Folds a number into temporary file names (the process id).
  virtual long uniqueNumber();
};

// The working folder's files, as the game uses them.
SlotStorage& systemSlotStorage();

// What a slot holds, as far as the scan could tell.
enum class SlotState {
  Empty,    // the file does not open: "[ EMPTY ]"
  Full,     // a fighter: exactly 28 bytes, a NUL in the name field
  Damaged,  // the file opens but holds no fighter (short, long, no NUL, a folder...)
};
using SlotScan = std::array<SlotState, kSlotCount>;

// Reads every slot, index 0 to 5, into fighters[index + 1]. A full slot's
// record is the file byte for byte; a damaged one's is whatever of its first
// 28 bytes could be read followed by zero bytes (never old bytes mixed with
// new ones); an empty slot's record is left as it was.
SlotScan scanSlots(Fighters& fighters, SlotStorage& storage);

enum class SlotWrite {
  Written,      // the slot's file now holds exactly the 28 bytes
  OpenFailed,   // the slot's file or its new copy could not be opened for writing
  WriteFailed,  // writing, flushing or replacing failed; the old file is as it was
};

// Saves `record` into slot `index`. Nothing is left behind on failure.
SlotWrite writeSlot(int index, const Character& record, SlotStorage& storage);

enum class SlotRead {
  Loaded,      // the file held a fighter, now in `record`
  Damaged,     // the file opened but holds no fighter; `record` is as it was
  OpenFailed,  // the file did not open; `record` is as it was
};

// Reads slot `index` again, as it is now, into `record`.
SlotRead readSlot(int index, Character& record, SlotStorage& storage);

// The record's 28 bytes as a slot file holds them, and back. decodeSlot
// takes any 28 bytes.
std::array<unsigned char, kSlotFileSize> encodeSlot(const Character& record);
Character decodeSlot(const std::array<unsigned char, kSlotFileSize>& bytes);

// The two slot screens with their files on `storage` (the screens of
// slot_screens.h use the working folder's files).
int showSaveSlots(Console& console, Fighters& fighters, SlotStorage& storage);
int showLoadSlots(Console& console, Fighters& fighters, SlotStorage& storage);

}  // namespace kotodama
