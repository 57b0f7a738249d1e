#include "console/event_queue.h"

#include <algorithm>
#include <limits>

namespace kotodama {

namespace {
constexpr int kMouseChannel = 256;
constexpr int kTextChannel = 257;
}  // namespace

int EventQueue::channelOf(const InputEvent& event) {
  switch (event.kind) {
    case EventKind::Key:
      return event.vk;
    case EventKind::Mouse:
      return kMouseChannel;
    case EventKind::Text:
    case EventKind::Answer:
      break;
  }
  return kTextChannel;
}

void EventQueue::push(const InputEvent& event, Arrival arrival) {
  Entry entry{event, event.time, -1, false};
  if (event.kind == EventKind::Key && event.vk != 0) {
    const int vk = event.vk;
    KeyRecord& key = keys_[vk];
    if (event.pressed) {
      const bool seen = key.pressSeen;
      const std::int64_t gap = event.time - key.pressTime;
      // A repeat from a terminal that reports releases is no new press: a
      // release right after it is not a quick tap to hold back.
      const bool repeat = event.reportsRelease && key.heldDown;
      key.heldDown = event.reportsRelease;
      key.heardAt = event.time;
      key.pressSeen = true;
      if (!repeat) key.pressTime = event.time;
      key.pressPolled = arrival == Arrival::Polling;
      // A repeated press keeps the key down: its earlier release is dropped.
      bool repeatQueued = false;  // ...and was that of an auto-repeat still queued
      for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (it->synthetic && it->event.vk == vk) {
          repeatQueued = it->repeat && key.queuedPresses > 0;
          queue_.erase(it);
          break;
        }
      }
      // Presses of a key that reads down (or will, by an auto-repeat still
      // queued, or read up only because a repeat came late), closer together
      // than the repeat gap, are the terminal's auto-repeat; after a fresh tap
      // still queued, the press stays one that must be seen.
      const bool autoRepeat = !event.reportsRelease && (key.down || key.lapsed || repeatQueued) && seen &&
                              gap >= 0 && gap < kRepeatGapMs;
      queue_.push_back(entry);
      ++key.queuedPresses;
      if (event.reportsRelease) return;
      Entry release{event, event.time + kReleaseDelayMs, vk, true, key.pressPolled ? kAskPauses : 0};
      release.event.pressed = false;
      release.event.modifiers = 0;
      release.event.text.clear();
      if (arrival == Arrival::TypedAhead) {
        release.due = event.time;
      } else if (autoRepeat) {
        // One interval and a margin for the terminal's jitter; an earlier
        // repeat read late makes this gap look short, so the longer counts.
        const std::int64_t interval = std::max(gap, key.repeatGap);
        release.due = event.time + std::clamp<std::int64_t>(interval + std::max<std::int64_t>(interval / 4, 10), 30,
                                                            kReleaseDelayMs);
        release.pausesLeft = 0;
        release.holdBit = -1;
        release.repeat = true;
      }
      key.repeatGap = autoRepeat ? gap : 0;
      queue_.push_back(release);
      return;
    }
    // A release the terminal reported itself.
    key.heldDown = false;
    if (event.time - key.pressTime < kReleaseDelayMs) {
      entry.due = key.pressTime + kReleaseDelayMs;
      entry.holdBit = vk;
      entry.pausesLeft = key.pressPolled ? kAskPauses : 0;
    }
    queue_.push_back(entry);
    return;
  }
  if (event.kind == EventKind::Mouse) {
    const std::uint8_t gained = static_cast<std::uint8_t>(event.buttons & ~mouseButtons_);
    const Cell at{event.x, event.y};
    if ((gained & kButtonLeft) && !(at == pointer_.seen)) {
      if (!(at == pointer_.queued)) {
        Entry move = entry;
        move.event.buttons = mouseButtons_;
        queue_.push_back(move);
      }
      entry.awaitsPointer = true;
    }
    pointer_.queued = at;
    const std::uint8_t lost = static_cast<std::uint8_t>(mouseButtons_ & ~event.buttons);
    for (int bit : {1, 2, 4}) {
      if (gained & bit) keys_[bit].pressTime = event.time;
      if ((lost & bit) && event.time - keys_[bit].pressTime < kReleaseDelayMs) {
        entry.due = std::max(entry.due, keys_[bit].pressTime + kReleaseDelayMs);
        entry.holdBit = bit;
      }
    }
    mouseButtons_ = event.buttons;
  }
  queue_.push_back(entry);
}

bool EventQueue::isDue(const Entry& entry, std::int64_t now) const {
  if (entry.awaitsPointer && !(Cell{entry.event.x, entry.event.y} == pointer_.seen)) return false;
  if (entry.due <= now && entry.pausesLeft <= 0) return true;
  return entry.holdBit >= 0 && keys_[entry.holdBit].releasable;
}

void EventQueue::takeDue(std::int64_t now, std::vector<InputEvent>& out) {
  bool blocked[kTextChannel + 1] = {};
  for (auto it = queue_.begin(); it != queue_.end();) {
    const int channel = channelOf(it->event);
    if (blocked[channel] || !isDue(*it, now)) {
      blocked[channel] = true;
      ++it;
      continue;
    }
    const InputEvent& event = it->event;
    auto forget = [this](int bit) { keys_[bit].reported = keys_[bit].releasable = false; };
    if (event.kind == EventKind::Key && event.pressed) {
      forget(event.vk);
      keys_[event.vk].queuedPresses = std::max(keys_[event.vk].queuedPresses - 1, 0);
    }
    if (event.kind == EventKind::Key) {
      keys_[event.vk].down = event.pressed;
      keys_[event.vk].lapsed = it->repeat;
    }
    if (event.kind == EventKind::Mouse) {
      for (int bit : {1, 2, 4}) {
        if (event.buttons & bit) forget(bit);
      }
    }
    if (it->holdBit >= 0) forget(it->holdBit);
    if (event.kind == EventKind::Mouse) pointer_.take({event.x, event.y});
    const bool waited = it->awaitsPointer;
    out.push_back(event);
    it = queue_.erase(it);
    // A press that waited for its pointer is as quick a tap as any from now:
    // its release is held back from here.
    for (auto later = it; waited && later != queue_.end(); ++later) {
      if (channelOf(later->event) == kMouseChannel && !(later->event.buttons & kButtonLeft)) {
        later->holdBit = kButtonLeft;
        later->due = std::max(later->due, now + kReleaseDelayMs);
        break;
      }
    }
  }
}

void EventQueue::takeAll(std::vector<InputEvent>& out) {
  std::deque<Entry> releases;
  for (Entry& entry : queue_) {
    if (!entry.synthetic) {
      out.push_back(std::move(entry.event));
      continue;
    }
    entry.due = std::numeric_limits<std::int64_t>::min();
    entry.pausesLeft = 0;
    releases.push_back(std::move(entry));
  }
  clear();
  queue_ = std::move(releases);
}

void EventQueue::releaseHeldKeys(std::int64_t now) {
  for (int vk = 1; vk < 256; ++vk) {
    if (!keys_[vk].heldDown) continue;
    keys_[vk].heldDown = false;
    InputEvent release;
    release.time = now;
    release.vk = static_cast<std::uint8_t>(vk);
    release.pressed = false;
    queue_.push_back(Entry{release, now, vk, true});
  }
}

void EventQueue::keysForgotten() {
  for (KeyRecord& key : keys_) key.down = key.lapsed = false;
  // A repeat still queued becomes a fresh tap, released as one would be.
  bool queued[256] = {};
  for (Entry& entry : queue_) {
    if (entry.event.kind != EventKind::Key) continue;
    const int vk = entry.event.vk;
    if (entry.event.pressed && !entry.synthetic) queued[vk] = true;
    if (!entry.repeat || !queued[vk]) continue;
    entry.repeat = false;
    entry.holdBit = vk;
    entry.due = std::max(entry.due, entry.event.time + kReleaseDelayMs);
    entry.pausesLeft = keys_[vk].pressPolled ? kAskPauses : 0;
  }
}

bool EventQueue::heldSilently(std::int64_t now, std::int64_t silence) const {
  for (int vk = 1; vk < 256; ++vk) {
    if (keys_[vk].heldDown && now - keys_[vk].heardAt >= silence) return true;
  }
  return false;
}

void EventQueue::reportedDown(int bit) {
  if (bit >= 0 && bit < 256) keys_[bit].reported = true;
}

void EventQueue::paused() {
  for (KeyRecord& key : keys_) key.releasable = key.releasable || key.reported;
  for (Entry& entry : queue_) entry.pausesLeft = std::max(entry.pausesLeft - 1, 0);
  pointer_.paused();
}

std::int64_t EventQueue::nextDue() const {
  std::int64_t next = std::numeric_limits<std::int64_t>::max();
  for (const Entry& entry : queue_) next = std::min(next, entry.due);
  return queue_.empty() ? -1 : next;
}

void EventQueue::clear() {
  queue_.clear();
  for (KeyRecord& key : keys_) {
    key.queuedPresses = 0;
    key.reported = key.releasable = false;
  }
}

}  // namespace kotodama
