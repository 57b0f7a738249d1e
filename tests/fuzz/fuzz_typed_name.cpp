// Any bytes as a typed line, for both kinds of terminal. What is stored is
// well-formed Shift-JIS (no lone lead byte, no byte that starts no
// character), holds a NUL only where one was typed, never grows, and reads
// back to itself through UTF-8.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/display_text.h"
#include "tests/fuzz/utf8_oracle.h"

namespace {

using kotodama::TerminalEncoding;

#define CHECK(condition) \
  do {                     \
    if (!(condition)) __builtin_trap(); \
  } while (false)

bool isLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool isTrail(unsigned b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

void checkWellFormed(const std::string& sjis) {
  for (std::size_t i = 0; i < sjis.size(); ++i) {
    const auto b = static_cast<unsigned char>(sjis[i]);
    if (isLead(b)) {
      CHECK(i + 1 < sjis.size() && isTrail(static_cast<unsigned char>(sjis[i + 1])));
      ++i;
    } else {
      CHECK(b != 0x80 && b != 0xA0 && b < 0xFD);
    }
  }
}

std::size_t nulCount(std::string_view s) {
  std::size_t n = 0;
  for (char c : s) n += c == '\0' ? 1 : 0;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);

  const std::string fromUtf8 = kotodama::typedToShiftJis(typed, TerminalEncoding::Utf8);
  checkWellFormed(fromUtf8);
  CHECK(fromUtf8.size() <= typed.size());
  CHECK(nulCount(fromUtf8) == nulCount(typed));
  CHECK(fromUtf8 == kotodama::utf8ToShiftJis(typed));
  const std::string shown = kotodama::shiftJisToUtf8(fromUtf8);
  const auto points = kotodama::decodeUtf8(shown);
  CHECK(points.has_value());
  CHECK(kotodama::typedToShiftJis(shown, TerminalEncoding::Utf8) == fromUtf8);

  const std::string fromShiftJis = kotodama::typedToShiftJis(typed, TerminalEncoding::ShiftJis);
  checkWellFormed(fromShiftJis);
  CHECK(fromShiftJis.size() == typed.size());
  for (std::size_t i = 0; i < typed.size(); ++i) CHECK(fromShiftJis[i] == typed[i] || fromShiftJis[i] == '?');
  CHECK(kotodama::decodeUtf8(kotodama::shiftJisToUtf8(typed)).has_value());

  // Widths of the typed text's characters, one at a time, as the line editor asks.
  for (std::size_t i = 0; i < typed.size(); ++i) {
    for (std::size_t n = 1; n <= 4 && i + n <= typed.size(); ++n) {
      const std::string_view character = typed.substr(i, n);
      const int utf8Width = kotodama::typedCharWidth(character, TerminalEncoding::Utf8);
      const int sjisWidth = kotodama::typedCharWidth(character, TerminalEncoding::ShiftJis);
      CHECK(utf8Width >= 0 && utf8Width <= 2);
      CHECK(sjisWidth >= 1 && sjisWidth <= 2);
    }
  }
  return 0;
}
