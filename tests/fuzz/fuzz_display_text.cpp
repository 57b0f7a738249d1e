// Any bytes as game text, cut into puts where the input says, drawn for both
// kinds of terminal. On a UTF-8 terminal the output must be valid UTF-8 and
// leave the cursor, as wcwidth and the ESC[<n>G moves place it, on the
// encoder's column; on a Shift-JIS terminal every byte gives exactly one byte.
// Either way the column moves one per byte.
#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/display_text.h"
#include "tests/fuzz/utf8_oracle.h"

namespace {

using kotodama::DisplayEncoder;
using kotodama::TerminalEncoding;

#define CHECK(condition) \
  do {                     \
    if (!(condition)) __builtin_trap(); \
  } while (false)

bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

int widthOf(char32_t cp) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  CHECK(utf8 != static_cast<locale_t>(nullptr));
  const locale_t previous = uselocale(utf8);
  const int width = wcwidth(static_cast<wchar_t>(cp));
  uselocale(previous);
  return width;
}

// The column a terminal's cursor ends on after `shown`, starting at `column`.
long long cursorAfter(const std::u32string& shown, long long column) {
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const char32_t cp = shown[i];
    if (cp == 0x1B) {
      CHECK(i + 1 < shown.size() && shown[i + 1] == '[');
      long long n = 0;
      std::size_t k = i + 2;
      for (; k < shown.size() && shown[k] >= '0' && shown[k] <= '9'; ++k) n = std::min(n * 10 + (shown[k] - '0'), 1LL << 40);
      CHECK(k > i + 2 && k < shown.size() && shown[k] == 'G');
      column = n;
      i = k;
      continue;
    }
    const int width = widthOf(cp);
    CHECK(width >= 0);  // no control character reaches the terminal
    column += width;
  }
  return column;
}

struct Schedule {
  int start = 1;
  bool settleEachPut = false;
  std::vector<std::size_t> cuts;  // sizes of the puts before the last one
  const char* text = nullptr;
  std::size_t size = 0;
};

Schedule readSchedule(const std::uint8_t* data, std::size_t size) {
  Schedule s;
  s.start = data[0] == 0xFF ? INT_MAX - 16 : 1 + data[0];
  s.settleEachPut = (data[1] & 0x10) != 0;
  std::size_t pos = 2;
  const std::size_t cutCount = data[1] & 0x0F;
  for (std::size_t i = 0; i < cutCount && pos < size; ++i) s.cuts.push_back(data[pos++] % 24);
  s.text = reinterpret_cast<const char*>(data + pos);
  s.size = size - pos;
  return s;
}

void run(const Schedule& s, TerminalEncoding encoding) {
  DisplayEncoder encoder(encoding);
  encoder.setColumn(s.start);
  std::string out;
  std::size_t done = 0;
  long long shownColumn = s.start;
  const bool modelled = encoding == TerminalEncoding::Utf8 && s.start < 1000;
  auto put = [&](std::size_t n) {
    const std::size_t before = out.size();
    encoder.put(s.text + done, n, out);
    done += n;
    if (s.settleEachPut) encoder.settle(out);
    if (encoding == TerminalEncoding::Utf8) {
      // Every put ends on a whole character.
      const auto shown = kotodama::decodeUtf8(std::string_view(out).substr(before));
      CHECK(shown.has_value());
      if (modelled) {
        shownColumn = cursorAfter(*shown, shownColumn);
        // A lead byte held back is counted but not yet shown.
        const bool mayHold = !s.settleEachPut && done > 0 && isLead(static_cast<unsigned char>(s.text[done - 1]));
        CHECK(shownColumn == encoder.column() || (mayHold && shownColumn + 1 == encoder.column()));
      }
    }
  };
  for (std::size_t cut : s.cuts) put(std::min(cut, s.size - done));
  put(s.size - done);
  const std::size_t before = out.size();
  encoder.settle(out);
  const long long expected = std::min<long long>(static_cast<long long>(s.start) + static_cast<long long>(s.size), INT_MAX);
  CHECK(encoder.column() == expected);
  if (encoding == TerminalEncoding::Utf8) {
    const auto shown = kotodama::decodeUtf8(std::string_view(out).substr(before));
    CHECK(shown.has_value());
    if (modelled) CHECK(cursorAfter(*shown, shownColumn) == expected);
  } else {
    CHECK(out.size() == s.size);
    for (std::size_t i = 0; i < s.size; ++i) {
      const auto b = static_cast<unsigned char>(out[i]);
      CHECK(b >= 0x20 && b != 0x7F);
      CHECK(out[i] == s.text[i] || out[i] == ' ');
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Schedule schedule = readSchedule(data, size);
  run(schedule, TerminalEncoding::Utf8);
  run(schedule, TerminalEncoding::ShiftJis);
  return 0;
}
