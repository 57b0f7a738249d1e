// The slot files on Windows, through the C runtime's file calls (always in
// binary mode, so a record's bytes are never translated) and the system's
// own calls where the runtime falls short: replacing a file, telling whether
// a process runs, and the system's message text for a failure.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <share.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

#include "slots/slot_file.h"

namespace kotodama {

namespace {

// The system's error code of the call that failed last, 0 when that call
// only set errno.
DWORD gSystemError = 0;

int failed() {
  gSystemError = static_cast<DWORD>(_doserrno);
  return -1;
}

unsigned int chunk(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<unsigned int>(size); }

void describe(const struct _stat64& file, FileStatus& status) {
  const unsigned type = file.st_mode & _S_IFMT;
  status.type = type == _S_IFREG ? FileStatus::Regular : type == _S_IFDIR ? FileStatus::Folder : FileStatus::Other;
  status.permissions = file.st_mode & (_S_IREAD | _S_IWRITE);
}

}  // namespace

// A folder cannot be opened to flush it: that flush is skipped, as a save allows.
int SlotStorage::open(const char* path, OpenFor mode, int permissions) {
  gSystemError = 0;
  int flags = _O_BINARY | _O_NOINHERIT;
  switch (mode) {
    case OpenFor::Reading:
      flags |= _O_RDONLY;
      break;
    case OpenFor::Writing:
      flags |= _O_WRONLY;
      break;
    case OpenFor::Creating:
      flags |= _O_WRONLY | _O_CREAT | _O_EXCL;
      break;
    case OpenFor::Flushing:
      errno = EISDIR;
      return -1;
  }
  int fd = -1;
  const int shown = permissions < 0 ? (_S_IREAD | _S_IWRITE) : (permissions & (_S_IREAD | _S_IWRITE));
  if (_sopen_s(&fd, path, flags, _SH_DENYNO, shown) != 0) return failed();
  return fd;
}

int SlotStorage::pathStatus(const char* path, FileStatus& status) {
  gSystemError = 0;
  struct _stat64 file {};
  if (_stat64(path, &file) != 0) return failed();
  describe(file, status);
  return 0;
}

int SlotStorage::fileStatus(int fd, FileStatus& status) {
  gSystemError = 0;
  struct _stat64 file {};
  if (_fstat64(fd, &file) != 0) return failed();
  describe(file, status);
  return 0;
}

std::ptrdiff_t SlotStorage::read(int fd, void* buffer, std::size_t size) {
  gSystemError = 0;
  const int n = _read(fd, buffer, chunk(size));
  return n < 0 ? failed() : n;
}

std::ptrdiff_t SlotStorage::write(int fd, const void* bytes, std::size_t size) {
  gSystemError = 0;
  const int n = _write(fd, bytes, chunk(size));
  return n < 0 ? failed() : n;
}

int SlotStorage::fsync(int fd) {
  gSystemError = 0;
  return _commit(fd) == 0 ? 0 : failed();
}

int SlotStorage::close(int fd) {
  gSystemError = 0;
  return _close(fd) == 0 ? 0 : failed();
}

// The runtime's rename never replaces an existing file.
int SlotStorage::rename(const char* from, const char* to) {
  gSystemError = 0;
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
  gSystemError = GetLastError();
  errno = EACCES;
  return -1;
}

int SlotStorage::unlink(const char* path) {
  gSystemError = 0;
  return _unlink(path) == 0 ? 0 : failed();
}

std::vector<std::string> SlotStorage::folderNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(".", error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  return names;
}

// A console process has no signals to block: Ctrl+C and closing the window
// come through the console's control handler (console/platform_win32.cpp).
void SlotStorage::holdSignals() {}
void SlotStorage::releaseSignals() {}

long SlotStorage::uniqueNumber() { return static_cast<long>(_getpid()); }

bool SlotStorage::processRunning(long number) {
  if (number <= 0) return true;
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(number));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

std::string SlotStorage::failureText() {
  char text[256] = {};
  if (gSystemError != 0 &&
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, gSystemError, 0, text,
                     sizeof text, nullptr) != 0) {
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
      message.pop_back();
    }
    return message;
  }
  strerror_s(text, sizeof text, errno);
  return text;
}

SlotStorage& systemSlotStorage() {
  static SlotStorage storage;
  return storage;
}

}  // namespace kotodama
