#pragma once
// Shared by the hostile-input and fault tests: games side by side in
// pseudo-terminals (the title animation is waited for once per test), each led
// through its screens by steps, and the checks every game must pass.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/pty_session.h"
#include "support/scripted_platform.h"

namespace kotodama::test {

using Condition = std::function<bool(const VtermScreen&)>;
using Action = std::function<void(PtySession&)>;
struct Step {
  Condition until;
  Action then;  // may be empty
};
using Steps = std::vector<Step>;

inline Steps with(Steps steps, const Steps& more) {
  steps.insert(steps.end(), more.begin(), more.end());
  return steps;
}
inline Action sends(std::string bytes) {
  return [bytes](PtySession& game) { game.send(bytes); };
}
inline bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }
inline bool yesLit(const VtermScreen& s) { return s.cell(26, 24).bg == 12; }       // the status screen's YES
inline bool overwriteYesLit(const VtermScreen& s) { return s.cell(25, 13).bg == 12; }
inline Condition boxLit(int index) {
  return [index](const VtermScreen& s) { return s.cell(29 * (index % 3) + 2, 11 * (index / 3) + 2).bg == 12; };
}
// The text on the screen, also where it runs on from one row into the next.
inline Condition shows(std::string text) {
  return [text](const VtermScreen& s) {
    std::string all = s.dump();
    std::erase(all, '\n');
    return all.find(text) != std::string::npos;
  };
}
// Holds `ms` after it is first asked (once the step before it is done).
inline Condition after(int ms) {
  auto since = std::make_shared<std::chrono::steady_clock::time_point>();
  return [ms, since](const VtermScreen&) {
    if (*since == std::chrono::steady_clock::time_point{}) *since = std::chrono::steady_clock::now();
    return std::chrono::steady_clock::now() - *since >= std::chrono::milliseconds(ms);
  };
}

// From the title to each screen; BATTLE loads slot 1.
inline Steps toNameEntry() { return {{menuReady, sends("\r")}, {shows("名前を入力してください。"), {}}}; }
inline Steps toStatus(const std::string& name) {
  return with(toNameEntry(), {{after(0), sends(name + "\r")}, {shows("このキャラクターをセーブしますか？"), {}}});
}
inline Steps toSaveSlots(const std::string& name) {
  return with(toStatus(name), {{yesLit, sends("\r")}, {shows("[]   戻る   []"), {}}});
}
inline Steps toLoadSlots() {
  return {{menuReady, sends("\x1b[B")}, {[](const VtermScreen& s) { return s.cell(19, 17).text == ">"; }, sends("\r")},
          {boxLit(0), {}}};
}
inline Steps toOpponentName() {
  return with(toLoadSlots(), {{after(0), sends("\r")}, {shows("相手の名前を入力してください。"), {}}});
}

struct Game {
  explicit Game(std::string label) : name(std::move(label)) {}
  void start(int columns = 80, int rows = 25) {
    pty = std::make_unique<PtySession>(dir->path(), std::vector<std::string>{}, columns, rows);
    std::error_code ignored;  // the terminal's device (for stty), once the game holds it
    for (int i = 0; i < 1000 && !tty.starts_with("/dev/pts/"); ++i, usleep(1000)) {
      tty = std::filesystem::read_symlink("/proc/" + std::to_string(pty->pid()) + "/fd/0", ignored).string();
    }
  }
  Game& then(const Steps& more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return *this;
  }
  std::string file(const char* fileName) const { return dir->file(fileName); }
  std::string name;
  std::unique_ptr<TempDir> dir = std::make_unique<TempDir>();
  std::unique_ptr<PtySession> pty;
  Steps steps;
  std::size_t next = 0;
  std::string tty;
};

// Runs every game's steps, all games at once, reading each one's output.
inline void drive(std::deque<Game>& games, int timeoutMs = 60000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (bool busy = true; busy;) {
    busy = false;
    for (Game& g : games) {
      if (g.next >= g.steps.size()) continue;
      busy = true;
      if (!g.pty->waitFor(g.steps[g.next].until, 2)) continue;
      if (g.steps[g.next].then) g.steps[g.next].then(*g.pty);
      ++g.next;
    }
    if (!busy || std::chrono::steady_clock::now() < end) continue;
    for (Game& g : games) {
      if (g.next < g.steps.size()) ADD_FAILURE() << g.name << ": stuck at step " << g.next << "\n" << g.pty->screen().dump();
    }
    return;
  }
}

// Every byte but Enter (CR, LF) and the terminal's signal keys (Ctrl+C,
// Ctrl+\), in order; then random bytes of the same kinds, where ESC never
// starts a key sequence ('[' or 'O' after it) and no Ctrl+D ends a typed line;
// then sequences no terminal sends whole. Nothing in it is Enter or a click.
// Under 4 kB: a terminal holds that much for a program not reading yet.
inline std::string storm(unsigned seed) {
  const auto banned = [](int b) { return b == 0x03 || b == 0x0A || b == 0x0D || b == 0x1C; };
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (!banned(b)) bytes += static_cast<char>(b);
  }
  std::mt19937 random(seed);
  while (bytes.size() < 2000) {
    const int b = static_cast<int>(random() % 256);
    if (!banned(b) && b != 0x04 && !(bytes.back() == '\x1b' && (b == '[' || b == 'O'))) bytes += static_cast<char>(b);
  }
  return bytes + "\x07\x1b\\\x1b[<35;99999999999999999999;2147483648M\x1b[<35;0;0M\x1b[M#\xff\xff\x1b[" +
         std::string(300, '9') + "~\x1b]0;" + std::string(1000, 'a') + "\x07\x1bPq#0;2\x1b\\\x1b[200~paste\x1b[201~" +
         "\x1b[?1;2c\x1b[12;40R\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe3\x81\x1b[<35;1;1M";
}

inline std::string slotRecord(const std::string& name, int hp, int attack, int defense, int speed) {
  std::string bytes = name;
  bytes.resize(12, '\0');
  for (int v : {hp, attack, defense, speed}) {
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((static_cast<unsigned>(v) >> shift) & 0xFF);
  }
  return bytes;
}
inline void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline std::vector<std::string> entries(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Outside its escape sequences (CSI only) the game writes no C0 control but
// those `allowed`, no DEL, no C1 control; no cell holds a control character.
inline void expectNoStrayControls(const Game& g, std::string_view allowed = "\b\x18") {
  const std::string& out = g.pty->output();
  const auto at = [&](std::size_t i) { return i < out.size() ? static_cast<unsigned char>(out[i]) : 0u; };
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (at(i) == 0x1B && at(i + 1) == '[') {
      for (i += 2; at(i) >= 0x20 && at(i) < 0x40;) ++i;
      if (at(i) >= 0x40 && at(i) < 0x7F) continue;
    }
    if ((at(i) < 0x20 && allowed.find(out[i]) == allowed.npos) || at(i) == 0x7F || (at(i) == 0xC2 && at(i + 1) < 0xA0)) {
      ADD_FAILURE() << g.name << ": control byte " << at(i) << " at " << i << " of the output";
      return;
    }
  }
  for (int row = 1; row <= 25; ++row) {
    for (int column = 1; column <= 80; ++column) {
      for (unsigned char c : g.pty->screen().cell(column, row).text) EXPECT_FALSE(c < 0x20 || c == 0x7F) << g.name;
    }
  }
}

// After the game has ended, the terminal is as it was: its settings (also as
// `stty -g` prints them), the main screen, the caret. The settings before are
// those of a new terminal, read from one of our own: the game may have taken
// its own before the test could read them.
inline void expectRestored(const Game& g) {
  static const termios t = [] {
    termios settings{};
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return settings;
    tcgetattr(slave, &settings);
    close(master);
    close(slave);
    return settings;
  }();
  char field[16];
  std::snprintf(field, sizeof field, "%x", t.c_iflag);
  std::string before = field;
  for (unsigned value : {t.c_oflag, t.c_cflag, t.c_lflag}) before += (std::snprintf(field, sizeof field, ":%x", value), field);
  for (unsigned value : t.c_cc) before += (std::snprintf(field, sizeof field, ":%x", value), field);
  std::string now(512, '\0');
  if (FILE* p = popen(("stty -g -F " + g.tty).c_str(), "r")) {
    now.resize(std::fread(now.data(), 1, now.size(), p));
    pclose(p);
  }
  EXPECT_EQ(now, before + "\n") << g.name;
  EXPECT_TRUE(sameSettings(g.pty->settings(), t)) << g.name;
  EXPECT_FALSE(g.pty->screen().altScreen()) << g.name;
  EXPECT_TRUE(g.pty->screen().cursorVisible()) << g.name;
}

// The game ends (by `signal`, sent unless `send` is false, or by itself with
// status 0) and gives the terminal back (nothing can, after SIGKILL). When
// `allowed` is given, its folder then holds nothing but data1.bin, as one of
// them (copies left by SIGKILL aside: nothing can remove them).
inline Action ends(const Game& g, int signal = 0, bool send = true, std::vector<std::string> allowed = {}) {
  return [&g, signal, send, allowed](PtySession& game) {
    if (signal != 0 && send) game.kill(signal);
    EXPECT_EQ(game.waitExit(), signal) << g.name;  // the wait status: killed by the signal, or exit(0)
    if (signal != SIGKILL) expectRestored(g);
    for (const std::string& name : allowed.empty() ? std::vector<std::string>{} : entries(*g.dir)) {
      if (signal == SIGKILL && name.ends_with(".tmp")) continue;
      EXPECT_EQ(name, "data1.bin") << g.name;
      EXPECT_NE(std::ranges::find(allowed, fileBytes(g.file("data1.bin"))), allowed.end()) << g.name;
    }
  };
}

}  // namespace kotodama::test
