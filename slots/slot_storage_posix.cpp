// The slot files on a POSIX system (and in the browser, whose C library
// keeps its files in the page's storage).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "slots/slot_file.h"

namespace kotodama {

namespace {

int flagsFor(OpenFor mode) {
  // Opening never blocks (a named pipe called data1.bin) and never takes a
  // terminal as the controlling one.
  constexpr int kAlways = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  switch (mode) {
    case OpenFor::Reading:
      return O_RDONLY | kAlways;
    case OpenFor::Writing:
      return O_WRONLY | kAlways;
    case OpenFor::Creating:
      return O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC;
    case OpenFor::Flushing:
      break;
  }
  return O_RDONLY | O_DIRECTORY | O_CLOEXEC;
}

void describe(const struct stat& file, FileStatus& status) {
  status.type = S_ISREG(file.st_mode)   ? FileStatus::Regular
                : S_ISDIR(file.st_mode) ? FileStatus::Folder
                                        : FileStatus::Other;
  status.permissions = static_cast<int>(file.st_mode & 0777);
}

}  // namespace

int SlotStorage::open(const char* path, OpenFor mode, int permissions) {
  const int fd = ::open(path, flagsFor(mode), permissions < 0 ? 0666 : permissions);
  // The umask may have taken bits away: the copy gets exactly the old file's.
  if (fd >= 0 && mode == OpenFor::Creating && permissions >= 0 &&
      ::fchmod(fd, static_cast<mode_t>(permissions)) != 0) {
    const int error = errno;
    ::close(fd);
    ::unlink(path);
    errno = error;
    return -1;
  }
  return fd;
}

int SlotStorage::pathStatus(const char* path, FileStatus& status) {
  struct stat file {};
  if (::stat(path, &file) != 0) return -1;
  describe(file, status);
  return 0;
}

int SlotStorage::fileStatus(int fd, FileStatus& status) {
  struct stat file {};
  if (::fstat(fd, &file) != 0) return -1;
  describe(file, status);
  return 0;
}

std::ptrdiff_t SlotStorage::read(int fd, void* buffer, std::size_t size) { return ::read(fd, buffer, size); }
std::ptrdiff_t SlotStorage::write(int fd, const void* bytes, std::size_t size) { return ::write(fd, bytes, size); }
int SlotStorage::fsync(int fd) { return ::fsync(fd); }
int SlotStorage::close(int fd) { return ::close(fd); }
int SlotStorage::rename(const char* from, const char* to) { return ::rename(from, to); }
int SlotStorage::unlink(const char* path) { return ::unlink(path); }

std::vector<std::string> SlotStorage::folderNames() {
  std::vector<std::string> names;
  DIR* folder = ::opendir(".");
  if (folder == nullptr) return names;
  while (const dirent* entry = ::readdir(folder)) names.emplace_back(entry->d_name);
  ::closedir(folder);
  return names;
}

long SlotStorage::uniqueNumber() { return static_cast<long>(::getpid()); }

// A process that exists but is another user's still runs.
bool SlotStorage::processRunning(long number) {
  if (number <= 0 || static_cast<pid_t>(number) != number) return true;  // never a group or every process
  return ::kill(static_cast<pid_t>(number), 0) == 0 || errno != ESRCH;
}

std::string SlotStorage::failureText() { return std::strerror(errno); }

namespace {
sigset_t gMaskBeforeHold;
int gHolds = 0;
}  // namespace

void SlotStorage::holdSignals() {
  if (gHolds++ > 0) return;
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &gMaskBeforeHold);
}

void SlotStorage::releaseSignals() {
  if (gHolds == 0 || --gHolds > 0) return;
  sigprocmask(SIG_SETMASK, &gMaskBeforeHold, nullptr);
}

#ifndef __EMSCRIPTEN__  // the web page keeps its slots in storage of its own (console/platform_web.cpp)
SlotStorage& systemSlotStorage() {
  static SlotStorage storage;
  return storage;
}
#endif

}  // namespace kotodama
