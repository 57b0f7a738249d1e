#include "slots/slot_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>

namespace kotodama {

namespace {

constexpr const char* kFileNames[kSlotCount] = {"data1.bin", "data2.bin", "data3.bin",
                                                "data4.bin", "data5.bin", "data6.bin"};
constexpr std::size_t kNameField = sizeof(Character::name);  // 12
// New copies are tried under this many names before the save gives up.
constexpr int kTemporaryNames = 100;

bool validIndex(int index) { return index >= 0 && index < kSlotCount; }

// One more byte than a record, to tell a 28-byte file from a longer one.
struct FileBytes {
  unsigned char bytes[kSlotFileSize + 1] = {};
  std::size_t size = 0;
  bool regular = false;  // a regular file, read to its end or to 29 bytes
};

// Reads what an open slot file holds, if it is still a regular file.
FileBytes readFile(int fd, SlotStorage& storage) {
  FileBytes file;
  FileStatus status;
  if (storage.fileStatus(fd, status) != 0 || status.type != FileStatus::Regular) return file;
  while (file.size < sizeof file.bytes) {
    const std::ptrdiff_t n = storage.read(fd, file.bytes + file.size, sizeof file.bytes - file.size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return file;  // unreadable: not a fighter
    if (n == 0) break;
    file.size += std::min(static_cast<std::size_t>(n), sizeof file.bytes - file.size);
  }
  file.regular = true;
  return file;
}

// What a slot's name stands for. Only a regular file is ever opened: a
// folder, a pipe, a device (or a link to one) is there but unreadable.
enum class Found { Nothing, Unreadable, Read };
Found readSlotFile(const char* name, FileBytes& file, SlotStorage& storage) {
  FileStatus status;
  if (storage.pathStatus(name, status) != 0) return errno == ENOENT ? Found::Nothing : Found::Unreadable;
  if (status.type != FileStatus::Regular) return Found::Unreadable;
  const int fd = storage.open(name, OpenFor::Reading);
  if (fd < 0) return errno == ENOENT ? Found::Nothing : Found::Unreadable;
  file = readFile(fd, storage);
  storage.close(fd);
  return Found::Read;
}

bool isFighter(const FileBytes& file) {
  return file.regular && file.size == kSlotFileSize && std::memchr(file.bytes, 0, kNameField) != nullptr;
}

std::array<unsigned char, kSlotFileSize> first28(const FileBytes& file) {
  std::array<unsigned char, kSlotFileSize> bytes{};
  std::memcpy(bytes.data(), file.bytes, std::min(file.size, kSlotFileSize));
  return bytes;
}

bool writeAll(int fd, const unsigned char* bytes, std::size_t size, SlotStorage& storage) {
  std::size_t done = 0;
  while (done < size) {
    const std::ptrdiff_t n = storage.write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;  // no progress at all: the disk is full
    if (n <= 0) return false;
    done += std::min(static_cast<std::size_t>(n), size - done);
  }
  return true;
}

// While a save's new copy stands beside the slot, signals wait: a stop
// (Ctrl+C, a closed terminal, kill) then comes once the copy has replaced the
// slot or is gone, so the game never stops with a stray copy left behind.
class SignalsHeld {
 public:
  explicit SignalsHeld(SlotStorage& storage) : storage_(storage) { storage_.holdSignals(); }
  ~SignalsHeld() { storage_.releaseSignals(); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  SlotStorage& storage_;
};

// Flushes the folder itself, so the renamed entry reaches the disk too. The
// save has already taken place when this runs, so a failure changes nothing.
void syncFolder(SlotStorage& storage) {
  const int fd = storage.open(".", OpenFor::Flushing);
  if (fd < 0) return;
  storage.fsync(fd);
  storage.close(fd);
}

// The process number in the name of a save's copy of slot `index`
// ("data1.bin.<process>.<n>.tmp"), or 0 when the name is not one.
long copyOwner(const std::string& name, int index) {
  const std::string prefix = std::string(kFileNames[index]) + ".";
  if (!name.starts_with(prefix) || !name.ends_with(".tmp")) return 0;
  const char* p = name.data() + prefix.size();
  const char* end = name.data() + name.size() - 4;
  long number = 0, n = 0;
  if (p == end || *p < '0' || *p > '9') return 0;
  auto [afterNumber, error] = std::from_chars(p, end, number);
  if (error != std::errc{} || afterNumber == end || *afterNumber != '.' || afterNumber + 1 == end) return 0;
  auto [afterN, errorN] = std::from_chars(afterNumber + 1, end, n);
  return errorN == std::errc{} && afterN == end && n >= 0 ? number : 0;
}

// Removes the copies of slot `index` (every slot: -1) that saves of processes
// no longer running left behind (a save killed outright, or a power cut).
void clearStaleCopies(SlotStorage& storage, int index) {
  const long own = storage.uniqueNumber();
  for (const std::string& name : storage.folderNames()) {
    for (int i = 0; i < kSlotCount; ++i) {
      if (index >= 0 && i != index) continue;
      const long owner = copyOwner(name, i);
      if (owner > 0 && owner != own && !storage.processRunning(owner)) storage.unlink(name.c_str());
    }
  }
}

std::uint32_t readLittleEndian(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void writeLittleEndian(unsigned char* p, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(bits >> (8 * k));
}

}  // namespace

const char* slotFileName(int index) { return validIndex(index) ? kFileNames[index] : ""; }

// ---------------------------------------------------------- the records

std::array<unsigned char, kSlotFileSize> encodeSlot(const Character& record) {
  std::array<unsigned char, kSlotFileSize> bytes{};
  std::memcpy(bytes.data(), record.name, kNameField);
  writeLittleEndian(bytes.data() + 12, record.hp);
  writeLittleEndian(bytes.data() + 16, record.attack);
  writeLittleEndian(bytes.data() + 20, record.defense);
  writeLittleEndian(bytes.data() + 24, record.speed);
  return bytes;
}

Character decodeSlot(const std::array<unsigned char, kSlotFileSize>& bytes) {
  Character record{};
  std::memcpy(record.name, bytes.data(), kNameField);
  // Unsigned to signed 32-bit keeps the bits (two's complement).
  record.hp = static_cast<std::int32_t>(readLittleEndian(bytes.data() + 12));
  record.attack = static_cast<std::int32_t>(readLittleEndian(bytes.data() + 16));
  record.defense = static_cast<std::int32_t>(readLittleEndian(bytes.data() + 20));
  record.speed = static_cast<std::int32_t>(readLittleEndian(bytes.data() + 24));
  return record;
}

// ------------------------------------------------------------ the steps

SlotScan scanSlots(Fighters& fighters, SlotStorage& storage) {
  clearStaleCopies(storage, -1);
  SlotScan scan{};
  for (int i = 0; i < kSlotCount; ++i) {
    FileBytes file;
    const Found found = readSlotFile(kFileNames[i], file, storage);
    if (found == Found::Nothing) {
      scan[i] = SlotState::Empty;
      continue;
    }
    scan[i] = isFighter(file) ? SlotState::Full : SlotState::Damaged;
    fighters[i + 1] = decodeSlot(first28(file));
  }
  return scan;
}

SlotWrite writeSlot(int index, const Character& record, SlotStorage& storage, std::string* why) {
  if (!validIndex(index)) return SlotWrite::OpenFailed;
  const char* name = kFileNames[index];
  // The system's reason, taken at once, before anything else calls it.
  const auto failed = [&](SlotWrite result) {
    if (why != nullptr) *why = storage.failureText();
    return result;
  };
  clearStaleCopies(storage, index);

  // A slot file that exists but cannot be written (write-protected) is not
  // replaced behind the player's back, nor is a folder. Only a regular file
  // is opened to find that out; anything else there (a device, a pipe) is
  // replaced by the rename without ever being opened.
  int permissions = -1;  // for a new slot: the system's default
  FileStatus status;
  if (storage.pathStatus(name, status) != 0) {
    if (errno != ENOENT) return failed(SlotWrite::OpenFailed);
  } else if (status.type == FileStatus::Folder) {
    errno = EISDIR;
    return failed(SlotWrite::OpenFailed);
  } else if (status.type == FileStatus::Regular) {
    const int probe = storage.open(name, OpenFor::Writing);
    if (probe < 0 && errno != ENOENT) return failed(SlotWrite::OpenFailed);  // gone meanwhile: a new slot
    if (probe >= 0) {
      storage.close(probe);
      permissions = status.permissions;  // the new file keeps the old one's
    }
  }

  // The new copy beside it: "data1.bin.<process>.<n>.tmp".
  const SignalsHeld held{storage};
  std::string temporary;
  int fd = -1;
  for (int n = 0; n < kTemporaryNames && fd < 0; ++n) {
    temporary = std::string(name) + "." + std::to_string(storage.uniqueNumber()) + "." + std::to_string(n) + ".tmp";
    fd = storage.open(temporary.c_str(), OpenFor::Creating, permissions);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return failed(SlotWrite::OpenFailed);

  const auto bytes = encodeSlot(record);
  SlotWrite result = SlotWrite::Written;
  if (!writeAll(fd, bytes.data(), bytes.size(), storage) || storage.fsync(fd) != 0) {
    result = failed(SlotWrite::WriteFailed);
  }
  if (storage.close(fd) != 0 && result == SlotWrite::Written) result = failed(SlotWrite::WriteFailed);
  if (result == SlotWrite::Written && storage.rename(temporary.c_str(), name) == 0) {
    syncFolder(storage);
    return SlotWrite::Written;
  }
  if (result == SlotWrite::Written) result = failed(SlotWrite::WriteFailed);
  storage.unlink(temporary.c_str());
  return result;
}

SlotRead readSlot(int index, Character& record, SlotStorage& storage) {
  if (!validIndex(index)) return SlotRead::OpenFailed;
  FileBytes file;
  const Found found = readSlotFile(kFileNames[index], file, storage);
  if (found == Found::Nothing) return SlotRead::OpenFailed;
  if (!isFighter(file)) return SlotRead::Damaged;
  record = decodeSlot(first28(file));
  return SlotRead::Loaded;
}

}  // namespace kotodama
