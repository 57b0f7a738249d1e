#include "console/input_decoder.h"

#include "console/display_text.h"
#include "console/input_sequences.h"

#include <limits>
#include <string_view>

namespace kotodama {
namespace {

using input::keyEvent;
using input::kVkEscape;
using input::kVkF1;
using input::textEvent;

// A CSI or SS3 with more parameter bytes than this is skipped up to its final byte.
constexpr std::size_t kMaxParameterBytes = 64;

constexpr unsigned char kEsc = 0x1B;

std::int64_t addSaturated(std::int64_t a, std::int64_t b) {
  // b is never negative here.
  return a > std::numeric_limits<std::int64_t>::max() - b ? std::numeric_limits<std::int64_t>::max()
                                                          : a + b;
}

bool withinTimeout(std::int64_t since, std::int64_t now) {
  return now < addSaturated(since, InputDecoder::kEscapeTimeoutMs);
}

// How `byte` goes on from the bytes so far (`pending`) of a multi-byte
// character: a Shift-JIS lead byte takes one trail byte; UTF-8 has no
// overlong forms, no surrogates, nothing past U+10FFFF.
enum class Continues : std::uint8_t { No, More, Whole };
Continues continues(std::string_view pending, unsigned char byte, bool shiftJis) {
  if (shiftJis) return isShiftJisTrail(byte) ? Continues::Whole : Continues::No;
  const auto lead = static_cast<unsigned char>(pending[0]);
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (pending.size() == 1) {
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (byte < low || byte > high) return Continues::No;
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  return pending.size() + 1 == length ? Continues::Whole : Continues::More;
}

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

// The key of a single byte, as input::byteKey; a CR is remembered, as an LF
// right after it belongs to it.
bool InputDecoder::byteKey(unsigned char byte, std::uint8_t modifiers, std::int64_t time,
                           std::vector<InputEvent>& out) {
  if (!input::byteKey(byte, modifiers, time, out)) return false;
  if (byte == 0x0D) {
    afterCr_ = true;
    crTime_ = time;
  }
  return true;
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
            input::decodeCsi(pending_, byte, pendingSince_, held_, out);
          } else {
            input::decodeSs3(pending_, byte, pendingSince_, out);
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
          input::mouseReport(value(0), value(1), value(2), false, pendingSince_, held_, out);
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
        const Continues next = continues(pending_, byte, shiftJis_);
        if (next == Continues::No) {
          flushUtf8(out);
          state_ = State::Ground;
          continue;
        }
        utf8Times_[pending_.size()] = now;
        pending_.push_back(static_cast<char>(byte));
        if (next == Continues::Whole) {
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

}  // namespace kotodama
