#pragma once
// The terminal's keyboard: whether it knows the kitty keyboard protocol (a
// question at the start; only the answer that comes before the device
// attributes counts), its flags pushed while keys are polled and popped while
// a line is typed, the fall back to guessed releases when a held key goes
// silent, and the keys that a terminal driver would have turned into
// signals. Private to the terminal backend.
#include <cstdint>

#include "console/event_queue.h"
#include "console/input_decoder.h"
#include "console/platform.h"
#include "console/terminal_screen.h"

namespace kotodama {

class KeyboardProtocol {
 public:
  // Asks the terminal, when it answers queries at all.
  KeyboardProtocol(Platform& platform, TerminalScreen& screen, EventQueue& queue);

  // Pushes the keyboard protocol's flags while keys are polled, and pops them
  // while a line of text is typed (text and input methods then arrive as
  // ordinary text).
  void setKeyboardFlags(bool wanted);
  void lineBegins() {
    inLine_ = true;
    setKeyboardFlags(false);
  }
  void lineEnds() {
    inLine_ = false;
    setKeyboardFlags(true);
  }
  bool flagsPushed() const { return flagsPushed_; }

  // Events the backend acts on itself rather than handing to the game: the
  // terminal's answers, Ctrl+L, and the keys a terminal driver would have
  // turned into signals. True when the event was taken.
  bool takeOwnEvent(const InputEvent& event);

  // After each read: a question unanswered for too long, or a key held under
  // the flags and heard of no more, and releases are guessed from then on.
  void checkTimeouts();

 private:
  // Whether the terminal knows the keyboard protocol.
  enum class Keyboard { Unknown, Asking, Known, Unsupported };

  Platform& platform_;
  TerminalScreen& screen_;
  EventQueue& queue_;
  Keyboard keyboard_ = Keyboard::Unknown;
  std::int64_t askedAt_ = 0;
  bool flagsPushed_ = false;
  bool awaitingAttributes_ = false;  // asked, and the device attributes not yet answered
  bool inLine_ = false;              // a line of text is being read
};

}  // namespace kotodama
