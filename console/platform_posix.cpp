// The terminal platform for Linux and other POSIX systems: the terminal's
// bytes in and out, its size, the monotonic clock, sleeping and the Linux
// joystick devices. The terminal's settings, its signals and its restore are
// in platform_posix_terminal.cpp.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef __linux__
#include <linux/joystick.h>
#endif

#include "console/platform.h"
#include "console/platform_posix_terminal.h"

namespace kotodama {

namespace {

bool descriptorOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

bool terminalSize(int& columns, int& rows) {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
  columns = size.ws_col;
  rows = size.ws_row;
  return true;
}

TerminalEncoding localeEncoding() {
  std::setlocale(LC_ALL, "");
  std::string codeset = nl_langinfo(CODESET);
  for (char& c : codeset) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* name : {"SJIS", "SHIFT_JIS", "SHIFT-JIS", "CP932", "WINDOWS-31J", "MS_KANJI"}) {
    if (codeset == name) return TerminalEncoding::ShiftJis;
  }
  return TerminalEncoding::Utf8;
}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() : encoding_(localeEncoding()) {
    // A closed standard descriptor is reported once, with the system's own
    // words, and taken by /dev/null so that no file the game opens later can
    // land on it.
    for (int fd : {STDOUT_FILENO, STDIN_FILENO}) {
      if (descriptorOpen(fd)) continue;
      const std::string message = std::string(std::strerror(EBADF)) + "\n";
      writeAll(descriptorOpen(STDOUT_FILENO) ? STDOUT_FILENO : STDERR_FILENO, message.data(), message.size());
      (fd == STDOUT_FILENO ? hasOutput_ : hasInput_) = false;
      const int null = ::open("/dev/null", fd == STDOUT_FILENO ? O_WRONLY : O_RDONLY);
      if (null >= 0 && null != fd) {
        dup2(null, fd);
        ::close(null);
      }
    }
    holdTerminal(hasInput_, hasOutput_);
    if (terminalShowsScreen()) waitForSize();
  }

  ~PosixPlatform() override { leaveTerminal(); }

  TerminalEncoding encoding() const override { return encoding_; }
  bool hasOutput() const override { return hasOutput_; }
  bool hasInput() const override { return hasInput_; }

  void write(const char* bytes, std::size_t size) override {
    resumeIfContinued();
    if (hasOutput_) writeAll(STDOUT_FILENO, bytes, size);
  }

  std::size_t read(char* buffer, std::size_t capacity) override {
    resumeIfContinued();
    if (!held_.empty()) {  // typed while the terminal was too small
      const std::size_t n = std::min(capacity, held_.size());
      std::memcpy(buffer, held_.data(), n);
      held_.erase(0, n);
      return n;
    }
    if (!hasInput_ || ended_) return 0;
    const ssize_t n = readInput(buffer, capacity, 0);
    if (n < 0) ended_ = true;
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }

  bool inputEnded() const override { return ended_ || !hasInput_; }

  bool answersQueries() const override { return terminalAnswersQueries(); }

  void keyboardFlagsPushed(bool pushed) override { setKeyboardFlagsPushed(pushed); }

  void keySignal(KeySignal key) override {
    raise(key == KeySignal::Interrupt ? SIGINT : key == KeySignal::Quit ? SIGQUIT : SIGTSTP);
  }

  bool screenChanged(TerminalSize& size) override {
    resumeIfContinued();
    if (!takeScreenChange()) return false;
    terminalSize(size.columns, size.rows);
    return true;
  }

  std::int64_t now() override { return monotonicMs(); }

  void waitForInput(std::int64_t deadline) override {
    resumeIfContinued();
    const std::int64_t wait = deadline - now();
    if (wait <= 0 || !held_.empty()) return;
    const int timeout = static_cast<int>(wait > 60'000 ? 60'000 : wait);
    if (inputEnded()) {
      ::poll(nullptr, 0, timeout);
      return;
    }
    pollfd p{STDIN_FILENO, POLLIN, 0};
    ::poll(&p, 1, timeout);
  }

  void sleepUntil(std::int64_t deadline) override {
    for (std::int64_t wait = deadline - now(); wait > 0; wait = deadline - now()) {
      resumeIfContinued();
      ::poll(nullptr, 0, static_cast<int>(wait > 60'000 ? 60'000 : wait));
    }
  }

  JoystickReading joystick(int id) override {
#ifdef __linux__
    if (id < 0 || id > 1) return {};
    Joystick& joy = joysticks_[id];
    if (joy.fd < 0) {
      const char* path = id == 0 ? "/dev/input/js0" : "/dev/input/js1";
      joy.fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      if (joy.fd < 0) return {};
      joy.reading = JoystickReading{true, 32767, 32767, 32767, 0};
    }
    js_event event{};
    for (;;) {
      const ssize_t n = ::read(joy.fd, &event, sizeof event);
      if (n == static_cast<ssize_t>(sizeof event)) {
        const unsigned type = event.type & ~static_cast<unsigned>(JS_EVENT_INIT);
        if (type == JS_EVENT_AXIS) {
          const std::uint32_t value = static_cast<std::uint32_t>(static_cast<int>(event.value) + 32767);
          if (event.number == 0) joy.reading.x = value;
          if (event.number == 1) joy.reading.y = value;
          if (event.number == 2) joy.reading.z = value;
        } else if (type == JS_EVENT_BUTTON && event.number < 32) {
          const std::uint32_t bit = 1u << event.number;
          joy.reading.buttons = event.value ? (joy.reading.buttons | bit) : (joy.reading.buttons & ~bit);
        }
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
      ::close(joy.fd);  // unplugged or unreadable
      joy.fd = -1;
      return {};
    }
    return joy.reading;
#else
    (void)id;
    return {};
#endif
  }

  [[noreturn]] void exitProcess(int status) override {
    leaveTerminal();
    std::exit(status);
  }

 private:
  // Shows a notice until the terminal has at least 80 x 25 cells.
  void waitForSize() {
    int columns = 0, rows = 0;
    bool shown = false;
    while (terminalSize(columns, rows) && (columns < kMinColumns || rows < kMinRows)) {
      const std::string notice = sizeNotice({columns, rows});
      writeAll(STDOUT_FILENO, notice.data(), notice.size());
      shown = true;
      forgetResize();
      // A resize interrupts the wait. Input typed meanwhile waits for the
      // game; once input has ended, the game ends as END does.
      if (!hasInput_) {
        ::poll(nullptr, 0, 250);
        continue;
      }
      char buffer[256];
      const ssize_t got = readInput(buffer, sizeof buffer, 250);
      if (got > 0) {
        if (held_.size() < 65536) held_.append(buffer, static_cast<std::size_t>(got));
      } else if (got < 0) {
        leaveTerminal();
        std::exit(0);
      }
    }
    if (shown) {
      writeAll(STDOUT_FILENO, "\033[H\033[2J", 7);
      forgetResize();  // the resize that ended the wait: the game has yet to draw anything
    }
  }

  struct Joystick {
    int fd = -1;
    JoystickReading reading;
  };

  TerminalEncoding encoding_;
  bool hasOutput_ = true;
  bool hasInput_ = true;
  bool ended_ = false;
  std::string held_;  // input read while waiting for the size
  Joystick joysticks_[2];
};

}  // namespace

std::unique_ptr<Host> openHost() { return std::make_unique<PosixPlatform>(); }

}  // namespace kotodama
