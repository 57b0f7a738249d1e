#include "support/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <mutex>
#include <stdexcept>

namespace kotodama::test {

namespace {
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

winsize window(int columns, int rows) {
  return {static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
}

// In the child, on the new terminal: the game in a foreground process group
// of its own; this process waits for it and ends as it ended.
[[noreturn]] void runGameBelowParent(const std::string& workdir) {
  const pid_t game = fork();
  if (game == 0) {
    setpgid(0, 0);
    signal(SIGTTOU, SIG_IGN);  // a background group may not take the terminal otherwise
    tcsetpgrp(STDIN_FILENO, getpgrp());
    signal(SIGTTOU, SIG_DFL);
    const char* envp[] = {"LANG=C.UTF-8", "TERM=xterm-256color", "PATH=/usr/bin:/bin", nullptr};
    if (chdir(workdir.c_str()) == 0) execle(KOTODAMA_BINARY, KOTODAMA_BINARY, nullptr, const_cast<char**>(envp));
    _exit(127);
  }
  int status = 0;
  waitpid(game, &status, 0);  // no handler here could interrupt it
  if (WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    raise(WTERMSIG(status));
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
}
}  // namespace

TempDir::TempDir() {
  char pattern[] = "/tmp/kotodama-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

PtySession::PtySession(const std::string& workdir, int columns, int rows) : screen_(rows, columns) {
  // One start at a time, so that no other session's child inherits this terminal.
  static std::mutex starting;
  const std::lock_guard lock(starting);
  winsize size = window(columns, rows);
  int slave = -1;
  if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty failed");
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(master_, F_SETFL, O_NONBLOCK);
  parent_ = fork();
  if (parent_ < 0) throw std::runtime_error("fork failed");
  if (parent_ == 0) {
    close(master_);
    if (login_tty(slave) == 0) runGameBelowParent(workdir.empty() ? folder_.path() : workdir);
    _exit(126);
  }
  close(slave);
  // The game is known by its process group: the terminal's foreground one, once it has taken it.
  const auto end = Clock::now() + Ms(5000);
  while (((game_ = tcgetpgrp(master_)) <= 0 || game_ == parent_) && Clock::now() < end) usleep(1000);
  if (game_ <= 0) game_ = parent_;
}

PtySession::~PtySession() {
  if (status_ < 0) {
    ::kill(game_, SIGKILL);
    waitpid(parent_, nullptr, 0);
  }
  close(master_);
}

void PtySession::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n < 0 && errno != EAGAIN && errno != EINTR) return;
    if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
    if (n <= 0) readAvailable(10);  // let the game catch up
  }
}

void PtySession::readAvailable(int timeoutMs) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return;
  char buffer[65536];
  for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) {
    output_.append(buffer, static_cast<std::size_t>(n));
    screen_.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    send(screen_.takeOutput());
  }
}

bool PtySession::waitFor(const std::function<bool(const VtermScreen&)>& condition, int timeoutMs) {
  for (const auto end = Clock::now() + Ms(timeoutMs); !condition(screen_); readAvailable(20)) {
    if (Clock::now() >= end) return false;
  }
  return true;
}

int PtySession::waitExit(int timeoutMs) {
  for (const auto end = Clock::now() + Ms(timeoutMs); status_ < 0 && Clock::now() < end; readAvailable(10)) {
    int status = 0;
    if (waitpid(parent_, &status, WNOHANG) == parent_) status_ = status;
  }
  readAvailable(50);
  return status_;
}

void PtySession::kill(int signal) { ::kill(game_, signal); }

void PtySession::resize(int columns, int rows) {
  const winsize size = window(columns, rows);
  ioctl(master_, TIOCSWINSZ, &size);
  screen_.resize(rows, columns);
}

bool PtySession::stopped() const {
  std::ifstream stat("/proc/" + std::to_string(game_) + "/stat");
  std::string pid, name, state;
  return stat >> pid >> name >> state && state == "T";  // the game's name has no blanks
}

termios PtySession::settings() const {
  termios t{};
  tcgetattr(master_, &t);
  return t;
}

}  // namespace kotodama::test
