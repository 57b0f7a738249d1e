// The real game (KOTODAMA_BINARY) in a pseudo-terminal, as a player runs it:
// start-up time, the title's, a menu pass's and the battle opening's timing,
// bytes and reads per frame, and the CPU it uses while it waits for a key.
// Every read of the terminal is timed; the game's own CPU time comes from
// /proc/<pid>/stat, its write(2) calls and the bytes they wrote from
// /proc/<pid>/io.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kotodama::bench {
namespace {

double nowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Read {
  double ms;          // since the game was started
  std::size_t bytes;  // what one read of the terminal returned
  std::size_t end;    // where it ends in the output
};

class PtyGame {
 public:
  // `zeros`: standard input reads NUL bytes without end (/dev/zero), the
  // terminal is the output only.
  explicit PtyGame(const char* folder, bool zeros = false) {
    winsize size{};
    size.ws_col = 80;
    size.ws_row = 25;
    start_ = nowMs();
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      char* argv[] = {const_cast<char*>(KOTODAMA_BINARY), nullptr};
      char* envp[] = {const_cast<char*>("LANG=C.UTF-8"), const_cast<char*>("TERM=xterm-256color"), nullptr};
      const int zero = zeros ? open("/dev/zero", O_RDONLY) : -1;
      if (zero >= 0) dup2(zero, STDIN_FILENO);
      if (chdir(folder) == 0) execve(KOTODAMA_BINARY, argv, envp);
      _exit(127);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyGame() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(master_);
  }

  void send(const std::string& bytes) { (void)!write(master_, bytes.data(), bytes.size()); }
  // Reads until `text` has come since output position `from`, or for at most `limitMs`.
  bool waitFor(const std::string& text, std::size_t from, double limitMs = 15000) {
    const double end = nowMs() + limitMs;
    while (output.find(text, from) == std::string::npos) {
      if (nowMs() >= end) return false;
      readFor(10);
    }
    return true;
  }
  void readFor(double ms) {
    for (double end = nowMs() + ms, left = ms; left > 0; left = end - nowMs()) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(std::ceil(left))) <= 0) continue;
      char buffer[65536];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
      output.append(buffer, static_cast<std::size_t>(n));
      reads.push_back({nowMs() - start_, static_cast<std::size_t>(n), output.size()});
    }
  }
  // The game's CPU time so far (user and system), in milliseconds.
  double cpuMs() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    double user = 0, system = 0;
    for (int k = 3; k < 14; ++k) fields >> skip;  // state .. cmajflt
    fields >> user >> system;
    return (user + system) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  // A count from /proc/<pid>/io: "syscw" (write calls), "wchar" (bytes written).
  double io(const std::string& key) const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/io");
    std::string name;
    double value = 0;
    while (in >> name >> value) {
      if (name == key + ":") return value;
    }
    return 0;
  }
  // CPU used while the game waits `ms` for a key, in percent of one core.
  double idleCpuPercent(double ms) {
    const double cpu = cpuMs(), wall = nowMs();
    readFor(ms);
    return 100.0 * (cpuMs() - cpu) / (nowMs() - wall);
  }
  // The first read at or after output position `at` reached it.
  const Read& readAt(std::size_t at) const {
    return *std::find_if(reads.begin(), reads.end(), [at](const Read& r) { return r.end > at; });
  }

  std::string output;
  std::vector<Read> reads;

 private:
  double start_ = 0;
  int master_ = -1;
  pid_t pid_ = -1;
};

// Reads closer than this belong to one frame (frames are 50 ms or more apart).
constexpr double kFrameGapMs = 10;

// The frames shown in (fromMs, toMs]: reads closer than 10 ms belong to one
// frame (frames are 50 ms or more apart).
double framesIn(const std::vector<Read>& reads, double fromMs, double toMs) {
  double frames = 0, last = fromMs;
  for (const Read& r : reads) {
    if (r.ms <= fromMs || r.ms > toMs) continue;
    if (r.ms - last >= 10) ++frames;
    last = r.ms;
  }
  return frames;
}

// A scratch folder holding a saved fighter in slot 1.
struct Folder {
  Folder() {
    if (mkdtemp(path) == nullptr) throw std::runtime_error("mkdtemp");
    std::ofstream(std::string(path) + "/data1.bin", std::ios::binary)
        << std::string("hero\0\0\0\0\0\0\0\0\x3c\x01\0\0\xfa\0\0\0\xe6\0\0\0\x20\0\0\0", 28);
  }
  ~Folder() {
    unlink((std::string(path) + "/data1.bin").c_str());
    rmdir(path);
  }
  char path[32] = "/tmp/kotodama-bench-XXXXXX";
};

const std::string kMenuPass = "\x1b[13;19H>";  // the highlighted CREATE box's mark
const std::string kTitleTop = "[]:::";         // the background's first row

// Start-up: from starting the program to its first byte and first frame.
void BM_PtyStartup(benchmark::State& state) {
  std::vector<double> firstByte, firstFrame;
  for (auto _ : state) {
    Folder folder;
    PtyGame game(folder.path);
    if (!game.waitFor(kTitleTop, 0, 5000)) state.SkipWithError("no title");
    firstByte.push_back(game.reads.front().ms);
    firstFrame.push_back(game.readAt(game.output.find(kTitleTop)).ms);
  }
  std::sort(firstByte.begin(), firstByte.end());
  std::sort(firstFrame.begin(), firstFrame.end());
  state.counters["first_byte_ms"] = firstByte[firstByte.size() / 2];
  state.counters["first_frame_ms"] = firstFrame[firstFrame.size() / 2];
}
BENCHMARK(BM_PtyStartup)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The title animation against its 5,070 ticks, its frames, the menu's passes
// against their 50 ticks, and the idle menu's CPU over 10 s.
void BM_PtyTitleAndMenu(benchmark::State& state) {
  for (auto _ : state) {
    Folder folder;
    PtyGame game(folder.path);
    if (!game.waitFor(kTitleTop, 0)) return state.SkipWithError("no title");
    const double first = game.reads.back().ms;  // the first frame: the game now waits 50 ticks
    const double writes = game.io("syscw"), bytes = game.io("wchar");
    if (!game.waitFor(kMenuPass, 0)) return state.SkipWithError("no menu");
    const double menu = game.reads.back().ms;  // the first menu pass
    const double frames = framesIn(game.reads, first, menu);
    state.counters["title_ms"] = menu - first;
    state.counters["title_error_pct"] = 100.0 * std::fabs(menu - first - 5070) / 5070;
    state.counters["animation_frames"] = frames;  // the first one and those after it, less the menu pass
    state.counters["animation_writes_per_frame"] = (game.io("syscw") - writes) / frames;
    state.counters["animation_bytes_per_frame"] = (game.io("wchar") - bytes) / frames;

    const double idle = game.reads.back().ms, idleWrites = game.io("syscw"), idleBytes = game.io("wchar");
    state.counters["idle_menu_cpu_pct"] = game.idleCpuPercent(10000);
    const double passes = framesIn(game.reads, idle, game.reads.back().ms);
    state.counters["menu_pass_ms"] = (game.reads.back().ms - idle) / passes;
    state.counters["menu_pass_error_pct"] = 100.0 * std::fabs((game.reads.back().ms - idle) / passes - 50) / 50;
    state.counters["menu_pass_writes"] = (game.io("syscw") - idleWrites) / passes;
    state.counters["menu_pass_bytes"] = (game.io("wchar") - idleBytes) / passes;
  }
}
BENCHMARK(BM_PtyTitleAndMenu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Standard input from /dev/zero: the menu still stands, and the game's CPU
// over 10 s of NUL bytes that make no key is that of an idle menu.
void BM_PtyEndlessNulInput(benchmark::State& state) {
  for (auto _ : state) {
    Folder folder;
    PtyGame game(folder.path, true);
    if (!game.waitFor(kMenuPass, 0)) return state.SkipWithError("no menu");
    state.counters["nul_input_menu_cpu_pct"] = game.idleCpuPercent(10000);
  }
}
BENCHMARK(BM_PtyEndlessNulInput)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The load-slot screen idle for 10 s; the battle's opening against its 3,500
// ticks; its first line's confirm wait idle for 10 s.
void BM_PtySlotsAndBattle(benchmark::State& state) {
  for (auto _ : state) {
    Folder folder;
    PtyGame game(folder.path);
    if (!game.waitFor(kMenuPass, 0)) return state.SkipWithError("no menu");
    game.send("\x1b[B");
    if (!game.waitFor("\x1b[17;19H>", 0)) return state.SkipWithError("no BATTLE");
    std::size_t mark = game.output.size();
    game.send("\r");
    if (!game.waitFor("戻る", mark)) return state.SkipWithError("no slot screen");
    game.readFor(500);
    state.counters["idle_slots_cpu_pct"] = game.idleCpuPercent(10000);
    mark = game.output.size();
    game.send("\r");
    if (!game.waitFor("相手の名前を入力してください。", mark)) return state.SkipWithError("no opponent prompt");
    mark = game.output.size();
    game.send("abc\r");
    if (!game.waitFor("BATTLE LOG", mark)) return state.SkipWithError("no battle");
    game.readFor(5000);  // the opening, then its first line waits for Enter
    // From the battle's first frame (the cleared screen) to its last (the first line).
    const double opening = game.reads.back().ms - game.readAt(game.output.find("\x1b[2J", mark)).ms;
    state.counters["battle_opening_ms"] = opening;
    state.counters["battle_opening_error_pct"] = 100.0 * std::fabs(opening - 3500) / 3500;
    state.counters["idle_confirm_cpu_pct"] = game.idleCpuPercent(10000);
  }
}
BENCHMARK(BM_PtySlotsAndBattle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kotodama::bench
