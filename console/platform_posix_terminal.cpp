// The terminal on POSIX systems while the game holds it: raw input, the
// alternate screen, mouse reporting and the keyboard flags, taken and given
// back; the signals (stops, continues, resizes, hangups and the rest) and job
// control; the restore that every way out ends with.
#include "console/platform_posix_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "console/terminal.h"

namespace kotodama {

namespace {

// Cancels any half-sent sequence before the terminal is given back
// (kGiveBackSequence, which leaves a terminal with no alternate screen clean
// too, not with the game's art under the prompt).
constexpr char kCancel[] = "\030";

// Output that is no terminal (a pipe, a file) still had colours and the
// caret sent to it: they are undone at the end of the stream.
constexpr char kResetSequence[] = "\033[0m\033[?25h";

// How long a restore may wait for a terminal that reads no output: long
// enough for one that is only slow (a busy machine), short enough that a
// stalled one does not hold the exit up for long.
constexpr int kRestoreDeadlineMs = 2000;

// Asks for the primary device attributes, which every terminal answers.
constexpr char kDeviceAttributesQuery[] = "\033[c";

// How long a stop or an exit waits for that answer.
constexpr int kAnswerDeadlineMs = 300;

// What the signal handlers need, kept where they can reach it safely.
struct TerminalState {
  volatile sig_atomic_t active = 0;     // the game runs and has not given the terminal back for good
  volatile sig_atomic_t held = 0;       // the terminal is in the game's settings and shows its screen
  volatile sig_atomic_t continued = 0;  // continued after a stop: the terminal is to be taken again
  volatile sig_atomic_t resized = 0;
  volatile sig_atomic_t screenLost = 0;   // given back and taken again: the screen must be drawn again
  volatile sig_atomic_t flagsPushed = 0;  // the keyboard protocol's flags are pushed
  bool rawInput = false;
  bool screen = false;
  bool resetOnly = false;  // output that is no terminal: colours and caret undone only
  bool hangupEnds = false;        // SIGHUP was at its default action: a hangup ends the game by it
  bool stopInBackground = false;  // SIGTTOU was at its default action: the game stops by it in the background
  termios saved{};
  termios raw{};
};

TerminalState gTerminal;

// Writes what a restore sends without ever blocking for longer than
// kRestoreDeadlineMs in all, even when nobody reads the terminal.
// Async-signal-safe; the descriptor's flags are put back afterwards.
void writeBounded(int fd, const char* bytes, std::size_t size) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int waited = 0;
  while (size > 0 && waited < kRestoreDeadlineMs) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n > 0) {
      bytes += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EINTR && errno != EAGAIN) break;
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 50);
    waited += 50;
  }
  if (flags >= 0) fcntl(fd, F_SETFL, flags);
}

// Reads and drops what the terminal sends up to its answer to a device
// attributes query (CSI ? ... c), or for kAnswerDeadlineMs at most: key
// releases sent before it saw the keyboard flags popped must not reach the
// shell. Async-signal-safe.
void dropInputUpToTheAnswer() {
  const std::int64_t deadline = monotonicMs() + kAnswerDeadlineMs;
  int matched = 0;  // of ESC [ ?, then digits and ';' until the 'c'
  for (std::int64_t now = monotonicMs(); now < deadline; now = monotonicMs()) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(deadline - now)) <= 0) continue;
    char buffer[256];
    const ssize_t n = (p.revents & POLLIN) ? ::read(STDIN_FILENO, buffer, sizeof buffer) : -1;
    if (n <= 0) return;  // hung up
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buffer[i];
      if (matched == 3 && c == 'c') return;
      if (c == '\033') matched = 1;
      else if (matched == 1 || matched == 2) matched = c == "[?"[matched - 1] ? matched + 1 : 0;
      else if (matched == 3 && (c < '0' || c > '9') && c != ';') matched = 0;
    }
  }
}

// Gives the terminal back, for good or for a stop: output it has not taken
// yet is dropped first, so that what reaches it last is the restore.
// Async-signal-safe.
void releaseTerminal() {
  if (!gTerminal.held) return;
  gTerminal.held = 0;
  if (gTerminal.screen) {
    tcflush(STDOUT_FILENO, TCOFLUSH);
    if (gTerminal.flagsPushed) {
      writeBounded(STDOUT_FILENO, kKeyboardPop, sizeof kKeyboardPop - 1);
      writeBounded(STDOUT_FILENO, kDeviceAttributesQuery, sizeof kDeviceAttributesQuery - 1);
      if (gTerminal.rawInput) dropInputUpToTheAnswer();
    }
    writeBounded(STDOUT_FILENO, kCancel, sizeof kCancel - 1);
    writeBounded(STDOUT_FILENO, kGiveBackSequence, sizeof kGiveBackSequence - 1);
  }
  if (gTerminal.resetOnly) writeBounded(STDOUT_FILENO, kResetSequence, sizeof kResetSequence - 1);
  if (gTerminal.rawInput) tcsetattr(STDIN_FILENO, TCSADRAIN, &gTerminal.saved);
}

// The terminal may be taken: this process group is its foreground one, or it
// has no job control (or no longer exists).
bool inForeground() {
  const pid_t owner = tcgetpgrp(gTerminal.rawInput ? STDIN_FILENO : STDOUT_FILENO);
  return owner < 0 || owner == getpgrp();
}

// Takes the terminal (raw input, the alternate screen, mouse reporting, the
// keyboard flags), only as its foreground process group: in the background
// the game waits, stopped by SIGTTOU as any program that needs its terminal,
// until `fg` continues it. Runs in the main loop, never in a handler.
void takeTerminal() {
  while (!inForeground()) {
    if (gTerminal.stopInBackground) raise(SIGTTOU);
    if (!inForeground()) ::poll(nullptr, 0, 100);  // an orphaned group is not stopped: it looks again
  }
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  gTerminal.continued = 0;
  if (gTerminal.active) {
    if (gTerminal.rawInput) tcsetattr(STDIN_FILENO, TCSADRAIN, &gTerminal.raw);
    if (gTerminal.screen) {
      writeAll(STDOUT_FILENO, kEnterSequence, sizeof kEnterSequence - 1);
      if (gTerminal.flagsPushed) writeAll(STDOUT_FILENO, kKeyboardPush, sizeof kKeyboardPush - 1);
    }
    gTerminal.held = 1;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void onStopSignal(int signal) {
  leaveTerminal();
  // The handler was reset to the default action on entry; the signal stays
  // blocked until the handler returns, then ends the process as it would have.
  raise(signal);
}

void onResize(int) { gTerminal.resized = 1; }

void installSuspendHandler();

// Ctrl+Z or kill -TSTP: the terminal is given back, the process stops as it
// would have, and on `fg` the terminal is taken again and the game repaints.
void onSuspend(int) {
  const int savedErrno = errno;
  releaseTerminal();
  signal(SIGTSTP, SIG_DFL);
  raise(SIGTSTP);  // pending until unblocked just below: the process stops there
  sigset_t suspend;
  sigemptyset(&suspend);
  sigaddset(&suspend, SIGTSTP);
  pthread_sigmask(SIG_UNBLOCK, &suspend, nullptr);
  // Continued: the main loop takes the terminal again (onContinue).
  pthread_sigmask(SIG_BLOCK, &suspend, nullptr);
  installSuspendHandler();
  errno = savedErrno;
}

void installSuspendHandler() {
  struct sigaction suspend{};
  sigfillset(&suspend.sa_mask);
  suspend.sa_handler = onSuspend;
  sigaction(SIGTSTP, &suspend, nullptr);
}

void onContinue(int) { gTerminal.continued = 1; }

// A signal the game was started with ignored (nohup, a shell without job
// control) stays ignored; only one at its default action is caught.
bool atDefault(int signal) {
  struct sigaction old{};
  return sigaction(signal, nullptr, &old) == 0 && (old.sa_flags & SA_SIGINFO) == 0 && old.sa_handler == SIG_DFL;
}

void catchIfDefault(int signal, const struct sigaction& action) {
  if (atDefault(signal)) sigaction(signal, &action, nullptr);
}

void installHandlers() {
  gTerminal.hangupEnds = atDefault(SIGHUP);
  gTerminal.stopInBackground = atDefault(SIGTTOU);
  struct sigaction action{};
  sigfillset(&action.sa_mask);  // nothing interrupts a restore half way
  action.sa_handler = onStopSignal;
  action.sa_flags = SA_RESETHAND;
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS,
                SIGXCPU, SIGXFSZ, SIGALRM, SIGUSR1, SIGUSR2}) {
    catchIfDefault(s, action);
  }
  struct sigaction resize{};
  sigemptyset(&resize.sa_mask);
  resize.sa_handler = onResize;
  catchIfDefault(SIGWINCH, resize);
  struct sigaction resume{};
  sigfillset(&resume.sa_mask);
  resume.sa_handler = onContinue;
  resume.sa_flags = SA_RESTART;
  catchIfDefault(SIGCONT, resume);
  if (atDefault(SIGTSTP)) installSuspendHandler();
  signal(SIGPIPE, SIG_IGN);
}

}  // namespace

void writeAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 100);
        continue;
      }
      return;
    }
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
}

std::int64_t monotonicMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}

// After any continue (`fg`, kill -CONT, also after a stop that was not the
// game's own): the terminal is taken again and the screen drawn whole.
void resumeIfContinued() {
  if (!gTerminal.continued || !gTerminal.active) return;
  takeTerminal();
  gTerminal.screenLost = 1;
}

// Reads what standard input holds, waiting up to `timeoutMs` for something:
// the bytes read, 0 for none yet, -1 once input has ended. A terminal ends
// input only when it hangs up, and then the game ends by SIGHUP where that
// signal was left at its default action.
ssize_t readInput(char* buffer, std::size_t capacity, int timeoutMs) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (::poll(&p, 1, timeoutMs) <= 0) return 0;
  if (p.revents & POLLIN) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, capacity);
    if (n > 0) return n;
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return 0;
    // In raw mode 0 means only that nothing is left now (another process took it).
    if (n == 0 && gTerminal.rawInput && (p.revents & POLLHUP) == 0) return 0;
  } else if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
    return 0;
  }
  if (gTerminal.rawInput && !inForeground()) {  // a read in the background: wait for the foreground
    gTerminal.continued = 1;
    return 0;
  }
  if (gTerminal.rawInput && gTerminal.hangupEnds) raise(SIGHUP);
  return -1;
}

// Gives the terminal back for good. Async-signal-safe; runs at most once.
void leaveTerminal() {
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &old);
  gTerminal.active = 0;
  releaseTerminal();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

void holdTerminal(bool hasInput, bool hasOutput) {
  installHandlers();
  if (hasInput && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &gTerminal.saved) == 0) {
    gTerminal.raw = gTerminal.saved;
    gTerminal.raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
    gTerminal.raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    gTerminal.raw.c_cc[VMIN] = 0;
    gTerminal.raw.c_cc[VTIME] = 0;
    gTerminal.rawInput = true;
  }
  gTerminal.screen = hasOutput && isatty(STDOUT_FILENO);
  gTerminal.resetOnly = hasOutput && !gTerminal.screen;
  gTerminal.active = 1;
  takeTerminal();
}

bool terminalShowsScreen() { return gTerminal.screen; }

bool terminalAnswersQueries() { return gTerminal.rawInput && gTerminal.screen; }

void setKeyboardFlagsPushed(bool pushed) { gTerminal.flagsPushed = pushed ? 1 : 0; }

bool takeScreenChange() {
  if (!gTerminal.resized && !gTerminal.screenLost) return false;
  gTerminal.resized = 0;
  gTerminal.screenLost = 0;
  return true;
}

void forgetResize() { gTerminal.resized = 0; }

}  // namespace kotodama
