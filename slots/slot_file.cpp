#include "slots/slot_file.h"

#include <fcntl.h>
#ifndef _WIN32
#include <signal.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace kotodama {

namespace {

constexpr const char* kFileNames[kSlotCount] = {"data1.bin", "data2.bin", "data3.bin",
                                                "data4.bin", "data5.bin", "data6.bin"};
constexpr std::size_t kNameField = sizeof(Character::name);  // 12
// New copies are tried under this many names before the save gives up.
constexpr int kTemporaryNames = 100;

// Opening never blocks (a named pipe called data1.bin) and never takes a
// terminal as the controlling one.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr int kProbeFlags = O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC;

bool validIndex(int index) { return index >= 0 && index < kSlotCount; }

// One more byte than a record, to tell a 28-byte file from a longer one.
struct FileBytes {
  unsigned char bytes[kSlotFileSize + 1] = {};
  std::size_t size = 0;
  bool regular = false;  // a regular file, read to its end or to 29 bytes
};

// Reads what a slot file holds. Only regular files are read at all: a folder,
// a pipe or a device counts as opened but holding nothing.
FileBytes readFile(int fd, SlotStorage& storage) {
  FileBytes file;
  if (storage.isRegularFile(fd) != 1) return file;
  while (file.size < sizeof file.bytes) {
    const ssize_t n = storage.read(fd, file.bytes + file.size, sizeof file.bytes - file.size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return file;  // unreadable: not a fighter
    if (n == 0) break;
    file.size += std::min(static_cast<std::size_t>(n), sizeof file.bytes - file.size);
  }
  file.regular = true;
  return file;
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
    const ssize_t n = storage.write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or no progress at all: the disk is full
    done += std::min(static_cast<std::size_t>(n), size - done);
  }
  return true;
}

// While a save's new copy stands beside the slot, signals wait: a stop
// (Ctrl+C, a closed terminal, kill) then comes once the copy has replaced the
// slot or is gone, so the game never stops with a stray copy left behind.
class SignalsHeld {
 public:
#ifndef _WIN32
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &old_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
#endif
};

// Flushes the folder itself, so the renamed entry reaches the disk too. The
// save has already taken place when this runs, so a failure changes nothing.
void syncFolder(SlotStorage& storage) {
  const int fd = storage.open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return;
  storage.fsync(fd);
  storage.close(fd);
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

// ------------------------------------------------------------ the system

int SlotStorage::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

int SlotStorage::isRegularFile(int fd) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return -1;
  return S_ISREG(status.st_mode) ? 1 : 0;
}

ssize_t SlotStorage::read(int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); }
ssize_t SlotStorage::write(int fd, const void* bytes, std::size_t size) { return ::write(fd, bytes, size); }
int SlotStorage::fsync(int fd) { return ::fsync(fd); }
int SlotStorage::close(int fd) { return ::close(fd); }
int SlotStorage::rename(const char* from, const char* to) {
#ifdef _WIN32
  return replaceFile(from, to);  // Windows' rename never replaces the old file
#else
  return ::rename(from, to);
#endif
}
int SlotStorage::unlink(const char* path) { return ::unlink(path); }
long SlotStorage::uniqueNumber() { return static_cast<long>(::getpid()); }

#ifndef __EMSCRIPTEN__  // the web page keeps its slots in storage of its own (platform_web.cpp)
SlotStorage& systemSlotStorage() {
  static SlotStorage storage;
  return storage;
}
#endif

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
  SlotScan scan{};
  for (int i = 0; i < kSlotCount; ++i) {
    const int fd = storage.open(kFileNames[i], kReadFlags, 0);
    if (fd < 0) {
      scan[i] = SlotState::Empty;
      continue;
    }
    const FileBytes file = readFile(fd, storage);
    storage.close(fd);
    scan[i] = isFighter(file) ? SlotState::Full : SlotState::Damaged;
    fighters[i + 1] = decodeSlot(first28(file));
  }
  return scan;
}

SlotWrite writeSlot(int index, const Character& record, SlotStorage& storage) {
  if (!validIndex(index)) return SlotWrite::OpenFailed;
  const char* name = kFileNames[index];

  // A slot file that exists but cannot be written (write-protected, a
  // folder) is not replaced behind the player's back.
  const int probe = storage.open(name, kProbeFlags, 0);
  if (probe >= 0) {
    storage.close(probe);
  } else if (errno != ENOENT) {
    return SlotWrite::OpenFailed;
  }

  // The new copy beside it: "data1.bin.<process>.<n>.tmp".
  [[maybe_unused]] const SignalsHeld held{};
  std::string temporary;
  int fd = -1;
  for (int n = 0; n < kTemporaryNames && fd < 0; ++n) {
    temporary = std::string(name) + "." + std::to_string(storage.uniqueNumber()) + "." + std::to_string(n) + ".tmp";
    fd = storage.open(temporary.c_str(), kCreateFlags, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return SlotWrite::OpenFailed;

  const auto bytes = encodeSlot(record);
  bool written = writeAll(fd, bytes.data(), bytes.size(), storage) && storage.fsync(fd) == 0;
  if (storage.close(fd) != 0) written = false;
  if (written && storage.rename(temporary.c_str(), name) == 0) {
    syncFolder(storage);
    return SlotWrite::Written;
  }
  storage.unlink(temporary.c_str());
  return SlotWrite::WriteFailed;
}

SlotRead readSlot(int index, Character& record, SlotStorage& storage) {
  if (!validIndex(index)) return SlotRead::OpenFailed;
  const int fd = storage.open(kFileNames[index], kReadFlags, 0);
  if (fd < 0) return SlotRead::OpenFailed;
  const FileBytes file = readFile(fd, storage);
  storage.close(fd);
  if (!isFighter(file)) return SlotRead::Damaged;
  record = decodeSlot(first28(file));
  return SlotRead::Loaded;
}

}  // namespace kotodama
