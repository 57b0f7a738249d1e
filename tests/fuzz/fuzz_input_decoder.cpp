// Terminal input fed to the decoder whole and in pieces: whatever comes out
// is well formed and the same however the bytes were cut (with a timeout
// check short of the deadline after every piece), and nothing stays pending
// once the escape timeout has passed. The first four bytes seed the piece
// sizes and choose the terminal's encoding; the rest is the input.
#include <algorithm>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "console/display_text.h"
#include "console/input_decoder.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace kotodama;

void checkEvent(const InputEvent& e, bool shiftJis) {
  CHECK(e.time == 7 && (e.modifiers & ~(kModShift | kModCtrl | kModAlt)) == 0);
  switch (e.kind) {
    case EventKind::Key:
      CHECK(e.vk != 0 && e.text.size() <= 1 && (e.pressed || (e.reportsRelease && e.text.empty())));
      CHECK(!(e.modifiers & kModCtrl) || e.text.empty());
      break;
    case EventKind::Text:  // one byte, one whole UTF-8 character, or a Shift-JIS lead and trail byte
      CHECK(e.vk == 0 && !e.text.empty() && e.text.size() <= 4);
      CHECK(e.text.size() == 1 ||
            (shiftJis ? e.text.size() == 2 && isShiftJisLead(static_cast<unsigned char>(e.text[0])) &&
                            isShiftJisTrail(static_cast<unsigned char>(e.text[1]))
                      : fuzz::decodeUtf8(e.text).value_or(L"").size() == 1));
      break;
    case EventKind::Answer:
      CHECK(e.answer != Answer::None && e.vk == 0 && e.text.empty());
      break;
    case EventKind::Mouse:
      CHECK(e.x >= 0 && e.y >= 0 && e.text.empty() && e.vk == 0);
      CHECK((e.buttons & ~(kButtonLeft | kButtonMiddle | kButtonRight)) == 0);
      break;
  }
}

auto fields(const InputEvent& e) {
  return std::tie(e.kind, e.time, e.vk, e.pressed, e.reportsRelease, e.modifiers, e.x, e.y, e.buttons, e.wheel,
                  e.text, e.answer);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::uint32_t seed = 0;
  std::memcpy(&seed, data, 4);
  std::minstd_rand random(seed);
  const char* input = reinterpret_cast<const char*>(data + 4);
  const std::size_t length = size - 4;
  constexpr std::int64_t kTimeout = InputDecoder::kEscapeTimeoutMs;

  const bool shiftJis = (seed & 2) != 0;  // a Shift-JIS terminal for half of the inputs
  InputDecoder whole(shiftJis), pieces(shiftJis);
  std::vector<InputEvent> expected, cut;
  whole.feed(input, length, 7, expected);
  whole.expire(7 + kTimeout, expected);
  for (std::size_t pos = 0; pos < length;) {
    const std::size_t piece = std::min<std::size_t>(length - pos, random() % 7);
    pieces.feed(input + pos, piece, 7, cut);
    pieces.expire(7 + kTimeout - 1, cut);  // short of the deadline: nothing may come out early
    pos += piece;
  }
  pieces.expire(7 + kTimeout, cut);
  CHECK(whole.pendingDeadline() == -1 && pieces.pendingDeadline() == -1 && cut.size() == expected.size());
  for (std::size_t i = 0; i < cut.size(); ++i) {
    CHECK(fields(cut[i]) == fields(expected[i]));
    checkEvent(cut[i], shiftJis);
  }
  return 0;
}
