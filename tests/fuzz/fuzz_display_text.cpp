// Any bytes as game text, cut into puts where the input says, drawn for both
// kinds of terminal. On a UTF-8 terminal the output is valid UTF-8 without
// control characters but the ESC[<n>G moves, and a terminal emulator with a
// width table of its own (libvterm) puts its cursor, after every put, on the
// encoder's column; on a Shift-JIS terminal every byte gives exactly one
// byte. Either way the column moves one per byte.
#include <vterm.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "console/display_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace kotodama;

constexpr int kWidth = 2048;  // the emulator's row, wider than any modelled text

int emulatorColumn(VTerm* vt, std::string_view bytes) {
  vterm_input_write(vt, bytes.data(), bytes.size());
  VTermPos pos{};
  vterm_state_get_cursorpos(vterm_obtain_state(vt), &pos);
  return pos.col + 1;
}

void run(const std::uint8_t* data, std::size_t size, TerminalEncoding encoding) {
  // data[0]: the start column; data[1]: bit 4 settles after every put, bits 0-3 the number of cuts; then the cuts.
  const int start = data[0] == 0xFF ? INT_MAX - 16 : 1 + data[0];
  const bool settleEachPut = (data[1] & 0x10) != 0;
  std::vector<std::size_t> cuts;
  std::size_t pos = 2;
  for (std::size_t i = 0; i < (data[1] & 0x0Fu) && pos < size; ++i) cuts.push_back(data[pos++] % 24);
  const char* text = reinterpret_cast<const char*>(data + pos);
  const std::size_t length = size - pos;
  const long long end = static_cast<long long>(start) + static_cast<long long>(length);

  static VTerm* const vt = vterm_new(1, kWidth);
  vterm_set_utf8(vt, 1);
  vterm_state_reset(vterm_obtain_state(vt), 1);
  const bool utf8 = encoding == TerminalEncoding::Utf8;
  const bool modelled = utf8 && end < kWidth - 16;
  if (modelled) emulatorColumn(vt, "\x1b[" + std::to_string(start) + "G");

  DisplayEncoder encoder(encoding);
  encoder.setColumn(start);
  std::string out;
  std::size_t done = 0;
  const auto put = [&](std::size_t n, bool settle) {
    const std::size_t before = out.size();
    encoder.put(text + done, n, out);
    done += n;
    if (settle) encoder.settle(out);
    if (!utf8) return;
    const std::string_view shown = std::string_view(out).substr(before);
    fuzz::checkTerminalText(shown);  // every put ends on a whole character
    for (std::size_t i = shown.find('\x1b'); i != shown.npos; i = shown.find('\x1b', i + 1)) {
      const std::size_t g = shown.find_first_not_of("0123456789", i + 2);  // ESC [ digits G
      CHECK(shown.substr(i + 1, 1) == "[" && g != shown.npos && g > i + 2 && shown[g] == 'G');
    }
    if (!modelled) return;
    const int column = emulatorColumn(vt, shown);
    const bool mayHold = !settle && done > 0 && isShiftJisLead(static_cast<unsigned char>(text[done - 1]));
    CHECK(column == encoder.column() || (mayHold && column + 1 == encoder.column()));  // a held lead byte is counted
  };
  for (std::size_t cut : cuts) put(std::min(cut, length - done), settleEachPut);
  put(length - done, true);
  CHECK(encoder.column() == std::min<long long>(end, INT_MAX));
  if (utf8) return;
  CHECK(out.size() == length);
  for (std::size_t i = 0; i < length; ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    CHECK(b >= 0x20 && b != 0x7F && (out[i] == text[i] || out[i] == ' '));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  run(data, size, TerminalEncoding::Utf8);
  run(data, size, TerminalEncoding::ShiftJis);
  return 0;
}
