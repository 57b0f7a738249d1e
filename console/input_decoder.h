#pragma once
// Turns the bytes a terminal sends into key and mouse events. Pure: bytes in,
// events out, no I/O and no clock of its own (the caller passes arrival times).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kotodama {

// Modifier bits of InputEvent::modifiers.
enum : std::uint8_t { kModShift = 1, kModCtrl = 2, kModAlt = 4 };
// Button bits of InputEvent::buttons (the buttons held after the event).
enum : std::uint8_t { kButtonLeft = 1, kButtonRight = 2, kButtonMiddle = 4 };

enum class EventKind : std::uint8_t {
  Key,    // a key press (or, from terminals that report them, a release)
  Mouse,  // a mouse report: press, release, motion or wheel
  Text,   // typed text with no key code of its own (punctuation, UTF-8 characters)
  Answer, // the terminal's answer to a query (see InputEvent::answer)
};

// What a terminal answered.
enum class Answer : std::uint8_t {
  None,
  KeyboardFlags,      // CSI ? flags u: it knows the kitty keyboard protocol
  DeviceAttributes,   // CSI ? ... c: its primary device attributes
};

struct InputEvent {
  EventKind kind = EventKind::Key;
  std::int64_t time = 0;  // arrival time in milliseconds, as passed to feed()

  // Key: Windows virtual-key code 1..255 (13 Enter, 27 Escape, 37..40 arrows,
  // 65..90 letters, ...). 0 for Text events.
  std::uint8_t vk = 0;
  bool pressed = true;          // Key: false only for a release the terminal reported itself
  bool reportsRelease = false;  // Key: the terminal will report this key's release itself
  std::uint8_t modifiers = 0;   // kMod* bits held with the key

  // Mouse: 0-based cell of the pointer, buttons held after this report.
  std::int16_t x = 0;
  std::int16_t y = 0;
  std::uint8_t buttons = 0;
  bool wheel = false;  // a wheel report only moves the pointer

  Answer answer = Answer::None;  // Answer events only

  // The bytes this event types into a line of text, in the terminal's
  // encoding: "a" for the A key, "A" with Shift, "\xe3\x82\xa2" for a typed
  // katakana A, " " for Space, "\t" for Tab. Empty for keys that type
  // nothing (arrows, Enter, Backspace, Escape, function keys, Ctrl+letter)
  // and for mouse reports.
  std::string text;
};

class InputDecoder {
 public:
  // `shiftJis`: the terminal types Shift-JIS (a lead byte and its trail byte
  // make one character); otherwise UTF-8.
  explicit InputDecoder(bool shiftJis = false) : shiftJis_(shiftJis) {}

  // How long a lone ESC waits for the rest of an escape sequence.
  static constexpr std::int64_t kEscapeTimeoutMs = 30;

  // Decodes bytes that arrived at time `now`; complete events are appended to
  // `out`. A sequence may be split across calls at any byte.
  void feed(const char* bytes, std::size_t size, std::int64_t now, std::vector<InputEvent>& out);

  // Resolves what is still pending once it has waited kEscapeTimeoutMs since
  // it arrived: a lone ESC becomes the Escape key; an unfinished sequence is
  // dropped. Call it whenever time passes.
  void expire(std::int64_t now, std::vector<InputEvent>& out);

  // The time at which expire() would resolve pending bytes, or -1 when nothing
  // is pending.
  std::int64_t pendingDeadline() const;

 private:
  // Where the decoder is inside the byte stream.
  enum class State : std::uint8_t {
    Ground,     // between events
    Esc,        // after ESC
    Csi,        // after ESC [, collecting parameters into pending_
    CsiSkip,    // an overlong CSI or SS3: skipped up to its final byte
    Ss3,        // after ESC O, collecting parameters into pending_
    LinuxFn,    // after ESC [ [ (the Linux console's F1..F5)
    X10Mouse,   // after ESC [ M, collecting the three report bytes
    String,     // inside an OSC, DCS or APC string
    StringEsc,  // ESC inside a string: ST if a backslash follows
    Utf8,       // collecting the bytes of a multi-byte UTF-8 (or Shift-JIS) character
  };

  void step(unsigned char byte, std::int64_t now, std::vector<InputEvent>& out);
  bool byteKey(unsigned char byte, std::uint8_t modifiers, std::int64_t time,
               std::vector<InputEvent>& out);
  void flushUtf8(std::vector<InputEvent>& out);

  State state_ = State::Ground;
  std::string pending_;
  std::int64_t pendingSince_ = 0;
  std::int64_t utf8Times_[4] = {};  // arrival of each pending UTF-8 byte
  std::int64_t stringEscTime_ = 0;  // arrival of an ESC inside a string
  bool afterCr_ = false;            // the last byte was a CR (an LF right after it is dropped)
  std::int64_t crTime_ = 0;
  std::uint8_t held_ = 0;  // mouse buttons held, kButton* bits
  bool shiftJis_ = false;
};

}  // namespace kotodama
