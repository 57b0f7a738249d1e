#include "support/pty_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <utmp.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace kotodama::test {

namespace {
std::int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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

PtySession::PtySession(const std::string& workdir, std::vector<std::string> environment, int columns, int rows)
    : screen_(rows, columns) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  std::vector<std::string> env = {"LANG=C.UTF-8", "TERM=xterm-256color", "PATH=/usr/bin:/bin"};
  for (std::string& entry : environment) {
    const std::string name = entry.substr(0, entry.find('='));
    std::erase_if(env, [&](const std::string& e) { return e.substr(0, e.find('=')) == name; });
    env.push_back(std::move(entry));
  }
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // The terminal's settings are read before the game can change them.
  int slave = -1;
  if (openpty(&master_, &slave, nullptr, nullptr, &size) != 0) throw std::runtime_error("openpty failed");
  tcgetattr(master_, &initial_);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    close(master_);
    if (login_tty(slave) != 0 || chdir(workdir.c_str()) != 0) _exit(126);
    char* argv[] = {const_cast<char*>(KOTODAMA_BINARY), nullptr};
    execve(KOTODAMA_BINARY, argv, envp.data());
    _exit(127);
  }
  close(slave);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtySession::~PtySession() {
  if (pid_ > 0 && status_ < 0) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
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
  for (;;) {
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) return;
    output_.append(buffer, static_cast<std::size_t>(n));
    screen_.feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    const std::string answer = screen_.takeOutput();
    if (!answer.empty()) send(answer);
  }
}

bool PtySession::waitFor(const std::function<bool(const VtermScreen&)>& condition, int timeoutMs) {
  const std::int64_t end = nowMs() + timeoutMs;
  for (;;) {
    if (condition(screen_)) return true;
    const std::int64_t left = end - nowMs();
    if (left <= 0) return false;
    readAvailable(static_cast<int>(std::min<std::int64_t>(left, 20)));
  }
}

bool PtySession::waitForText(std::string_view utf8, int timeoutMs) {
  return waitFor([&](const VtermScreen& s) { return s.contains(utf8); }, timeoutMs);
}

void PtySession::pump(int ms) {
  const std::int64_t end = nowMs() + ms;
  for (std::int64_t left = ms; left > 0; left = end - nowMs()) readAvailable(static_cast<int>(left));
}

int PtySession::waitExit(int timeoutMs) {
  if (status_ >= 0) return status_;
  const std::int64_t end = nowMs() + timeoutMs;
  for (;;) {
    readAvailable(10);
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      readAvailable(50);
      return status_;
    }
    if (nowMs() >= end) return -1;
  }
}

void PtySession::kill(int signal) { ::kill(pid_, signal); }

void PtySession::resize(int columns, int rows) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(columns);
  size.ws_row = static_cast<unsigned short>(rows);
  ioctl(master_, TIOCSWINSZ, &size);
}

termios PtySession::settings() const {
  termios t{};
  tcgetattr(master_, &t);
  return t;
}

bool sameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace kotodama::test
