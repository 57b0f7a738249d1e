// How terminal input reaches keyDown: presses when the bytes arrive; the
// release rules of the event queue; true releases from a terminal that knows
// the kitty keyboard protocol; the mouse and the confirm wait; and input
// that no terminal sends.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "console/event_queue.h"
#include "support/bench.h"

namespace kotodama::test {
namespace {

using Keyboard = ScriptedPlatform::Keyboard;

// Lets `ticks` pass, then how many of `keys` keyDown reads down.
int downAfter(Console& c, int ticks, std::initializer_list<int> keys) {
  c.waitTicks(ticks);
  int down = 0;
  for (int key : keys) down += c.keyDown(key);
  return down;
}

// Presses fold into keyDown when a poll sees them (codes read their low eight
// bits) and stay down for the rest of the pass; a tap is let go at the next
// pause or after 100 ms, and one that fits in a single wait is never seen.
// The pointer reads 0 before any report, then 1-based cells; a button held
// across resetKeys reads up until the mouse reports again.
TEST(KeyPolling, PressesAndTheMouseFoldIntoKeyDown) {
  Bench bench;
  Console& c = bench.console;
  EXPECT_EQ(c.keyDown(kPointerColumn) + c.keyDown(kPointerRow), 0);
  bench.platform.at(100, "A");
  c.waitTicks(150);  // arrives during a wait: not folded yet
  for (int code : {int{'A'}, 16, 256 + 'A', -256 + 'A', int{'A'}}) EXPECT_EQ(c.keyDown(code), 1) << code;  // 16: Shift
  EXPECT_EQ(downAfter(c, 1, {'A', 16}), 0);
  bench.platform.at(300, keys::kDown).at(320, keys::kEnter);
  c.waitTicks(1);
  // An animation (waits with no poll between them): presses and releases folded at once.
  EXPECT_EQ(downAfter(c, 400, {kDown, kEnter}), 0);
  // Ctrl+Down, and a press in the last cell, where the pointer has not been:
  // the press waits for the pointer to be read there, and a pause.
  bench.platform.at(700, "\x1b[1;5B" + keys::mousePress(80, 25));
  EXPECT_EQ(downAfter(c, 229, {17, kDown, kLeftButton}), 2);  // 80 ms after the press
  EXPECT_EQ(c.keyDown(kPointerColumn) * 100 + c.keyDown(kPointerRow), 8025);
  EXPECT_EQ(downAfter(c, 1, {kLeftButton}), 1);
  c.resetKeys();
  EXPECT_EQ(c.keyDown(kDown), 0);
  EXPECT_EQ(downAfter(c, 500, {kLeftButton}), 0);
  bench.platform.at(1300, "\x1b[<32;1;1M");  // drag with the button held
  EXPECT_EQ(downAfter(c, 200, {kLeftButton}), 1);
  EXPECT_EQ(c.keyDown(kPointerColumn) * 100 + c.keyDown(kPointerRow), 101);
}

TEST(ConfirmWait, EndsOnANewPressOrClickOnly) {
  // Each script, then the confirm wait from 600 ms: how it ends and when.
  const struct { const char* what; void (*script)(ScriptedPlatform&); Outcome::Kind kind; int end; } cases[] = {
      {"tapped during the pause, then again",
       [](ScriptedPlatform& p) { p.at(100, keys::kEnter).at(3000, keys::kEnter); }, Outcome::Returned, 3050},
      {"still down when it starts", [](ScriptedPlatform& p) { p.at(550, keys::kEnter); }, Outcome::Returned, 650},
      {"a click", [](ScriptedPlatform& p) { p.clickAt(1000, 40, 12); }, Outcome::Returned, 1050},
      {"a minute of nothing", [](ScriptedPlatform& p) { p.at(60'000, keys::kEnter); }, Outcome::Returned, 60'050},
      {"end of input", [](ScriptedPlatform& p) { p.endInputAt(700); }, Outcome::Exited, 700},
  };
  for (const auto& c : cases) {
    Bench bench;
    c.script(bench.platform);
    bench.console.waitTicks(600);
    const Outcome outcome = bench.run([&] {
      bench.console.confirmWait();
      return 0;
    });
    EXPECT_EQ(outcome.kind, c.kind) << c.what;
    EXPECT_EQ(outcome.time, c.end) << c.what;
    // Waiting reads the terminal a few hundred times, not millions: it sleeps.
    EXPECT_LT(bench.platform.reads(), 2000) << c.what;
  }
}

// A script for the queue: at time t, one of
//  p/P/T vk  a press that arrived while nobody polled / while a screen polled / typed ahead of a line's end
//  k vk      a press from a terminal that reports releases; r vk such a release
//  m b       a mouse report with buttons b held
//  t         take what is due       a   take everything, as a line read does
//  d vk      keyDown reported the key down        z   the game paused       x  resetKeys
//  v         the pointer read
// and the events of each take, "vk+" for a press, "vk-" for a release, "m<b>" for a mouse report.
struct Op { std::int64_t t; char op; int arg = 0; };

std::string play(const std::vector<Op>& ops) {
  EventQueue queue;
  std::string taken;
  for (const Op& o : ops) {
    InputEvent e;
    e.time = o.t;
    e.vk = static_cast<std::uint8_t>(o.arg);
    std::vector<InputEvent> out;
    switch (o.op) {
      case 'p': queue.push(e); break;
      case 'P': queue.push(e, EventQueue::Arrival::Polling); break;
      case 'T': queue.push(e, EventQueue::Arrival::TypedAhead); break;
      case 'k': e.reportsRelease = true, queue.push(e); break;
      case 'r': e.pressed = false, e.reportsRelease = true, queue.push(e); break;
      case 'm': e.kind = EventKind::Mouse, e.vk = 0, e.buttons = static_cast<std::uint8_t>(o.arg), queue.push(e); break;
      case 't': queue.takeDue(o.t, out); break;
      case 'a': queue.takeAll(out); break;
      case 'd': queue.reportedDown(o.arg); break;
      case 'z': queue.paused(); break;
      case 'x': queue.keysForgotten(); break;
      case 'v': queue.pointerRead(); break;
    }
    if (o.op == 't' || o.op == 'a') taken += " |";
    for (const InputEvent& x : out) {
      taken += x.kind == EventKind::Mouse ? " m" : " ";
      taken += x.kind == EventKind::Mouse ? std::to_string(x.buttons) : std::to_string(x.vk) + (x.pressed ? "+" : "-");
    }
  }
  return taken.substr(3);  // the first " | "
}

TEST(KeyRelease, TheQueuesRules) {
  const struct { const char* what; std::vector<Op> ops; const char* taken; } cases[] = {
      {"a tap while nobody polls folds into nothing", {{0, 'p', 40}, {150, 't'}}, "40+ 40-"},
      {"its release waits 100 ms", {{0, 'p', 40}, {99, 't'}, {100, 't'}}, "40+ | 40-"},
      {"...or the first poll after a pause once reported",
       {{0, 'p', 40}, {10, 't'}, {11, 'd', 40}, {12, 'z'}, {20, 't'}}, "40+ | 40-"},
      {"a repeat keeps the key down", {{0, 'p', 40}, {60, 'p', 40}, {120, 't'}, {300, 't'}}, "40+ 40+ | 40-"},
      {"the repeat rhythm lets it go an interval and 10 ms after the last repeat, seen or not",
       {{0, 'p', 40}, {0, 't'}, {40, 'p', 40}, {80, 'p', 40}, {100, 't'}, {129, 't'}, {130, 't'}}, "40+ | 40+ 40+ | | 40-"},
      {"a repeat after the guess let the key go is still one",
       {{0, 'p', 40}, {0, 't'}, {40, 'p', 40}, {100, 't'}, {101, 'p', 40}, {180, 't'}}, "40+ | 40+ 40- | 40+ 40-"},
      {"after resetKeys a press however soon is a fresh tap that must be seen",
       {{0, 'P', 13}, {0, 't'}, {1, 'd', 13}, {2, 'x'}, {40, 'P', 13}, {100, 't'}, {101, 'z'}, {200, 't'}}, "13+ | 13+ |"},
      {"...as is one soon after a fresh tap still queued", {{0, 'P', 13}, {40, 'P', 13}, {100, 't'}, {200, 't'}},
       "13+ 13+ |"},
      {"...also one queued as a repeat before it",
       {{0, 'P', 13}, {0, 't'}, {40, 'P', 13}, {41, 'x'}, {100, 't'}, {101, 'd', 13}, {102, 'z'}, {103, 't'}},
       "13+ | 13+ | 13-"},
      {"two keys while a screen polls: each released once asked and paused after",
       {{0, 'P', 37}, {0, 'P', 38}, {0, 't'}, {1, 'd', 37}, {2, 'z'}, {200, 't'}, {201, 'd', 38}, {202, 'z'},
        {203, 't'}},
       "37+ 38+ | 37- | 38-"},
      {"a key the screen never asks about goes after three pauses",
       {{0, 'P', 27}, {0, 't'}, {1, 'z'}, {2, 'z'}, {200, 't'}, {201, 'z'}, {202, 't'}}, "27+ | | 27-"},
      {"typed ahead of a line's end: a whole tap", {{0, 'T', 13}, {0, 't'}}, "13+ 13-"},
      {"a line read takes the presses and leaves the releases due", {{0, 'p', 65}, {0, 'a'}, {0, 't'}}, "65+ | 65-"},
      {"a true release right after its press waits for the press to be seen",
       {{0, 'k', 40}, {0, 'r', 40}, {50, 't'}, {100, 't'}}, "40+ | 40-"},
      {"...but not right after a repeat of a key held long",
       {{0, 'k', 40}, {500, 'k', 40}, {520, 'r', 40}, {530, 't'}}, "40+ 40+ 40-"},
      {"a quick mouse release holds back the later reports",
       {{0, 'm', 0}, {0, 't'}, {0, 'v'}, {0, 'z'}, {0, 'm', 1}, {20, 'm', 0}, {30, 'm', 0}, {50, 't'}, {100, 't'}},
       "m0 | m1 | m0 m0"},
      // Every report here is in one cell; a press there before the screen has seen it is a tap.
      {"a tap moves the pointer, then waits for the pointer read and a pause",
       {{0, 'm', 1}, {0, 't'}, {1, 'z'}, {2, 't'}, {3, 'v'}, {4, 'z'}, {5, 't'}}, "m0 | | m1"},
      {"...or two pauses where the screen never reads it", {{0, 'm', 1}, {0, 't'}, {1, 'z'}, {2, 'z'}, {3, 't'}},
       "m0 | m1"},
      {"...and its release is held back from the press's turn",
       {{0, 'm', 1}, {150, 'm', 0}, {150, 't'}, {151, 'v'}, {152, 'z'}, {200, 't'}, {300, 't'}}, "m0 | m1 | m0"},
  };
  for (const auto& c : cases) EXPECT_EQ(play(c.ops), c.taken) << c.what;
}

// The console asks the terminal about the keyboard protocol and, where it is
// known, pushes its flags while keys are polled: presses and releases are
// then the terminal's own, Ctrl+C comes as a key and is acted on, and the
// flags are popped while a line is typed. A terminal that answers only the
// device attributes, or nothing, gets guessed releases, and what is typed
// before the answer still counts.
TEST(KeyRelease, TheKeyboardProtocolWhereTheTerminalKnowsIt) {
  for (Keyboard keyboard : {Keyboard::KnowsProtocol, Keyboard::Plain, Keyboard::Silent, Keyboard::NotATerminal}) {
    const bool knows = keyboard == Keyboard::KnowsProtocol;
    Bench bench(TerminalEncoding::Utf8, keyboard);
    ScriptedPlatform& p = bench.platform;
    Console& c = bench.console;
    p.at(1, keys::kUp);
    EXPECT_EQ(downAfter(c, 2, {kUp}), 1);  // at once, before any answer
    c.waitTicks(300);
    EXPECT_EQ(p.flagsPushed, knows);
    EXPECT_EQ(p.output().find("\x1b[?u\x1b[c") == 0, keyboard != Keyboard::NotATerminal);
    // Down held from 400 to 900, as the protocol reports it (plain terminals
    // would have sent only the press).
    p.at(400, knows ? "\x1b[B" : keys::kDown).at(900, knows ? "\x1b[1;1:3B" : "");
    EXPECT_EQ(downAfter(c, 150, {kDown}), 1);
    EXPECT_EQ(downAfter(c, 300, {kDown}), knows ? 1 : 0) << static_cast<int>(keyboard);
    EXPECT_EQ(downAfter(c, 200, {kDown}), 0);
    // Enter pressed, and released only once the line is read (and its
    // release no longer reported): it is up after the line.
    p.at(1000, knows ? "\x1b[13u" : keys::kEnter).at(1100, "hero\r");
    EXPECT_EQ(downAfter(c, 60, {kEnter}), 1);
    const std::size_t before = p.output().size();
    EXPECT_EQ(c.readToken(10), "hero");
    EXPECT_EQ(c.keyDown(kEnter), 0);
    const std::string line = p.output().substr(before);
    EXPECT_EQ(line.find("\x1b[<u") == 0 && line.ends_with("\x1b[>11u"), knows) << line;
    p.at(p.clock() + 10, "\x1b[99;5u");  // Ctrl+C
    c.waitTicks(100);
    EXPECT_EQ(p.signals.size(), knows ? 1u : 0u);
  }
}

// Input that no terminal sends, or sends at odd moments, polled as a menu
// does for 5 s: how many passes read Down, and the game never spins on it.
TEST(KeyRelease, HostileInput) {
  const struct { const char* what; Keyboard keyboard; void (*script)(ScriptedPlatform&); int downs; } cases[] = {
      {"NUL bytes without end make nothing and are read once a pause",
       Keyboard::NotATerminal, [](ScriptedPlatform& p) { p.endlessZeros = true; }, 0},
      {"a protocol answer after the device attributes is not believed: Down once moves once",
       Keyboard::Plain, [](ScriptedPlatform& p) { p.at(500, "\x1b[?1u").at(1000, keys::kDown); }, 1},
      {"a press under the protocol heard of no more for 2 s comes up; releases are guessed after",
       Keyboard::KnowsProtocol, [](ScriptedPlatform& p) { p.at(1000, "\x1b[B").at(3500, keys::kDown); }, 21},
  };
  for (const auto& c : cases) {
    Bench bench(TerminalEncoding::Utf8, c.keyboard);
    c.script(bench.platform);
    int downs = 0;
    const Outcome o = bench.run([&] {
      while (bench.platform.clock() < 5000) downs += downAfter(bench.console, 100, {kDown});
      return 0;
    });
    EXPECT_EQ(o.kind, Outcome::Returned) << c.what;
    EXPECT_EQ(downs, c.downs) << c.what;
    EXPECT_LT(bench.platform.reads(), 200) << c.what;
  }
}

}  // namespace
}  // namespace kotodama::test
