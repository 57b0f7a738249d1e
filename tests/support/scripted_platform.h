#pragma once
// A platform for in-process screen tests: a virtual clock, scripted terminal
// input at chosen times or when the screen shows something, and the output
// shown by a real terminal emulator. A whole title animation runs in
// milliseconds of real time.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/platform.h"
#include "support/vterm_screen.h"

namespace kotodama::test {

// Thrown by exitProcess: the game ended the process with this status.
struct ProcessExit {
  int status;
};
// Thrown when the virtual clock passes the script's time limit (or the game
// reads input millions of times without letting the clock move: a spin).
struct TimeLimit {
  std::int64_t now;
};

// Terminal bytes of keys and mouse reports.
namespace keys {
inline constexpr std::string_view kUp = "\x1b[A";
inline constexpr std::string_view kDown = "\x1b[B";
inline constexpr std::string_view kRight = "\x1b[C";
inline constexpr std::string_view kLeft = "\x1b[D";
inline constexpr std::string_view kEnter = "\r";
inline constexpr std::string_view kEscape = "\x1b";
inline constexpr std::string_view kBackspace = "\x7f";
// SGR mouse reports; column and row 1-based.
inline std::string sgrMouse(int code, int column, int row, char final) {
  return "\x1b[<" + std::to_string(code) + ";" + std::to_string(column) + ";" + std::to_string(row) + final;
}
inline std::string mouseMove(int column, int row) { return sgrMouse(35, column, row, 'M'); }
inline std::string mousePress(int column, int row) { return sgrMouse(0, column, row, 'M'); }
inline std::string mouseRelease(int column, int row) { return sgrMouse(0, column, row, 'm'); }
}  // namespace keys

// What a test waits for on the screen, and the steps of a play: each step's
// bytes go once the screen shows its condition.
using Condition = std::function<bool(const VtermScreen&)>;
using Steps = std::vector<std::pair<Condition, std::string>>;
inline Condition shows(std::string text) { return [text](const VtermScreen& s) { return s.contains(text); }; }
// The title menu, its pointer on the first item.
inline bool menuReady(const VtermScreen& s) { return s.cell(19, 13).text == ">" && s.cell(19, 13).bg == 12; }

class ScriptedPlatform : public Platform {
 public:
  // What the terminal answers to the console's keyboard query, 5 ms later.
  enum class Keyboard { NotATerminal, KnowsProtocol, Plain, Silent };
  explicit ScriptedPlatform(TerminalEncoding encoding = TerminalEncoding::Utf8,
                            Keyboard answers = Keyboard::NotATerminal)
      : keyboard(answers), encoding_(encoding) {}

  // --- the script
  // Bytes that arrive at virtual time t (milliseconds since the start).
  ScriptedPlatform& at(std::int64_t t, std::string_view bytes) { return schedule(t, {std::string(bytes), {}}); }
  // Bytes that arrive `delay` ms after the first wait at which `condition` holds
  // (checked whenever the game waits or reads input). Each fires once, in order
  // of registration (a later one is checked only after the earlier ones fired).
  ScriptedPlatform& when(Condition condition, std::string_view bytes, std::int64_t delay = 0) {
    conditions_.push_back([this, condition = std::move(condition), bytes = std::string(bytes), delay] {
      if (!condition(screen_)) return false;
      at(now_ + delay, bytes);
      return true;
    });
    return *this;
  }
  ScriptedPlatform& whenShows(std::string utf8, std::string_view bytes, std::int64_t delay = 0) {
    return when(shows(std::move(utf8)), bytes, delay);
  }
  // A click: press at t, release at t + 50 (pointer moved there first).
  ScriptedPlatform& clickAt(std::int64_t t, int column, int row) {
    at(t, keys::mouseMove(column, row) + keys::mousePress(column, row));
    return at(t + 50, keys::mouseRelease(column, row));
  }
  // A key held from t for `duration` ms, as a terminal's auto-repeat sends it:
  // once at t, again after 500 ms, then every 33 ms.
  ScriptedPlatform& holdAt(std::int64_t t, std::string_view key, std::int64_t duration) {
    for (std::int64_t r = t + 500; r < t + duration; r += 33) at(r, key);
    return at(t, key);
  }
  // Standard input ends at time t (after everything scheduled before it).
  ScriptedPlatform& endInputAt(std::int64_t t) {
    endAt_ = t;
    return *this;
  }
  // The window becomes columns x rows at time t.
  ScriptedPlatform& resizeAt(std::int64_t t, int columns, int rows) {
    return schedule(t, {"", TerminalSize{columns, rows}});
  }
  // The run stops with TimeLimit when the clock passes t.
  ScriptedPlatform& limitAt(std::int64_t t) {
    limit_ = t;
    return *this;
  }

  // --- what happened
  VtermScreen& screen() { return screen_; }
  const std::string& output() const { return output_; }
  std::int64_t writes() const { return writes_; }
  std::int64_t reads() const { return reads_; }
  std::int64_t clock() const { return now_; }

  // --- Platform
  TerminalEncoding encoding() const override { return encoding_; }
  bool hasOutput() const override { return true; }
  bool hasInput() const override { return true; }
  void write(const char* bytes, std::size_t size) override {
    ++writes_;
    const std::string_view view(bytes, size);
    output_.append(view);
    screen_.feed(view);
    // What each kind of terminal answers to the keyboard query, in the order of Keyboard.
    constexpr std::string_view kAnswers[] = {"", "\x1b[?0u\x1b[?62;22c", "\x1b[?62;22c", ""};
    const std::string_view answer = kAnswers[static_cast<int>(keyboard)];
    if (!answer.empty() && view.find("\x1b[?u") != std::string_view::npos) at(now_ + 5, answer);
  }
  std::size_t read(char* buffer, std::size_t capacity) override {
    if (++reads_ % 1'000'000 == 0 && now_ == lastSpinCheck_) throw TimeLimit{now_};
    if (reads_ % 1'000'000 == 0) lastSpinCheck_ = now_;
    deliverDue();
    if (endlessZeros) return std::memset(buffer, 0, capacity), capacity;
    const std::size_t n = readable_.copy(buffer, capacity);
    readable_.erase(0, n);
    return n;
  }
  bool inputEnded() const override { return endAt_ >= 0 && now_ >= endAt_ && readable_.empty() && scheduled_.empty(); }
  std::int64_t now() override { return now_; }
  void waitForInput(std::int64_t deadline) override {
    deliverDue();
    if (!readable_.empty() || resized_ || endlessZeros) return;
    // Until the next scheduled arrival or the end of input, whichever comes first.
    const std::int64_t next = scheduled_.empty() ? deadline : scheduled_.begin()->first;
    advanceTo(std::min({deadline, next, endAt_ > now_ ? endAt_ : deadline}));
    deliverDue();
  }
  void sleepUntil(std::int64_t deadline) override {
    deliverDue();
    advanceTo(deadline);
  }
  JoystickReading joystick(int) override { return {}; }
  [[noreturn]] void exitProcess(int status) override { throw ProcessExit{status}; }

  bool answersQueries() const override { return keyboard != Keyboard::NotATerminal; }
  void keyboardFlagsPushed(bool pushed) override { flagsPushed = pushed; }
  void keySignal(KeySignal key) override { signals.push_back(key); }
  bool screenChanged(TerminalSize& size) override {
    deliverDue();
    if (!resized_) return false;
    size = *std::exchange(resized_, std::nullopt);
    return true;
  }

  Keyboard keyboard;
  bool flagsPushed = false;
  std::vector<KeySignal> signals;
  bool endlessZeros = false;  // standard input reads NUL bytes without end, as from /dev/zero

 private:
  struct Arrival {
    std::string bytes;
    std::optional<TerminalSize> size;  // a resize
  };
  ScriptedPlatform& schedule(std::int64_t t, Arrival arrival) {
    scheduled_.emplace(t, std::move(arrival));  // after any already scheduled for t
    return *this;
  }
  void advanceTo(std::int64_t t) {
    now_ = t > limit_ ? limit_ : std::max(now_, t);
    if (t > limit_) throw TimeLimit{now_};
  }
  void deliverDue() {
    while (nextCondition_ < conditions_.size() && conditions_[nextCondition_]()) ++nextCondition_;
    for (auto it = scheduled_.begin(); it != scheduled_.end() && it->first <= now_; it = scheduled_.erase(it)) {
      readable_ += it->second.bytes;
      if (!it->second.size) continue;
      resized_ = it->second.size;
      screen_.resize(resized_->rows, resized_->columns);
    }
  }

  TerminalEncoding encoding_;
  VtermScreen screen_;
  std::string output_;
  std::int64_t writes_ = 0;
  std::int64_t reads_ = 0;
  std::int64_t lastSpinCheck_ = -1;
  std::int64_t now_ = 0;
  std::int64_t limit_ = 3'600'000;
  std::int64_t endAt_ = -1;
  std::multimap<std::int64_t, Arrival> scheduled_;  // bytes and resizes in time order
  std::vector<std::function<bool()>> conditions_;  // each schedules its bytes once its condition holds
  std::optional<TerminalSize> resized_;  // not yet reported
  std::size_t nextCondition_ = 0;
  std::string readable_;
};

}  // namespace kotodama::test
