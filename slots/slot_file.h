#pragma once
// The six save slots: "data1.bin" to "data6.bin" in the working folder, each
// one 28-byte fighter record (the name field, then hp, attack, defense and
// speed as signed 32-bit little-endian values), and the three file steps the
// slot screens share: the scan on entry, the save and the load.
//
// Every file is untrusted. Only a file of exactly 28 bytes with a NUL in its
// 12-byte name field is a fighter; it is taken byte for byte, statistics
// included, whatever they hold. Anything else of that name still fills its
// slot, but is never loaded. A save never destroys the fighter already in a
// slot: the record goes to a new file beside it, is flushed to the disk and
// only then renamed over the slot's file.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "characters/character.h"

namespace kotodama {

constexpr int kSlotCount = 6;
constexpr std::size_t kSlotFileSize = 28;
static_assert(kSlotFileSize == sizeof(Character));

// The slot table: index 0 is "data1.bin" (top left on the slot screens), up
// to index 5, "data6.bin" (bottom right).
const char* slotFileName(int index);

// What a path or an open file is, and who may read and write it.
struct FileStatus {
  enum Type { Regular, Folder, Other } type = Other;  // Other: a device, a pipe, a socket...
  int permissions = 0;                                // the permission bits, as chmod takes them
};

// How a slot file is opened: always in binary mode, never blocking on a pipe,
// never taking a terminal as the controlling one, never inherited.
enum class OpenFor {
  Reading,
  Writing,  // an existing file, only to learn whether it can be written
  Creating, // a new file that must not exist yet
  Flushing, // the working folder itself, to flush its entries
};

// The file operations the slots go through, one system's calls each (see
// slot_storage_*.cpp). Each fails with -1 and an errno value in errno. Tests
// put in one that fails where they want it to.
class SlotStorage {
 public:
  virtual ~SlotStorage() = default;
  // `permissions` for a created file: exactly these bits, or -1 for the
  // system's default (the umask's).
  virtual int open(const char* path, OpenFor mode, int permissions = -1);
  virtual int pathStatus(const char* path, FileStatus& status);  // follows symbolic links
  virtual int fileStatus(int fd, FileStatus& status);
  virtual std::ptrdiff_t read(int fd, void* buffer, std::size_t size);
  virtual std::ptrdiff_t write(int fd, const void* bytes, std::size_t size);
  virtual int fsync(int fd);
  virtual int close(int fd);
  virtual int rename(const char* from, const char* to);  // replaces `to`
  virtual int unlink(const char* path);
  // The names in the working folder (none when it cannot be listed).
  virtual std::vector<std::string> folderNames();
  // Folds a number into temporary file names (the process id); whether the
  // process of such a number still runs (or may: when that cannot be told).
  virtual long uniqueNumber();
  virtual bool processRunning(long number);
  // The system's own words for why the call that failed last did.
  virtual std::string failureText();
  // From holdSignals to releaseSignals, signals wait instead of stopping the
  // process (where the system has signals to block); holds may nest.
  virtual void holdSignals();
  virtual void releaseSignals();
};

// The working folder's files, as the game uses them.
SlotStorage& systemSlotStorage();

// What a slot holds, as far as the scan could tell.
enum class SlotState {
  Empty,    // no file of that name: "[ EMPTY ]"
  Full,     // a fighter: exactly 28 bytes, a NUL in the name field
  Damaged,  // something else: short, long, no NUL, unreadable, a folder, a device...
};
using SlotScan = std::array<SlotState, kSlotCount>;

// Reads every slot, index 0 to 5, into fighters[index + 1]. A full slot's
// record is the file byte for byte; a damaged one's is whatever of its first
// 28 bytes could be read followed by zero bytes (never old bytes mixed with
// new ones); an empty slot's record is left as it was. Only regular files
// are opened. Temporary files that killed saves left are removed.
SlotScan scanSlots(Fighters& fighters, SlotStorage& storage);

enum class SlotWrite {
  Written,      // the slot's file now holds exactly the 28 bytes
  OpenFailed,   // the slot's file or its new copy could not be opened for writing
  WriteFailed,  // writing, flushing or replacing failed; the old file is as it was
};

// Saves `record` into slot `index`, keeping the old file's permissions.
// Nothing is left behind on failure, and `why` (when given) then holds the
// system's reason. A folder is never replaced; a device or a pipe is
// replaced without being opened.
SlotWrite writeSlot(int index, const Character& record, SlotStorage& storage, std::string* why = nullptr);

enum class SlotRead {
  Loaded,      // the file held a fighter, now in `record`
  Damaged,     // the file is there but holds no fighter or cannot be read; `record` is as it was
  OpenFailed,  // the file is gone; `record` is as it was
};

// Reads slot `index` again, as it is now, into `record`.
SlotRead readSlot(int index, Character& record, SlotStorage& storage);

// The record's 28 bytes as a slot file holds them, and back. decodeSlot
// takes any 28 bytes.
std::array<unsigned char, kSlotFileSize> encodeSlot(const Character& record);
Character decodeSlot(const std::array<unsigned char, kSlotFileSize>& bytes);

}  // namespace kotodama
