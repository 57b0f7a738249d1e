#include "support/pty_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kotodama::test {

namespace {
std::int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// In the child, on the new terminal: the game in a foreground process group
// of its own; this process waits for it and ends as it ended. Its pid goes
// to `report` first.
[[noreturn]] void runGameBelowParent(const std::string& workdir, int report) {
  const pid_t game = fork();
  if (game == 0) {
    setpgid(0, 0);
    signal(SIGTTOU, SIG_IGN);  // a background group may not take the terminal otherwise
    tcsetpgrp(STDIN_FILENO, getpgrp());
    signal(SIGTTOU, SIG_DFL);
    char lang[] = "LANG=C.UTF-8", term[] = "TERM=xterm-256color", path[] = "PATH=/usr/bin:/bin";
    char* envp[] = {lang, term, path, nullptr};
    char* argv[] = {const_cast<char*>(KOTODAMA_BINARY), nullptr};
    if (chdir(workdir.c_str()) == 0) execve(KOTODAMA_BINARY, argv, envp);
    _exit(127);
  }
  if (write(report, &game, sizeof game) != sizeof game) _exit(126);
  close(report);
  int status = 0;
  while (waitpid(game, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) {
    signal(WTERMSIG(status), SIG_DFL);
    raise(WTERMSIG(status));
  }
  _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
}
}  // namespace

TempDir::TempDir() {
  char pattern[] = "/tmp/kotodama-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

PtySession::PtySession(const std::string& workdir, int columns, int rows) : screen_(rows, columns) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  int slave = -1, report[2];
  if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0 || pipe(report) != 0) {
    throw std::runtime_error("openpty failed");
  }
  device_ = ptsname(master_);
  parent_ = fork();
  if (parent_ < 0) throw std::runtime_error("fork failed");
  if (parent_ == 0) {
    close(master_);
    close(report[0]);
    if (login_tty(slave) != 0) _exit(126);
    runGameBelowParent(workdir, report[1]);
  }
  close(slave);
  close(report[1]);
  if (read(report[0], &game_, sizeof game_) != sizeof game_) game_ = parent_;
  close(report[0]);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtySession::~PtySession() {
  if (parent_ > 0 && status_ < 0) {
    ::kill(game_, SIGKILL);
    waitpid(parent_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

void PtySession::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      readAvailable(10);  // let the game catch up
    }
  }
}

void PtySession::readAvailable(int timeoutMs) {
  pollfd p{master_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return;
  char buffer[65536];
  for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) {
    output_.append(buffer, static_cast<std::size_t>(n));
    screen_.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    const std::string answer = screen_.takeOutput();
    if (!answer.empty()) send(answer);
  }
}

bool PtySession::waitFor(const std::function<bool(const VtermScreen&)>& condition, int timeoutMs) {
  for (const std::int64_t end = nowMs() + timeoutMs; !condition(screen_);) {
    const std::int64_t left = end - nowMs();
    if (left <= 0) return false;
    readAvailable(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
  return true;
}

int PtySession::waitExit(int timeoutMs) {
  for (const std::int64_t end = nowMs() + timeoutMs; status_ < 0 && nowMs() < end;) {
    readAvailable(10);
    int status = 0;
    if (waitpid(parent_, &status, WNOHANG) == parent_) {
      status_ = status;
      readAvailable(50);
    }
  }
  return status_;
}

void PtySession::kill(int signal) { ::kill(game_, signal); }

void PtySession::resize(int columns, int rows) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ioctl(master_, TIOCSWINSZ, &size);
  screen_.resize(rows, columns);
}

bool PtySession::stopped() const {
  std::ifstream stat("/proc/" + std::to_string(game_) + "/stat");
  std::string pid, name, state;
  stat >> pid >> name >> state;  // the game's name has no blanks
  return state == "T";
}

termios PtySession::settings() const {
  termios t{};
  tcgetattr(master_, &t);
  return t;
}

void drive(std::deque<Game>& games, int timeoutMs) {
  const std::int64_t end = nowMs() + timeoutMs;
  for (bool busy = true; busy;) {
    busy = false;
    for (Game& g : games) {
      if (g.next >= g.steps.size()) continue;
      busy = true;
      if (!g.pty->waitFor(g.steps[g.next].until, 2)) continue;
      if (g.steps[g.next].then) g.steps[g.next].then(*g.pty);
      ++g.next;
    }
    if (!busy || nowMs() < end) continue;
    for (Game& g : games) {
      if (g.next < g.steps.size()) ADD_FAILURE() << g.name << ": stuck at step " << g.next << "\n" << g.pty->screen().dump();
    }
    return;
  }
}

}  // namespace kotodama::test
