#pragma once
// End-to-end: the real game binary in a pseudo-terminal, driven with real key
// and mouse bytes, its screen read through libvterm.
#include <sys/types.h>
#include <termios.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "support/vterm_screen.h"

namespace kotodama::test {

// A fresh empty folder under /tmp, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
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
  // Sessions may be started from several threads at once.
  explicit PtySession(const std::string& workdir = "", int columns = 80, int rows = 25);
  ~PtySession();  // not copyable, as its folder and screen are not

  void send(std::string_view bytes);
  // Reads the game's output into the screen until the condition holds or
  // the timeout passes; returns whether it held.
  bool waitFor(const std::function<bool(const VtermScreen&)>& condition, int timeoutMs = 10000);
  // Waits for the game to end; its wait status, or -1 after the timeout.
  int waitExit(int timeoutMs = 10000);
  void kill(int signal);
  // The window becomes columns x rows (TIOCSWINSZ; the game gets SIGWINCH),
  // and so does the screen the output is read into.
  void resize(int columns, int rows);
  // The game is stopped (SIGTSTP, SIGSTOP) and waits for SIGCONT.
  bool stopped() const;
  // The terminal's settings as the game leaves them.
  termios settings() const;

  VtermScreen& screen() { return screen_; }
  const std::string& output() const { return output_; }
  pid_t pid() const { return game_; }
  const TempDir& folder() const { return folder_; }

 private:
  void readAvailable(int timeoutMs);
  TempDir folder_;
  int master_ = -1;
  pid_t parent_ = -1;  // the waiting parent, whose status mirrors the game's
  pid_t game_ = -1;
  int status_ = -1;
  VtermScreen screen_;
  std::string output_;
};

}  // namespace kotodama::test
