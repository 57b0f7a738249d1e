// Feeds terminal input to the decoder in pieces, at moving times, and checks
// that whatever comes out is well formed and does not depend on how the
// bytes were cut.
//
// The first four bytes seed the piece sizes and time steps; the rest is the input.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/input_decoder.h"

namespace {

using kotodama::EventKind;
using kotodama::InputDecoder;
using kotodama::InputEvent;

void require(bool ok) {
  if (!ok) std::abort();
}

bool validUtf8Character(const std::string& s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto cont = [&](std::size_t i) { return b(i) >= 0x80 && b(i) <= 0xBF; };
  switch (s.size()) {
    case 2:
      return b(0) >= 0xC2 && b(0) <= 0xDF && cont(1);
    case 3:
      return b(0) >= 0xE0 && b(0) <= 0xEF && cont(1) && cont(2) && !(b(0) == 0xE0 && b(1) < 0xA0) &&
             !(b(0) == 0xED && b(1) > 0x9F);
    case 4:
      return b(0) >= 0xF0 && b(0) <= 0xF4 && cont(1) && cont(2) && cont(3) &&
             !(b(0) == 0xF0 && b(1) < 0x90) && !(b(0) == 0xF4 && b(1) > 0x8F);
    default:
      return false;
  }
}

void checkEvent(const InputEvent& e, std::int64_t earliest, std::int64_t now) {
  require(e.time >= earliest && e.time <= now);
  switch (e.kind) {
    case EventKind::Key:
      require(e.vk != 0);
      require(e.text.size() <= 1);
      if (!e.pressed) require(e.reportsRelease && e.text.empty());
      if (e.modifiers & kotodama::kModCtrl) require(e.text.empty());
      break;
    case EventKind::Text:
      require(e.vk == 0);
      require(!e.text.empty() && e.text.size() <= 4);
      if (e.text.size() > 1) require(validUtf8Character(e.text));
      break;
    case EventKind::Mouse:
      require(e.x >= 0 && e.y >= 0);
      require(e.text.empty() && e.vk == 0);
      require((e.buttons & ~(kotodama::kButtonLeft | kotodama::kButtonMiddle |
                             kotodama::kButtonRight)) == 0);
      break;
  }
  require((e.modifiers & ~(kotodama::kModShift | kotodama::kModCtrl | kotodama::kModAlt)) == 0);
}

bool sameEvent(const InputEvent& a, const InputEvent& b) {
  return a.kind == b.kind && a.time == b.time && a.vk == b.vk && a.pressed == b.pressed &&
         a.reportsRelease == b.reportsRelease && a.modifiers == b.modifiers && a.x == b.x &&
         a.y == b.y && a.buttons == b.buttons && a.wheel == b.wheel && a.text == b.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t seed = 0;
  std::memcpy(&seed, data, 4);
  seed |= 1;
  auto next = [&seed] {  // xorshift32
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    return seed;
  };
  const char* input = reinterpret_cast<const char*>(data + 4);
  const std::size_t length = size - 4;

  // 1. In pieces, with time passing and expire() called now and then.
  {
    InputDecoder d;
    std::vector<InputEvent> out;
    std::int64_t now = 1000;
    std::size_t pos = 0;
    std::size_t checked = 0;
    while (pos < length) {
      const std::uint32_t r = next();
      const std::size_t piece = std::min<std::size_t>(length - pos, 1 + (r % 8 == 0 ? r % 97 : r % 5));
      const std::int64_t before = now;
      d.feed(input + pos, piece, now, out);
      pos += piece;
      const std::int64_t deadline = d.pendingDeadline();
      // Whatever is pending started no later than now.
      require(deadline == -1 || (deadline >= 1000 + InputDecoder::kEscapeTimeoutMs &&
                                 deadline <= now + InputDecoder::kEscapeTimeoutMs));
      now += static_cast<std::int64_t>((r >> 8) % 45);
      if ((r >> 16) & 1) {
        d.expire(now, out);
        const std::int64_t after = d.pendingDeadline();
        if (deadline != -1 && now >= deadline) require(after == -1);
        if (deadline != -1 && now < deadline) require(after == deadline);
        if (deadline == -1) require(after == -1);
      }
      for (; checked < out.size(); ++checked) checkEvent(out[checked], 1000, std::max(before, now));
      // Events come out in the order their bytes arrived.
      for (std::size_t i = 1; i < out.size(); ++i) require(out[i - 1].time <= out[i].time);
    }
    d.expire(now + InputDecoder::kEscapeTimeoutMs, out);
    require(d.pendingDeadline() == -1);
    for (; checked < out.size(); ++checked) checkEvent(out[checked], 1000, now);
  }

  // 2. At one time, cutting anywhere gives what feeding it whole gives.
  {
    InputDecoder whole;
    std::vector<InputEvent> expected;
    whole.feed(input, length, 7, expected);
    whole.expire(7 + InputDecoder::kEscapeTimeoutMs, expected);
    require(whole.pendingDeadline() == -1);

    InputDecoder pieces;
    std::vector<InputEvent> out;
    std::size_t pos = 0;
    while (pos < length) {
      const std::size_t piece = std::min<std::size_t>(length - pos, next() % 7);
      pieces.feed(input + pos, piece, 7, out);
      pos += piece;
    }
    pieces.expire(7 + InputDecoder::kEscapeTimeoutMs, out);
    require(out.size() == expected.size());
    for (std::size_t i = 0; i < out.size(); ++i) require(sameEvent(out[i], expected[i]));
  }
  return 0;
}
