#pragma once
// The console's queue of input events between the terminal and keyDown.
//
// A terminal reports key presses only. Each decoded key press is queued with a
// release of its own 100 ms later, unless the terminal repeats the key first
// (auto-repeat keeps it down); once keyDown has reported the key down, that
// release is also let through by the first poll after the game's next pause,
// so one tap counts once, while a screen that asks twice within one pass sees
// the key down both times. A mouse
// button released less than 100 ms after its press has that release held back
// the same way, so a quick tap is never lost between two polls. Events of one
// key (or of the mouse) keep their order; a held-back event holds back the
// later ones of its kind only.
#include <cstdint>
#include <deque>
#include <vector>

#include "console/input_decoder.h"

namespace kotodama {

class EventQueue {
 public:
  static constexpr std::int64_t kReleaseDelayMs = 100;

  // Queues an event as it arrives from the terminal.
  void push(const InputEvent& event);

  // Removes the events that are due at `now` and appends them, in order, to
  // `out`.
  void takeDue(std::int64_t now, std::vector<InputEvent>& out);

  // Removes every queued event (due or not) and appends the presses, mouse
  // reports and text to `out`; the synthetic releases are dropped. For reading
  // a line of text, which takes everything typed so far.
  void takeAll(std::vector<InputEvent>& out);

  // keyDown has just reported this key-state bit (0..255) down: its pending
  // release becomes due after the next pause.
  void reportedDown(int bit);

  // The game pauses (waits or sleeps): releases of keys reported down so far
  // become due.
  void paused();

  // The earliest time at which a queued event not yet due becomes due; -1
  // when nothing waits for time.
  std::int64_t nextDue() const;

  bool empty() const { return queue_.empty(); }
  std::size_t size() const { return queue_.size(); }
  void clear();

 private:
  struct Entry {
    InputEvent event;
    std::int64_t due = 0;
    int holdBit = -1;  // key-state bit whose report lets this release through
    bool synthetic = false;
  };
  static int channelOf(const InputEvent& event);
  bool isDue(const Entry& entry, std::int64_t now) const;

  std::deque<Entry> queue_;
  bool reported_[256] = {};    // reported down since its last press was taken
  bool releasable_[256] = {};  // ...and the game has paused since
  std::int64_t pressTime_[256] = {};
  std::uint8_t mouseButtons_ = 0;  // buttons held after the last queued mouse report
};

}  // namespace kotodama
