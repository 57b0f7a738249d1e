#include "console/terminal_keyboard.h"

#include <cstring>

namespace kotodama {

namespace {

// How long the terminal has to say whether it knows the keyboard protocol.
constexpr std::int64_t kQueryTimeoutMs = 200;
// Asks for the keyboard protocol's flags, then for the primary device
// attributes, which every terminal answers (after the flags, if it knows them).
constexpr char kKeyboardQuery[] = "\033[?u\033[c";
// A key pressed under the keyboard protocol and then heard of no more (no
// repeat, no release) for this long: the terminal does not report releases
// after all, and they are guessed from then on.
constexpr std::int64_t kReleaseSilenceMs = 2000;

}  // namespace

KeyboardProtocol::KeyboardProtocol(Platform& platform, TerminalScreen& screen, EventQueue& queue)
    : platform_(platform), screen_(screen), queue_(queue) {
  if (platform_.answersQueries()) {
    keyboard_ = Keyboard::Asking;
    awaitingAttributes_ = true;
    askedAt_ = platform_.now();
    platform_.write(kKeyboardQuery, sizeof kKeyboardQuery - 1);
  }
}

void KeyboardProtocol::setKeyboardFlags(bool wanted) {
  wanted = wanted && keyboard_ == Keyboard::Known;
  if (wanted == flagsPushed_) return;
  const char* sequence = wanted ? kKeyboardPush : kKeyboardPop;
  platform_.write(sequence, std::strlen(sequence));
  // Keys still down will not have their releases reported.
  if (!wanted) queue_.releaseHeldKeys(platform_.now());
  flagsPushed_ = wanted;
  platform_.keyboardFlagsPushed(wanted);
}

bool KeyboardProtocol::takeOwnEvent(const InputEvent& event) {
  if (event.kind == EventKind::Answer) {
    // Only the answer to the game's own question counts: the flags before
    // the device attributes that end it. Any later one is no answer (a
    // paste, a spoof) and changes nothing.
    if (!awaitingAttributes_) return true;
    if (event.answer == Answer::KeyboardFlags) {
      keyboard_ = Keyboard::Known;
      setKeyboardFlags(!inLine_);
    } else {
      awaitingAttributes_ = false;
      if (keyboard_ == Keyboard::Asking) keyboard_ = Keyboard::Unsupported;
    }
    return true;
  }
  if (event.kind == EventKind::Key && event.vk == 0) return true;  // a key with no code of its own
  if (event.kind == EventKind::Mouse || !event.pressed || (event.modifiers & kModCtrl) == 0) return false;
  if (event.vk == 'L') {
    if (screen_.fits()) screen_.repaint();
    return true;
  }
  if (!flagsPushed_) return false;
  if (event.vk == 'C') platform_.keySignal(KeySignal::Interrupt);
  if (event.vk == 'Z') platform_.keySignal(KeySignal::Suspend);
  if (event.kind == EventKind::Text && event.text == "\\") platform_.keySignal(KeySignal::Quit);
  return false;
}

void KeyboardProtocol::checkTimeouts() {
  if (keyboard_ == Keyboard::Asking && platform_.now() - askedAt_ >= kQueryTimeoutMs) {
    keyboard_ = Keyboard::Unsupported;  // flags that come late, before the attributes, still count
  }
  if (flagsPushed_ && queue_.heldSilently(platform_.now(), kReleaseSilenceMs)) {
    keyboard_ = Keyboard::Unsupported;
    setKeyboardFlags(false);  // every key still down comes up
  }
}

}  // namespace kotodama
