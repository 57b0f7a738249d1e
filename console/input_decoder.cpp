#include "console/input_decoder.h"

#include "console/display_text.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

namespace kotodama {
namespace {

// A CSI or SS3 with more parameter bytes than this is skipped up to its final byte.
constexpr std::size_t kMaxParameterBytes = 64;
// Larger parameter values are garbage.
constexpr std::int32_t kMaxParameterValue = 9999999;
constexpr std::int32_t kAbsent = -1;

constexpr unsigned char kEsc = 0x1B;

constexpr std::uint8_t kVkBackspace = 8;
constexpr std::uint8_t kVkTab = 9;
constexpr std::uint8_t kVkEnter = 13;
constexpr std::uint8_t kVkEscape = 27;
constexpr std::uint8_t kVkPageUp = 33;
constexpr std::uint8_t kVkPageDown = 34;
constexpr std::uint8_t kVkEnd = 35;
constexpr std::uint8_t kVkHome = 36;
constexpr std::uint8_t kVkLeft = 37;
constexpr std::uint8_t kVkUp = 38;
constexpr std::uint8_t kVkRight = 39;
constexpr std::uint8_t kVkDown = 40;
constexpr std::uint8_t kVkInsert = 45;
constexpr std::uint8_t kVkDelete = 46;
constexpr std::uint8_t kVkF1 = 112;

std::int64_t addSaturated(std::int64_t a, std::int64_t b) {
  // b is never negative here.
  return a > std::numeric_limits<std::int64_t>::max() - b ? std::numeric_limits<std::int64_t>::max()
                                                          : a + b;
}

bool withinTimeout(std::int64_t since, std::int64_t now) {
  return now < addSaturated(since, InputDecoder::kEscapeTimeoutMs);
}

// The numeric parameters of a CSI or SS3: "1;5:3" is two parameters, the
// second with two sub-parameters. Absent values are kAbsent.
struct Parameter {
  std::array<std::int32_t, 3> sub{kAbsent, kAbsent, kAbsent};
  int count = 1;  // sub-parameters given (at least one, possibly absent)
};

struct Parameters {
  char prefix = 0;  // '<', '=', '>' or '?' when the sequence is a private one
  std::array<Parameter, 4> list{};
  int count = 0;

  std::int32_t value(int index, int sub = 0) const {
    return index < count ? list[index].sub[sub] : kAbsent;
  }
};

// False when the bytes are no parameter list this decoder knows how to read
// (intermediate bytes, too many parameters, huge numbers).
bool parseParameters(std::string_view text, Parameters& out) {
  std::size_t i = 0;
  if (!text.empty() && text[0] >= 0x3C && text[0] <= 0x3F) {
    out.prefix = text[0];
    i = 1;
  }
  if (i == text.size()) return true;
  int index = 0;
  int sub = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      std::int32_t& v = out.list[index].sub[sub];
      if (v == kAbsent) v = 0;
      if (v > (kMaxParameterValue - (c - '0')) / 10) return false;
      v = v * 10 + (c - '0');
    } else if (c == ';') {
      if (++index >= static_cast<int>(out.list.size())) return false;
      sub = 0;
    } else if (c == ':') {
      if (++sub >= static_cast<int>(out.list[index].sub.size())) return false;
      out.list[index].count = sub + 1;
    } else {
      return false;
    }
  }
  out.count = index + 1;
  return true;
}

// How a key was reported: the modifiers held and, from terminals that tell
// the event type, press or release.
struct KeyState {
  std::uint8_t modifiers = 0;
  bool pressed = true;
  bool reportsRelease = false;
};

// Reads the xterm modifier parameter "m" or the "m:event" form at `index`.
bool readKeyState(const Parameters& p, int index, KeyState& out) {
  if (index >= p.count) return true;
  const Parameter& param = p.list[index];
  if (param.count > 2) return false;
  const std::int32_t m = param.sub[0];
  if (m > 1) {
    const std::int32_t bits = m - 1;
    if (bits & 1) out.modifiers |= kModShift;
    if (bits & 2) out.modifiers |= kModAlt;
    if (bits & 4) out.modifiers |= kModCtrl;
  }
  if (param.count == 2) {
    out.reportsRelease = true;
    switch (param.sub[1]) {
      case kAbsent:
      case 1:  // press
      case 2:  // repeat
        break;
      case 3:
        out.pressed = false;
        break;
      default:
        return false;
    }
  }
  return true;
}

InputEvent keyEvent(std::uint8_t vk, const KeyState& state, std::int64_t time) {
  InputEvent e;
  e.kind = EventKind::Key;
  e.time = time;
  e.vk = vk;
  e.modifiers = state.modifiers;
  e.pressed = state.pressed;
  e.reportsRelease = state.reportsRelease;
  return e;
}

// The event of a printable ASCII character (0x20..0x7E) typed with
// `state`: letters, digits and Space are keys, the rest is text. A key typed
// with Ctrl, and any release, types no text. False when there is nothing to
// report (the release of a punctuation character).
bool charEvent(unsigned char c, KeyState state, std::int64_t time, std::vector<InputEvent>& out) {
  InputEvent e = keyEvent(0, state, time);
  char typed = static_cast<char>(c);
  if (c >= 'a' && c <= 'z') {
    e.vk = static_cast<std::uint8_t>(c - 'a' + 'A');
    if (state.modifiers & kModShift) typed = static_cast<char>(e.vk);
  } else if (c >= 'A' && c <= 'Z') {
    e.vk = c;
    e.modifiers |= kModShift;
  } else if ((c >= '0' && c <= '9') || c == ' ') {
    e.vk = c;
  } else {
    if (!state.pressed) return false;
    e.kind = EventKind::Text;
    e.text.assign(1, typed);
    out.push_back(std::move(e));
    return true;
  }
  if (state.pressed && !(e.modifiers & kModCtrl)) e.text.assign(1, typed);
  out.push_back(std::move(e));
  return true;
}

InputEvent textEvent(std::string text, std::int64_t time) {
  InputEvent e;
  e.kind = EventKind::Text;
  e.time = time;
  e.text = std::move(text);
  return e;
}

// The keys a terminal names in a sequence: by the number of CSI <n> ~ (and
// the kitty protocol's CSI 13 ~ for F3), or by the final letter of CSI and
// SS3 sequences. CSI R is not among the letters: "CSI 1;2R" is also how a
// terminal answers a cursor position query.
struct KeyName {
  enum Form : std::uint8_t { Tilde, Csi, Ss3, CsiOrSs3 } form;
  std::int32_t code;  // the number, or the final letter
  std::uint8_t vk;
};
constexpr KeyName kKeyNames[] = {
    {KeyName::Tilde, 1, kVkHome},      {KeyName::Tilde, 7, kVkHome},      {KeyName::Tilde, 2, kVkInsert},
    {KeyName::Tilde, 3, kVkDelete},    {KeyName::Tilde, 4, kVkEnd},       {KeyName::Tilde, 8, kVkEnd},
    {KeyName::Tilde, 5, kVkPageUp},    {KeyName::Tilde, 6, kVkPageDown},  {KeyName::Tilde, 11, kVkF1},
    {KeyName::Tilde, 12, kVkF1 + 1},   {KeyName::Tilde, 13, kVkF1 + 2},   {KeyName::Tilde, 14, kVkF1 + 3},
    {KeyName::Tilde, 15, kVkF1 + 4},   {KeyName::Tilde, 17, kVkF1 + 5},   {KeyName::Tilde, 18, kVkF1 + 6},
    {KeyName::Tilde, 19, kVkF1 + 7},   {KeyName::Tilde, 20, kVkF1 + 8},   {KeyName::Tilde, 21, kVkF1 + 9},
    {KeyName::Tilde, 23, kVkF1 + 10},  {KeyName::Tilde, 24, kVkF1 + 11},
    {KeyName::CsiOrSs3, 'A', kVkUp},   {KeyName::CsiOrSs3, 'B', kVkDown}, {KeyName::CsiOrSs3, 'C', kVkRight},
    {KeyName::CsiOrSs3, 'D', kVkLeft}, {KeyName::CsiOrSs3, 'H', kVkHome}, {KeyName::CsiOrSs3, 'F', kVkEnd},
    {KeyName::CsiOrSs3, 'P', kVkF1},   {KeyName::CsiOrSs3, 'Q', kVkF1 + 1},
    {KeyName::CsiOrSs3, 'S', kVkF1 + 3},
    {KeyName::Ss3, 'R', kVkF1 + 2},
    {KeyName::Ss3, 'M', kVkEnter},  // keypad Enter in application keypad mode
};

std::uint8_t namedKey(KeyName::Form form, std::int32_t code) {
  for (const KeyName& name : kKeyNames) {
    const bool formMatches = name.form == form || (name.form == KeyName::CsiOrSs3 && form != KeyName::Tilde);
    if (formMatches && name.code == code) return name.vk;
  }
  return 0;
}

std::uint8_t tildeKey(std::int32_t n) { return namedKey(KeyName::Tilde, n); }

std::uint8_t letterKey(unsigned char final, bool ss3) { return namedKey(ss3 ? KeyName::Ss3 : KeyName::Csi, final); }

}  // namespace

void InputDecoder::feed(const char* bytes, std::size_t size, std::int64_t now,
                        std::vector<InputEvent>& out) {
  for (std::size_t i = 0; i < size; ++i) step(static_cast<unsigned char>(bytes[i]), now, out);
}

std::int64_t InputDecoder::pendingDeadline() const {
  if (state_ == State::Ground) return -1;
  return addSaturated(pendingSince_, kEscapeTimeoutMs);
}

void InputDecoder::expire(std::int64_t now, std::vector<InputEvent>& out) {
  if (state_ == State::Ground || withinTimeout(pendingSince_, now)) return;
  if (state_ == State::Esc) {
    out.push_back(keyEvent(kVkEscape, {}, pendingSince_));
  } else if (state_ == State::Utf8) {
    flushUtf8(out);
  }
  state_ = State::Ground;
  pending_.clear();
}

// Gives up on an unfinished UTF-8 character: each of its bytes becomes text of its own.
void InputDecoder::flushUtf8(std::vector<InputEvent>& out) {
  for (std::size_t i = 0; i < pending_.size() && i < 4; ++i)
    out.push_back(textEvent(std::string(1, pending_[i]), utf8Times_[i]));
  pending_.clear();
}

// The key of a single byte below 0x80 other than ESC, typed with `modifiers`.
// False for the control bytes that are no key.
bool InputDecoder::byteKey(unsigned char byte, std::uint8_t modifiers, std::int64_t time,
                           std::vector<InputEvent>& out) {
  KeyState state;
  state.modifiers = modifiers;
  if (byte >= 0x20 && byte <= 0x7E) return charEvent(byte, state, time, out);
  if (byte == 0x0D || byte == 0x0A) {
    out.push_back(keyEvent(kVkEnter, state, time));
    if (byte == 0x0D) {
      afterCr_ = true;
      crTime_ = time;
    }
    return true;
  }
  if (byte == 0x09) {
    InputEvent e = keyEvent(kVkTab, state, time);
    e.text = "\t";
    out.push_back(std::move(e));
    return true;
  }
  if (byte == 0x7F || byte == 0x08) {
    out.push_back(keyEvent(kVkBackspace, state, time));
    return true;
  }
  if (byte >= 0x01 && byte <= 0x1A) {
    state.modifiers |= kModCtrl;
    out.push_back(keyEvent(static_cast<std::uint8_t>('A' - 1 + byte), state, time));
    return true;
  }
  return false;
}

void InputDecoder::step(unsigned char byte, std::int64_t now, std::vector<InputEvent>& out) {
  const bool afterCr = afterCr_;
  afterCr_ = false;
  // Each pass either consumes the byte (return) or leaves a state and hands
  // the byte to the next one (continue).
  for (;;) {
    switch (state_) {
      case State::Ground:
        if (byte == kEsc) {
          state_ = State::Esc;
          pendingSince_ = now;
        } else if (byte < 0x80) {
          // A CR LF pair is one Enter.
          if (byte == 0x0A && afterCr && withinTimeout(crTime_, now)) return;
          byteKey(byte, 0, now, out);
        } else if (shiftJis_ ? isShiftJisLead(byte) : (byte >= 0xC2 && byte <= 0xF4)) {
          state_ = State::Utf8;
          pending_.assign(1, static_cast<char>(byte));
          pendingSince_ = now;
          utf8Times_[0] = now;
        } else {
          out.push_back(textEvent(std::string(1, static_cast<char>(byte)), now));
        }
        return;

      case State::Esc:
        if (byte == kEsc) {
          out.push_back(keyEvent(kVkEscape, {}, pendingSince_));
          pendingSince_ = now;
          return;
        }
        if (byte == '[') {
          state_ = State::Csi;
          pending_.clear();
          return;
        }
        if (byte == 'O') {
          state_ = State::Ss3;
          pending_.clear();
          return;
        }
        if (byte == 'P' || byte == ']' || byte == '_') {
          // A string of any length (its bytes are not kept); one that never
          // ends is dropped by expire().
          state_ = State::String;
          return;
        }
        state_ = State::Ground;
        // ESC before a key is that key with Alt.
        if (byte < 0x80 && byteKey(byte, kModAlt, pendingSince_, out)) return;
        out.push_back(keyEvent(kVkEscape, {}, pendingSince_));
        continue;

      case State::Csi:
        if (pending_.empty() && byte == 'M') {
          state_ = State::X10Mouse;
          return;
        }
        if (pending_.empty() && byte == '[') {
          state_ = State::LinuxFn;
          return;
        }
        [[fallthrough]];
      case State::Ss3:
        if (byte >= 0x20 && byte <= 0x3F) {
          if (pending_.size() >= kMaxParameterBytes) {
            state_ = State::CsiSkip;
            pending_.clear();
          } else {
            pending_.push_back(static_cast<char>(byte));
          }
          return;
        }
        if (byte >= 0x40 && byte <= 0x7E) {
          if (state_ == State::Csi) {
            dispatchCsi(byte, out);
          } else {
            dispatchSs3(byte, out);
          }
          state_ = State::Ground;
          pending_.clear();
          return;
        }
        // Anything else cuts the sequence short; it is dropped.
        state_ = State::Ground;
        pending_.clear();
        continue;

      case State::CsiSkip:
        if (byte >= 0x20 && byte <= 0x3F) return;
        state_ = State::Ground;
        if (byte >= 0x40 && byte <= 0x7E) return;
        continue;

      case State::LinuxFn:
        if (byte >= 0x20 && byte <= 0x7E) {
          state_ = State::Ground;
          if (byte >= 'A' && byte <= 'E')
            out.push_back(keyEvent(static_cast<std::uint8_t>(kVkF1 + (byte - 'A')), {}, pendingSince_));
          return;
        }
        state_ = State::Ground;
        continue;

      case State::X10Mouse:
        // The three bytes are values + 32; anything below 32 means the report
        // was cut short.
        if (byte < 0x20) {
          state_ = State::Ground;
          pending_.clear();
          continue;
        }
        pending_.push_back(static_cast<char>(byte));
        if (pending_.size() == 3) {
          const auto value = [this](std::size_t i) {
            return static_cast<std::uint32_t>(static_cast<unsigned char>(pending_[i])) - 32u;
          };
          mouseReport(value(0), value(1), value(2), false, out);
          state_ = State::Ground;
          pending_.clear();
        }
        return;

      case State::String:
        if (byte == kEsc) {
          state_ = State::StringEsc;
          stringEscTime_ = now;
        } else if (byte == 0x07) {
          state_ = State::Ground;
        }
        return;

      case State::StringEsc:
        if (byte == '\\') {
          state_ = State::Ground;
          return;
        }
        // Not a string terminator: the string is dropped and the ESC starts
        // something new.
        state_ = State::Esc;
        pendingSince_ = stringEscTime_;
        continue;

      case State::Utf8: {
        if (shiftJis_) {
          state_ = State::Ground;
          if (!isShiftJisTrail(byte)) {
            flushUtf8(out);
            continue;
          }
          pending_.push_back(static_cast<char>(byte));
          out.push_back(textEvent(pending_, pendingSince_));
          pending_.clear();
          return;
        }
        const auto lead = static_cast<unsigned char>(pending_[0]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (pending_.size() == 1) {
          // No overlong forms, no surrogates, nothing past U+10FFFF.
          if (lead == 0xE0) low = 0xA0;
          if (lead == 0xED) high = 0x9F;
          if (lead == 0xF0) low = 0x90;
          if (lead == 0xF4) high = 0x8F;
        }
        if (byte < low || byte > high) {
          flushUtf8(out);
          state_ = State::Ground;
          continue;
        }
        utf8Times_[pending_.size()] = now;
        pending_.push_back(static_cast<char>(byte));
        if (pending_.size() == length) {
          out.push_back(textEvent(pending_, pendingSince_));
          pending_.clear();
          state_ = State::Ground;
        }
        return;
      }
    }
    return;
  }
}

void InputDecoder::dispatchCsi(unsigned char final, std::vector<InputEvent>& out) {
  if (!pending_.empty() && pending_[0] == '?') {
    // Answers to queries: CSI ? flags u (the keyboard protocol's flags), CSI ? 62 ; ... c.
    if (final == 'u' || final == 'c') {
      InputEvent e;
      e.kind = EventKind::Answer;
      e.time = pendingSince_;
      e.answer = final == 'u' ? Answer::KeyboardFlags : Answer::DeviceAttributes;
      out.push_back(std::move(e));
    }
    return;
  }
  Parameters p;
  if (!parseParameters(pending_, p)) return;
  if (p.prefix == '<') {
    // SGR mouse: CSI < b ; x ; y M (press, motion) or m (release).
    if ((final != 'M' && final != 'm') || p.count != 3) return;
    for (int i = 0; i < 3; ++i)
      if (p.list[i].count != 1 || p.value(i) == kAbsent) return;
    mouseReport(static_cast<std::uint32_t>(p.value(0)), static_cast<std::uint32_t>(p.value(1)),
                static_cast<std::uint32_t>(p.value(2)), final == 'm', out);
    return;
  }
  if (p.prefix != 0) return;

  KeyState state;
  if (final == '~') {
    // CSI n ~ and CSI n ; m[:event] ~
    if (p.count < 1 || p.count > 2 || p.list[0].count != 1) return;
    const std::uint8_t vk = tildeKey(p.value(0));
    if (vk == 0 || !readKeyState(p, 1, state)) return;
    out.push_back(keyEvent(vk, state, pendingSince_));
    return;
  }
  if (final == 'u') {
    // The kitty keyboard protocol: CSI code[:alternates] ; m[:event] [; text] u
    if (p.count < 1 || p.value(0) == kAbsent || !readKeyState(p, 1, state)) return;
    const std::int32_t code = p.value(0);
    switch (code) {
      case 13:
        out.push_back(keyEvent(kVkEnter, state, pendingSince_));
        return;
      case 27:
        out.push_back(keyEvent(kVkEscape, state, pendingSince_));
        return;
      case 127:
        out.push_back(keyEvent(kVkBackspace, state, pendingSince_));
        return;
      case 9: {
        InputEvent e = keyEvent(kVkTab, state, pendingSince_);
        if (state.pressed && !(state.modifiers & kModCtrl)) e.text = "\t";
        out.push_back(std::move(e));
        return;
      }
      default:
        if (code >= 0x20 && code <= 0x7E)
          charEvent(static_cast<unsigned char>(code), state, pendingSince_, out);
        return;
    }
  }
  if (final == 'Z') {  // Shift+Tab
    if (p.count != 0) return;
    state.modifiers = kModShift;
    InputEvent e = keyEvent(kVkTab, state, pendingSince_);
    e.text = "\t";
    out.push_back(std::move(e));
    return;
  }
  // CSI A, CSI 1 ; m[:event] A and the like.
  const std::uint8_t vk = letterKey(final, false);
  if (vk == 0 || p.count > 2) return;
  if (p.count >= 1 && (p.list[0].count != 1 || (p.value(0) != kAbsent && p.value(0) != 1))) return;
  if (!readKeyState(p, 1, state)) return;
  out.push_back(keyEvent(vk, state, pendingSince_));
}

void InputDecoder::dispatchSs3(unsigned char final, std::vector<InputEvent>& out) {
  Parameters p;
  if (!parseParameters(pending_, p) || p.prefix != 0 || p.count > 2) return;
  const std::uint8_t vk = letterKey(final, true);
  if (vk == 0) return;
  // SS3 A, SS3 m A (modifier alone) or SS3 1 ; m A.
  KeyState state;
  int modifierIndex = 0;
  if (p.count == 2) {
    if (p.list[0].count != 1 || (p.value(0) != kAbsent && p.value(0) != 1)) return;
    modifierIndex = 1;
  }
  if (!readKeyState(p, modifierIndex, state)) return;
  out.push_back(keyEvent(vk, state, pendingSince_));
}

// A mouse report with 1-based x, y and the xterm button code.
void InputDecoder::mouseReport(std::uint32_t code, std::uint32_t x, std::uint32_t y, bool release,
                               std::vector<InputEvent>& out) {
  // Buttons 8..11 (code bit 128) are no buttons of ours.
  if (code >= 128 || x == 0 || y == 0) return;
  static constexpr std::uint8_t kButtonOfCode[4] = {kButtonLeft, kButtonMiddle, kButtonRight, 0};
  const std::uint8_t button = kButtonOfCode[code & 3];
  const bool wheel = (code & 64) != 0;
  if (wheel) {
    // The wheel only moves the pointer.
  } else if (code & 32) {
    held_ = button;  // motion: reports the (one) button held
  } else if (button == 0) {
    held_ = 0;  // X10 release: of all buttons
  } else if (release) {
    held_ = static_cast<std::uint8_t>(held_ & ~button);
  } else {
    held_ = static_cast<std::uint8_t>(held_ | button);
  }
  constexpr std::uint32_t kMaxCell = std::numeric_limits<std::int16_t>::max();
  InputEvent e;
  e.kind = EventKind::Mouse;
  e.time = pendingSince_;
  e.x = static_cast<std::int16_t>(std::min(x - 1, kMaxCell));
  e.y = static_cast<std::int16_t>(std::min(y - 1, kMaxCell));
  e.buttons = held_;
  e.wheel = wheel;
  out.push_back(std::move(e));
}

}  // namespace kotodama
