#include "console/input_sequences.h"

#include <algorithm>
#include <array>
#include <limits>

namespace kotodama::input {
namespace {

// Larger parameter values are garbage.
constexpr std::int32_t kMaxParameterValue = 9999999;
constexpr std::int32_t kAbsent = -1;

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

InputEvent textEvent(std::string text, std::int64_t time) {
  InputEvent e;
  e.kind = EventKind::Text;
  e.time = time;
  e.text = std::move(text);
  return e;
}

bool byteKey(unsigned char byte, std::uint8_t modifiers, std::int64_t time, std::vector<InputEvent>& out) {
  KeyState state;
  state.modifiers = modifiers;
  if (byte >= 0x20 && byte <= 0x7E) return charEvent(byte, state, time, out);
  if (byte == 0x0D || byte == 0x0A) {
    out.push_back(keyEvent(kVkEnter, state, time));
    return true;
  }
  if (byte == 0x09) {
    InputEvent e = keyEvent(kVkTab, state, time);
    e.text.push_back('\t');
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

void decodeCsi(std::string_view body, unsigned char final, std::int64_t time, std::uint8_t& heldButtons,
               std::vector<InputEvent>& out) {
  if (!body.empty() && body[0] == '?') {
    // Answers to queries: CSI ? flags u (the keyboard protocol's flags), CSI ? 62 ; ... c.
    if (final == 'u' || final == 'c') {
      InputEvent e;
      e.kind = EventKind::Answer;
      e.time = time;
      e.answer = final == 'u' ? Answer::KeyboardFlags : Answer::DeviceAttributes;
      out.push_back(std::move(e));
    }
    return;
  }
  Parameters p;
  if (!parseParameters(body, p)) return;
  if (p.prefix == '<') {
    // SGR mouse: CSI < b ; x ; y M (press, motion) or m (release).
    if ((final != 'M' && final != 'm') || p.count != 3) return;
    for (int i = 0; i < 3; ++i)
      if (p.list[i].count != 1 || p.value(i) == kAbsent) return;
    mouseReport(static_cast<std::uint32_t>(p.value(0)), static_cast<std::uint32_t>(p.value(1)),
                static_cast<std::uint32_t>(p.value(2)), final == 'm', time, heldButtons, out);
    return;
  }
  if (p.prefix != 0) return;

  KeyState state;
  if (final == '~') {
    // CSI n ~ and CSI n ; m[:event] ~
    if (p.count < 1 || p.count > 2 || p.list[0].count != 1) return;
    const std::uint8_t vk = tildeKey(p.value(0));
    if (vk == 0 || !readKeyState(p, 1, state)) return;
    out.push_back(keyEvent(vk, state, time));
    return;
  }
  if (final == 'u') {
    // The kitty keyboard protocol: CSI code[:alternates] ; m[:event] [; text] u
    if (p.count < 1 || p.value(0) == kAbsent || !readKeyState(p, 1, state)) return;
    const std::int32_t code = p.value(0);
    switch (code) {
      case 13:
        out.push_back(keyEvent(kVkEnter, state, time));
        return;
      case 27:
        out.push_back(keyEvent(kVkEscape, state, time));
        return;
      case 127:
        out.push_back(keyEvent(kVkBackspace, state, time));
        return;
      case 9: {
        InputEvent e = keyEvent(kVkTab, state, time);
        if (state.pressed && !(state.modifiers & kModCtrl)) e.text.push_back('\t');
        out.push_back(std::move(e));
        return;
      }
      default:
        if (code >= 0x20 && code <= 0x7E)
          charEvent(static_cast<unsigned char>(code), state, time, out);
        return;
    }
  }
  if (final == 'Z') {  // Shift+Tab
    if (p.count != 0) return;
    state.modifiers = kModShift;
    InputEvent e = keyEvent(kVkTab, state, time);
    e.text.push_back('\t');
    out.push_back(std::move(e));
    return;
  }
  // CSI A, CSI 1 ; m[:event] A and the like.
  const std::uint8_t vk = letterKey(final, false);
  if (vk == 0 || p.count > 2) return;
  if (p.count >= 1 && (p.list[0].count != 1 || (p.value(0) != kAbsent && p.value(0) != 1))) return;
  if (!readKeyState(p, 1, state)) return;
  out.push_back(keyEvent(vk, state, time));
}

void decodeSs3(std::string_view body, unsigned char final, std::int64_t time, std::vector<InputEvent>& out) {
  Parameters p;
  if (!parseParameters(body, p) || p.prefix != 0 || p.count > 2) return;
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
  out.push_back(keyEvent(vk, state, time));
}

void mouseReport(std::uint32_t code, std::uint32_t x, std::uint32_t y, bool release, std::int64_t time,
                 std::uint8_t& heldButtons, std::vector<InputEvent>& out) {
  // Buttons 8..11 (code bit 128) are no buttons of ours.
  if (code >= 128 || x == 0 || y == 0) return;
  static constexpr std::uint8_t kButtonOfCode[4] = {kButtonLeft, kButtonMiddle, kButtonRight, 0};
  const std::uint8_t button = kButtonOfCode[code & 3];
  const bool wheel = (code & 64) != 0;
  if (wheel) {
    // The wheel only moves the pointer.
  } else if (code & 32) {
    heldButtons = button;  // motion: reports the (one) button held
  } else if (button == 0) {
    heldButtons = 0;  // X10 release: of all buttons
  } else if (release) {
    heldButtons = static_cast<std::uint8_t>(heldButtons & ~button);
  } else {
    heldButtons = static_cast<std::uint8_t>(heldButtons | button);
  }
  constexpr std::uint32_t kMaxCell = std::numeric_limits<std::int16_t>::max();
  InputEvent e;
  e.kind = EventKind::Mouse;
  e.time = time;
  e.x = static_cast<std::int16_t>(std::min(x - 1, kMaxCell));
  e.y = static_cast<std::int16_t>(std::min(y - 1, kMaxCell));
  e.buttons = heldButtons;
  e.wheel = wheel;
  out.push_back(std::move(e));
}

}  // namespace kotodama::input
