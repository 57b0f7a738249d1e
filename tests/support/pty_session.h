#pragma once
// End-to-end: the real game binary in a pseudo-terminal, driven with real key
// and mouse bytes, its screen read through libvterm.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utmp.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/records.h"
#include "support/vterm_screen.h"

namespace kotodama::test {

// A fresh empty folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/kotodama-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// A scratch folder made the working folder while it lives.
struct InScratchFolder {
  InScratchFolder() { std::filesystem::current_path(folder.path()); }
  ~InScratchFolder() { std::filesystem::current_path(previous); }
  std::filesystem::path previous = std::filesystem::current_path();
  TempDir folder;
};

class PtySession {
 public:
  // Starts the game (KOTODAMA_BINARY) in a new pseudo-terminal of the given
  // size, in folder `workdir` (by default a folder of its own), with LANG=C.UTF-8. As from a shell, the game
  // runs in a process group of its own, the terminal's foreground one, below
  // a parent that waits for it (so the terminal's stop keys would reach it).
  // Sessions may be started from several threads at once. The game starts
  // with the `ignored` signals ignored, as nohup or a shell would leave them.
  explicit PtySession(const std::string& workdir = "", int columns = 80, int rows = 25,
                      const std::vector<int>& ignored = {})
      : screen_(rows, columns) {
    // One start at a time, so that no other session's child inherits this terminal.
    static std::mutex starting;
    const std::lock_guard lock(starting);
    int slave = -1;
    if (openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    tcgetattr(slave, &found_);
    // Another way in, as a shell has: it reads what the game leaves unread.
    shell_ = open(ptsname(master_), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    resize(columns, rows);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(master_, F_SETFL, O_NONBLOCK);
    parent_ = fork();
    if (parent_ < 0) throw std::runtime_error("fork failed");
    if (parent_ == 0) {
      close(master_);
      if (login_tty(slave) == 0) {
        closefrom(3);  // another session's terminal held open here would never hang up
        runGameBelowParent(workdir.empty() ? folder_.path() : workdir, ignored);
      }
      _exit(126);
    }
    close(slave);
    // The game is known by its process group: the terminal's foreground one, once it has taken it.
    const auto end = Clock::now() + Ms(5000);
    while (((game_ = tcgetpgrp(master_)) <= 0 || game_ == parent_) && Clock::now() < end) usleep(1000);
    if (game_ <= 0) game_ = parent_;
  }
  ~PtySession() {  // not copyable, as its folder and screen are not
    if (status_ < 0) {
      ::kill(game_, SIGKILL);
      waitpid(parent_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (shell_ >= 0) close(shell_);
  }

  void send(std::string_view bytes) {
    while (!bytes.empty() && master_ >= 0) {
      const ssize_t n = write(master_, bytes.data(), bytes.size());
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0) bytes.remove_prefix(static_cast<std::size_t>(n));
      if (n <= 0) readAvailable(10);  // let the game catch up
    }
  }
  // Reads the game's output into the screen until the condition holds or
  // the timeout passes; returns whether it held.
  bool waitFor(const std::function<bool(const VtermScreen&)>& condition, int timeoutMs = 10000) {
    for (const auto end = Clock::now() + Ms(timeoutMs); !condition(screen_); readAvailable(20)) {
      if (Clock::now() >= end) return false;
    }
    return true;
  }
  // Waits for the game to end; its wait status, or -1 after the timeout.
  // Unless `reading`, nothing the game writes is read before it has ended.
  int waitExit(int timeoutMs = 10000, bool reading = true) {
    for (const auto end = Clock::now() + Ms(timeoutMs); status_ < 0 && Clock::now() < end;) {
      int status = 0;
      if (waitpid(parent_, &status, WNOHANG) == parent_) status_ = status;
      if (reading) readAvailable(10);
      else usleep(10000);
    }
    if (status_ < 0) readAvailable(50);
    else readToTheEnd();
    return status_;
  }
  void kill(int signal) { ::kill(game_, signal); }
  // The window becomes columns x rows (TIOCSWINSZ; the game gets SIGWINCH),
  // and so does the screen the output is read into.
  void resize(int columns, int rows) {
    const winsize size{static_cast<unsigned short>(rows), static_cast<unsigned short>(columns), 0, 0};
    ioctl(master_, TIOCSWINSZ, &size);
    screen_.resize(rows, columns);
  }
  // The game is stopped (SIGTSTP, SIGSTOP) and waits for SIGCONT.
  bool stopped() const {
    // "pid (name) state ...", the game's name without ") "
    return readFile("/proc/" + std::to_string(game_) + "/stat").value_or("").find(") T ") != std::string::npos;
  }
  // The terminal's settings as the game leaves them, and as they were before it started.
  termios settings() const {
    termios t{};
    tcgetattr(master_, &t);
    return t;
  }
  const termios& found() const { return found_; }
  // A shell's job control: the game's group made the terminal's foreground
  // one again, or the waiting parent's, which leaves the game in the background.
  void foreground(bool game) {
    ::kill(parent_, game ? SIGUSR2 : SIGUSR1);
    const auto end = Clock::now() + Ms(5000);
    while (tcgetpgrp(master_) != (game ? game_ : parent_) && Clock::now() < end) usleep(1000);
  }
  // What the shell reads from the terminal now (the line settings as they are),
  // or, once the game has ended, what it could read then.
  std::string typeAhead() {
    if (shell_ < 0) return leftForShell_;
    char buffer[4096];
    return std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(read(shell_, buffer, sizeof buffer), 0)));
  }
  // The shell writes to the terminal (a job's "Stopped" line, a prompt).
  void shellWrites(std::string_view bytes) { (void)!write(shell_, bytes.data(), bytes.size()); }
  // The terminal's window closes: the terminal hangs up.
  void hangUp() { close(std::exchange(master_, -1)); }
  // The write call the game sleeps in (its arguments and stack), or "".
  std::string blockedWrite() const {
    const std::string call = readFile("/proc/" + std::to_string(game_) + "/syscall").value_or("");
    return call.starts_with(std::to_string(SYS_write) + " ") ? call : "";
  }
  // Bytes the terminal sends on reading some of the game's output, before its own answers.
  std::function<std::string(std::string_view output)> answers;

  VtermScreen& screen() { return screen_; }
  const std::string& output() const { return output_; }
  pid_t pid() const { return game_; }
  const TempDir& folder() const { return folder_; }

 private:
  using Clock = std::chrono::steady_clock;
  using Ms = std::chrono::milliseconds;

  // In the child, on the new terminal: the game in a foreground process group
  // of its own; this process waits for it and ends as it ended.
  [[noreturn]] static void runGameBelowParent(const std::string& workdir, const std::vector<int>& ignored) {
    // SIGUSR1 and SIGUSR2 give the terminal to this process's group or the game's, as `bg` and `fg` do.
    struct sigaction jobs{};
    jobs.sa_handler = [](int signal) { tcsetpgrp(STDIN_FILENO, signal == SIGUSR1 ? getpgrp() : gGame); };
    jobs.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &jobs, nullptr);
    sigaction(SIGUSR2, &jobs, nullptr);
    const pid_t game = gGame = fork();
    if (game == 0) {
      for (int s : ignored) signal(s, SIG_IGN);
      setpgid(0, 0);
      signal(SIGTTOU, SIG_IGN);  // a background group may not take the terminal otherwise
      tcsetpgrp(STDIN_FILENO, getpgrp());
      signal(SIGTTOU, SIG_DFL);
      const char* envp[] = {"LANG=C.UTF-8", "TERM=xterm-256color", "PATH=/usr/bin:/bin", nullptr};
      if (chdir(workdir.c_str()) == 0) execle(KOTODAMA_BINARY, KOTODAMA_BINARY, nullptr, const_cast<char**>(envp));
      _exit(127);
    }
    signal(SIGTTOU, SIG_IGN);  // the terminal's foreground group is changed from the background
    signal(SIGHUP, SIG_IGN);   // a hangup ends the game, and this process ends as it did
    int status = 0;
    waitpid(game, &status, 0);  // its handlers restart it
    if (WIFSIGNALED(status)) {
      signal(WTERMSIG(status), SIG_DFL);
      raise(WTERMSIG(status));
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
  }
  void readAvailable(int timeoutMs) {
    pollfd p{master_, POLLIN, 0};
    if (master_ < 0 || poll(&p, 1, timeoutMs) <= 0) return;
    char buffer[65536];
    for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) take(std::string_view(buffer, static_cast<std::size_t>(n)));
  }

  // Once the game has ended: the shell's way in is closed too, so the
  // terminal hangs up, and its output is read to the end. The kernel hands
  // the last writes to this side a moment later, so only the hang-up says
  // that nothing more will come.
  void readToTheEnd() {
    if (shell_ >= 0) leftForShell_ = typeAhead();
    if (shell_ >= 0) close(std::exchange(shell_, -1));
    // Another session starting may hold this terminal for a moment after its fork.
    for (const auto end = Clock::now() + Ms(10000); master_ >= 0 && Clock::now() < end;) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[65536];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) take(std::string_view(buffer, static_cast<std::size_t>(n)));
      else if (n == 0 || errno != EAGAIN) return;
    }
  }
  void take(std::string_view chunk) {
    output_.append(chunk);
    if (answers) send(answers(chunk));
    screen_.feed(chunk);
    send(screen_.takeOutput());
  }

  static inline pid_t gGame = -1;  // in the waiting parent: the game
  TempDir folder_;
  int master_ = -1;
  int shell_ = -1;
  std::string leftForShell_;
  termios found_{};
  pid_t parent_ = -1;  // the waiting parent, whose status mirrors the game's
  pid_t game_ = -1;
  int status_ = -1;
  VtermScreen screen_;
  std::string output_;
};

}  // namespace kotodama::test
