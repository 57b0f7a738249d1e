#pragma once
// The scripted test bench: a Console on a ScriptedPlatform, and a way to run
// a screen (or the whole game) to its end.
#include <cstdint>
#include <functional>

#include "console/console.h"
#include "support/scripted_platform.h"

namespace kotodama::test {

struct Outcome {
  enum Kind { Returned, Exited, TimedOut } kind = Returned;
  int value = 0;          // what the screen returned, or the exit status
  std::int64_t time = 0;  // virtual time at the end
};

struct Bench {
  explicit Bench(TerminalEncoding encoding = TerminalEncoding::Utf8,
                 ScriptedPlatform::Keyboard keyboard = ScriptedPlatform::Keyboard::NotATerminal)
      : platform(encoding, keyboard), console(platform) {}

  // Runs `screen` until it returns, the game ends the process, or the time
  // limit passes; the console's output is flushed to the screen either way.
  Outcome run(const std::function<int()>& screen) {
    Outcome outcome;
    try {
      outcome.value = screen();
    } catch (const ProcessExit& e) {
      outcome = {Outcome::Exited, e.status};
    } catch (const TimeLimit&) {
      outcome.kind = Outcome::TimedOut;
    }
    console.flush();
    outcome.time = platform.clock();
    return outcome;
  }

  VtermScreen& screen() { return platform.screen(); }

  ScriptedPlatform platform;
  Console console;
};

inline bool returned(const Outcome& o, int value) { return o.kind == Outcome::Returned && o.value == value; }

}  // namespace kotodama::test
