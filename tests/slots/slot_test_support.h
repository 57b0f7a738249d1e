#pragma once
// Slot tests run in a scratch folder of their own, made the working folder
// for the test, with small helpers to lay slot files out and read them back.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "characters/character.h"
#include "slots/slot_file.h"
#include "support/pty_session.h"

// In a namespace of their own: other test folders have helpers of the same names.
namespace kotodama::test::slotkit {

// A fresh scratch folder as the working folder; the old one comes back at the end.
class InScratchFolder {
 public:
  InScratchFolder() : previous_(std::filesystem::current_path()) { std::filesystem::current_path(folder_.path()); }
  ~InScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  InScratchFolder(const InScratchFolder&) = delete;
  InScratchFolder& operator=(const InScratchFolder&) = delete;
  const std::string& path() const { return folder_.path(); }

 private:
  TempDir folder_;
  std::filesystem::path previous_;
};

inline void writeFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The file's bytes, or nothing when it does not open as a file.
inline std::optional<std::string> readFile(const std::string& name) {
  if (!std::filesystem::is_regular_file(name)) return std::nullopt;
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in the working folder, sorted.
inline std::vector<std::string> folderEntries() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(".")) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A fighter with the bytes after the name's NUL set to something, as memory
// may hold them.
inline Character fighter(const char* name, std::int32_t hp, std::int32_t attack, std::int32_t defense,
                         std::int32_t speed) {
  Character c{};
  std::memset(c.name, 0x5A, sizeof c.name);
  const std::size_t n = std::min(std::strlen(name), sizeof c.name - 1);
  std::memcpy(c.name, name, n);
  c.name[n] = '\0';
  c.hp = hp;
  c.attack = attack;
  c.defense = defense;
  c.speed = speed;
  return c;
}

inline std::string bytesOf(const Character& c) {
  const auto bytes = encodeSlot(c);
  return std::string(bytes.begin(), bytes.end());
}

inline bool sameRecord(const Character& a, const Character& b) { return bytesOf(a) == bytesOf(b); }

// Storage that fails at one chosen step of a save (errno set as the system
// would set it); everything else goes to the system.
class FaultyStorage : public SlotStorage {
 public:
  enum class Fault {
    None,
    CreateFails,   // the folder refuses new files (read-only)
    WriteFails,    // the first write fails outright
    WriteShort,    // 10 bytes go in, then the disk is full
    Interrupted,   // a signal, then the bytes in small pieces: all go in
    SyncFails,
    CloseFails,
    RenameFails,
  };
  explicit FaultyStorage(Fault f) : fault(f) {}

  int open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_CREAT) != 0 && fault == Fault::CreateFails) return failWith(EROFS);
    const int fd = SlotStorage::open(path, flags, mode);
    if ((flags & O_CREAT) != 0) newFile = fd;
    return fd;
  }
  ssize_t write(int fd, const void* bytes, std::size_t size) override {
    ++writes;
    if (fd == newFile) {
      switch (fault) {
        case Fault::WriteFails:
          return failWith(EIO);
        case Fault::WriteShort:
          if (writes > 1) return 0;
          return SlotStorage::write(fd, bytes, std::min<std::size_t>(size, 10));
        case Fault::Interrupted:
          if (writes == 1) return failWith(EINTR);
          return SlotStorage::write(fd, bytes, std::min<std::size_t>(size, 3));
        default:
          break;
      }
    }
    return SlotStorage::write(fd, bytes, size);
  }
  int fsync(int fd) override {
    if (fd == newFile && fault == Fault::SyncFails) return failWith(EIO);
    return SlotStorage::fsync(fd);
  }
  int close(int fd) override {
    const bool isNew = fd == newFile;
    if (isNew) newFile = -1;  // the number may come back for another file
    const int result = SlotStorage::close(fd);
    if (isNew && fault == Fault::CloseFails) return failWith(EIO);
    return result;
  }
  int rename(const char* from, const char* to) override {
    if (fault == Fault::RenameFails) return failWith(EXDEV);
    return SlotStorage::rename(from, to);
  }
  long uniqueNumber() override { return 4242; }

  Fault fault;
  int newFile = -1;
  int writes = 0;

 private:
  static int failWith(int error) {
    errno = error;
    return -1;
  }
};

}  // namespace kotodama::test::slotkit
