#pragma once
// End-to-end: the real game binary in a pseudo-terminal, driven with real key
// and mouse bytes, its screen read through libvterm.
#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

class PtySession {
 public:
  // Starts the game (KOTODAMA_BINARY) in a new 80 x 25 pseudo-terminal, in
  // folder `workdir`, with LANG=C.UTF-8 unless `environment` says otherwise
  // ("NAME=value" entries added to a minimal environment).
  explicit PtySession(const std::string& workdir, std::vector<std::string> environment = {}, int columns = 80,
                      int rows = 25);
  ~PtySession();
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  void send(std::string_view bytes);
  // Reads the game's output into the screen until the condition holds or
  // the timeout passes; returns whether it held.
  bool waitFor(const std::function<bool(const VtermScreen&)>& condition, int timeoutMs = 10000);
  bool waitForText(std::string_view utf8, int timeoutMs = 10000);
  // Reads output for a while (to let the game act on what it was sent).
  void pump(int ms);
  // Waits for the game to end; its wait status, or -1 after the timeout.
  int waitExit(int timeoutMs = 10000);
  void kill(int signal);
  void resize(int columns, int rows);

  VtermScreen& screen() { return screen_; }
  const std::string& output() const { return output_; }
  pid_t pid() const { return pid_; }
  // The terminal's settings as the game has them (or left them).
  termios settings() const;
  // The settings the terminal had before the game started.
  const termios& initialSettings() const { return initial_; }

 private:
  void readAvailable(int timeoutMs);
  int master_ = -1;
  pid_t pid_ = -1;
  int status_ = -1;
  termios initial_{};
  VtermScreen screen_;
  std::string output_;
};

// Same settings as a program restoring a terminal should leave them.
bool sameSettings(const termios& a, const termios& b);

}  // namespace kotodama::test
