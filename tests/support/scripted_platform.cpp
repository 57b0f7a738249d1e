#include "support/scripted_platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kotodama::test {

namespace keys {
namespace {
std::string sgrMouse(int code, int column, int row, char final) {
  return "\x1b[<" + std::to_string(code) + ";" + std::to_string(column) + ";" + std::to_string(row) + final;
}
}  // namespace
std::string mouseMove(int column, int row) { return sgrMouse(35, column, row, 'M'); }
std::string mousePress(int column, int row) { return sgrMouse(0, column, row, 'M'); }
std::string mouseRelease(int column, int row) { return sgrMouse(0, column, row, 'm'); }
}  // namespace keys

ScriptedPlatform& ScriptedPlatform::schedule(Timed item) {
  auto it = std::upper_bound(scheduled_.begin(), scheduled_.end(), item.time,
                             [](std::int64_t time, const Timed& other) { return time < other.time; });
  scheduled_.insert(it, std::move(item));
  return *this;
}

ScriptedPlatform& ScriptedPlatform::when(std::function<bool(const VtermScreen&)> condition, std::string_view bytes,
                                         std::int64_t delay) {
  conditions_.push_back([this, condition = std::move(condition), bytes = std::string(bytes), delay] {
    if (!condition(screen_)) return false;
    at(now_ + delay, bytes);
    return true;
  });
  return *this;
}

ScriptedPlatform& ScriptedPlatform::whenShows(std::string utf8, std::string_view bytes, std::int64_t delay) {
  return when([text = std::move(utf8)](const VtermScreen& s) { return s.contains(text); }, bytes, delay);
}

ScriptedPlatform& ScriptedPlatform::clickAt(std::int64_t t, int column, int row) {
  at(t, keys::mouseMove(column, row));
  at(t, keys::mousePress(column, row));
  return at(t + 50, keys::mouseRelease(column, row));
}

ScriptedPlatform& ScriptedPlatform::holdAt(std::int64_t t, std::string_view key, std::int64_t duration) {
  at(t, key);
  for (std::int64_t r = t + 500; r < t + duration; r += 33) at(r, key);
  return *this;
}

bool ScriptedPlatform::screenChanged(TerminalSize& size) {
  deliverDue();
  if (!resized_) return false;
  size = *std::exchange(resized_, std::nullopt);
  return true;
}

void ScriptedPlatform::write(const char* bytes, std::size_t size) {
  ++writes_;
  const std::string_view view(bytes, size);
  output_.append(view);
  screen_.feed(view);
  if (view.find("\x1b[?u") != std::string_view::npos) {
    if (keyboard == Keyboard::KnowsProtocol) at(now_ + 5, "\x1b[?0u\x1b[?62;22c");
    if (keyboard == Keyboard::Plain) at(now_ + 5, "\x1b[?62;22c");
  }
}

void ScriptedPlatform::deliverDue() {
  while (nextCondition_ < conditions_.size() && conditions_[nextCondition_]()) ++nextCondition_;
  std::size_t n = 0;
  for (; n < scheduled_.size() && scheduled_[n].time <= now_; ++n) {
    readable_ += scheduled_[n].bytes;
    if (!scheduled_[n].size) continue;
    resized_ = scheduled_[n].size;
    screen_.resize(resized_->rows, resized_->columns);
  }
  scheduled_.erase(scheduled_.begin(), scheduled_.begin() + static_cast<std::ptrdiff_t>(n));
}

std::size_t ScriptedPlatform::read(char* buffer, std::size_t capacity) {
  if (++reads_ % 1'000'000 == 0 && now_ == lastSpinCheck_) throw TimeLimit{now_};
  if (reads_ % 1'000'000 == 0) lastSpinCheck_ = now_;
  deliverDue();
  if (endlessZeros) return std::memset(buffer, 0, capacity), capacity;
  const std::size_t n = std::min(capacity, readable_.size());
  std::memcpy(buffer, readable_.data(), n);
  readable_.erase(0, n);
  return n;
}

void ScriptedPlatform::advanceTo(std::int64_t t) {
  if (t > limit_) {
    now_ = limit_;
    throw TimeLimit{now_};
  }
  now_ = std::max(now_, t);
}

void ScriptedPlatform::waitForInput(std::int64_t deadline) {
  deliverDue();
  if (!readable_.empty() || resized_) return;
  // Until the next scheduled arrival or the end of input, whichever comes first.
  std::int64_t next = scheduled_.empty() ? deadline : scheduled_.front().time;
  if (endAt_ > now_) next = std::min(next, endAt_);
  advanceTo(std::min(deadline, std::max(next, now_)));
  deliverDue();
}

}  // namespace kotodama::test
