// Timing and CPU use of the game's waits, on the real clock.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "console/console.h"
#include "game/title_menu.h"
#include "realtime_platform.h"

namespace kotodama::bench {
namespace {

constexpr std::int64_t kTitleTicks = 5070;

// The title animation, then the idle menu: how long the animation takes
// against its 5,070 ticks, the bytes and writes per frame, and how long an
// idle menu pass takes against its 50 ticks.
void BM_TitleAndMenuPasses(benchmark::State& state) {
  for (auto _ : state) {
    RealtimePlatform platform;
    std::vector<bool> highlighted;
    Console console(platform);
    const std::int64_t start = platform.now();
    std::thread typist([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(kTitleTicks + 3000));
      platform.type("\x1b[A\r");  // END
    });
    showTitleMenu(console);
    typist.join();
    // The menu's first pass is the first write drawn after the animation's
    // 5,070 ticks; every write before it is one animation frame.
    const auto& times = platform.writeTimes;
    std::size_t first = 0;
    while (first < times.size() && times[first] - start < kTitleTicks) ++first;
    std::size_t animationBytes = 0;
    for (std::size_t i = 0; i < first; ++i) animationBytes += platform.writeSizes[i];
    // Writes less than 10 ms apart belong to one frame (frames are 50 ms or more apart).
    double frames = 0, writesInFrame = 0, mostWritesInFrame = 0;
    for (std::size_t i = 0; i < first; ++i) {
      if (i == 0 || times[i] - times[i - 1] >= 10) {
        ++frames;
        writesInFrame = 0;
      }
      mostWritesInFrame = std::max(mostWritesInFrame, ++writesInFrame);
    }
    // Each menu pass is one write; its length is the time to the next one.
    double sum = 0;
    int passes = 0;
    for (std::size_t i = first + 1; i + 1 < times.size(); ++i, ++passes) {
      sum += static_cast<double>(times[i] - times[i - 1]);
    }
    const double menuAt = first < times.size() ? static_cast<double>(times[first] - start) : 0;
    state.counters["title_ms"] = menuAt;
    state.counters["title_error_pct"] = 100.0 * std::fabs(menuAt - kTitleTicks) / kTitleTicks;
    state.counters["animation_writes"] = static_cast<double>(first);
    state.counters["animation_bytes"] = static_cast<double>(animationBytes);
    state.counters["animation_frames"] = frames;
    state.counters["animation_max_writes_per_frame"] = mostWritesInFrame;
    state.counters["menu_pass_ms"] = passes ? sum / passes : 0;
    state.counters["menu_pass_error_pct"] = passes ? 100.0 * std::fabs(sum / passes - 50.0) / 50.0 : 0;
    state.counters["menu_pass_bytes"] = first + 1 < times.size() ? static_cast<double>(platform.writeSizes[first + 1]) : 0;
  }
}
BENCHMARK(BM_TitleAndMenuPasses)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU used while the menu stands idle for 10 s.
void BM_IdleMenuCpu(benchmark::State& state) {
  for (auto _ : state) {
    RealtimePlatform platform;
    Console console(platform);
    double cpuStart = 0, wallStart = 0;
    std::thread typist([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(kTitleTicks + 500));
      cpuStart = cpuMs();
      wallStart = static_cast<double>(platform.now());
      std::this_thread::sleep_for(std::chrono::seconds(10));
      platform.type("\x1b[A\r");
    });
    showTitleMenu(console);
    const double cpu = cpuMs() - cpuStart;
    const double wall = static_cast<double>(platform.now()) - wallStart;
    typist.join();
    state.counters["idle_menu_cpu_pct"] = 100.0 * cpu / wall;
  }
}
BENCHMARK(BM_IdleMenuCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU used while a confirm wait stands idle for 10 s.
void BM_IdleConfirmWaitCpu(benchmark::State& state) {
  for (auto _ : state) {
    RealtimePlatform platform;
    Console console(platform);
    std::thread typist([&] {
      std::this_thread::sleep_for(std::chrono::seconds(10));
      platform.type("\r");
    });
    const double cpuStart = cpuMs();
    const auto wallStart = platform.now();
    console.confirmWait();
    const double cpu = cpuMs() - cpuStart;
    const double wall = static_cast<double>(platform.now() - wallStart);
    typist.join();
    state.counters["idle_confirm_cpu_pct"] = 100.0 * cpu / wall;
    state.counters["confirm_wait_ms"] = wall;
  }
}
BENCHMARK(BM_IdleConfirmWaitCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kotodama::bench

BENCHMARK_MAIN();
