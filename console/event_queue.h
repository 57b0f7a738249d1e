#pragma once
// The console's queue of input events between the terminal and keyDown.
//
// A terminal reports key presses only, so each decoded press is queued with a
// release of its own, guessed:
//  - a press that arrives while nobody polls (an animation) is released
//    100 ms after it, so a tap there has long been let go when a screen
//    next polls;
//  - a press that arrives while a screen polls is released once the screen
//    has asked about the key and paused after, so two keys that arrive
//    together both count, each at its own test in the pass; a key the
//    screen does not ask about is let go after 100 ms and three pauses;
//  - while the terminal auto-repeats a key that is down, each repeat keeps
//    it down and the key is let go when no repeat comes within a little
//    more than one repeat interval: a repeat is no fresh tap, so it need not
//    be seen, and the held key reads up at the first pass after the repeats
//    stop. A press of a key that reads up (released, or forgotten by
//    resetKeys) is always a fresh tap, however soon it follows the last;
//  - a key typed ahead of the end of a line of text is a whole tap: its
//    press and release wait together, and fold into nothing.
// Once keyDown has reported a key down, its release is also let through by
// the first poll after the game's next pause, so one tap counts once.
// A release that the terminal reports itself (the keyboard protocol), and a
// mouse button released, less than 100 ms after the press is held back the
// same way, so a quick tap is never lost between two polls. Events of one key
// (or of the mouse) keep their order; a held-back event holds back the later
// ones of its kind only.
// A left-button press where the screen has not yet seen the pointer (a tap
// on a touch screen, a click with no move before it) first moves the pointer
// there, and waits until the screen has read that position and finished its
// pass (a pause after the read, or two pauses): so it chooses what is under
// it, as a click after a move does.
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

#include "console/input_decoder.h"

namespace kotodama {

// Where the pointer is as the queue and the screens know it: a left-button
// press away from where a screen has seen the pointer waits until one has.
struct PointerSight {
  struct Cell {
    int x = -1, y = -1;
    bool operator==(const Cell&) const = default;
  };
  Cell queued;  // where the last queued mouse report puts the pointer
  Cell taken;   // ...the last one taken
  Cell seen;    // ...the last one a screen has finished a pass with
  bool read = false;  // read since taken
  int pausesSinceTaken = 0;

  void take(Cell at) {
    if (at == taken) return;
    taken = at;
    read = false;
    pausesSinceTaken = 0;
  }
  // A screen has finished its pass with the pointer it took once it has read
  // it, or after two pauses.
  void paused() {
    if (!(taken == seen) && (read || ++pausesSinceTaken >= 2)) seen = taken;
  }
};

class EventQueue {
 public:
  static constexpr std::int64_t kReleaseDelayMs = 100;
  // How many pauses the release of a key pressed while a screen polls waits
  // for the screen to ask about the key.
  static constexpr int kAskPauses = 3;
  // Presses of one key closer together than this are the terminal's
  // auto-repeat.
  static constexpr std::int64_t kRepeatGapMs = 125;

  // When an event arrived: while nobody polled, while a screen polled, or
  // typed ahead of the end of a line of text.
  enum class Arrival { Waiting, Polling, TypedAhead };

  // Queues an event as it arrives from the terminal.
  void push(const InputEvent& event, Arrival arrival = Arrival::Waiting);

  // Removes the events that are due at `now` and appends them, in order, to
  // `out`.
  void takeDue(std::int64_t now, std::vector<InputEvent>& out);

  // Removes every queued event (due or not) and appends the presses, mouse
  // reports and text to `out`; the guessed releases stay, due at once. For
  // reading a line of text, which takes everything typed so far.
  void takeAll(std::vector<InputEvent>& out);

  // The terminal stops reporting releases (the keyboard protocol's flags are
  // popped): every key it reported pressed and not yet released is released,
  // due at once.
  void releaseHeldKeys(std::int64_t now);

  // resetKeys: every key reads up now, so the next press of any key is a
  // fresh tap that must be seen, even one the terminal sent as a repeat.
  void keysForgotten();

  // Some key the terminal said it would report the release of has been
  // pressed and heard of no more (no repeat, no release) for `silence` ms.
  bool heldSilently(std::int64_t now, std::int64_t silence) const;

  // keyDown has just reported this key-state bit (0..255) down: its pending
  // release becomes due after the next pause.
  void reportedDown(int bit);

  // The game pauses (waits or sleeps): releases of keys reported down so far
  // become due.
  void paused();

  // keyDown has just read the pointer's column or row.
  void pointerRead() { pointer_.read = true; }

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
    int pausesLeft = 0;  // ...and pauses still to come before it is due by time
    bool repeat = false;  // a guessed release after an auto-repeat: due by time alone
    bool awaitsPointer = false;  // a press due once the screen has seen its position
  };
  using Cell = PointerSight::Cell;
  static int channelOf(const InputEvent& event);
  bool isDue(const Entry& entry, std::int64_t now) const;

  std::deque<Entry> queue_;
  // What the queue knows of one key-state bit: a key's code, or a mouse
  // button's (1, 2, 4).
  struct KeyRecord {
    bool reported = false;    // reported down since its last press was taken
    bool releasable = false;  // ...and the game has paused since
    std::int64_t pressTime = 0;
    bool pressSeen = false;
    bool heldDown = false;      // pressed, as a terminal that reports releases says, and not yet released
    std::int64_t heardAt = 0;   // ...its last press or repeat
    bool pressPolled = false;   // the key's last press arrived while a screen polled
    bool down = false;    // the key reads down: a press was taken and no release or resetKeys since
    bool lapsed = false;  // ...or it reads up by the guessed release of an auto-repeat
    int queuedPresses = 0;
    std::int64_t repeatGap = 0;  // the key's last auto-repeat interval, 0 when it was no repeat
  };
  std::array<KeyRecord, 256> keys_{};
  std::uint8_t mouseButtons_ = 0;  // buttons held after the last queued mouse report
  PointerSight pointer_;
};

}  // namespace kotodama
