// A typed name, any bytes, converted to the Shift-JIS the game keeps. From a
// UTF-8 terminal the result is what glibc's own UTF-8 decoder (up to
// U+10FFFF) and its CP932 table give, character by character: ASCII as it is, a character CP932
// cannot hold as "?", and each byte that starts no valid character as "?".
// From a Shift-JIS terminal every byte stays or becomes "?", one for one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/display_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace kotodama;

// The CP932 bytes of one code point, or "?" when it has none.
std::string toCp932(wchar_t c) {
  static const iconv_t cd = iconv_open("CP932", "WCHAR_T");
  CHECK(cd != reinterpret_cast<iconv_t>(-1));
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char out[8];
  char *inPtr = reinterpret_cast<char*>(&c), *outPtr = out;
  std::size_t inLeft = sizeof c, outLeft = sizeof out;
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return "?";
  return std::string(out, sizeof out - outLeft);
}

std::string expected(std::string_view typed) {
  std::string out;
  while (!typed.empty()) {
    std::size_t length = 1;
    std::optional<std::wstring> one;
    if (static_cast<unsigned char>(typed[0]) >= 0x80) {
      for (length = 2; length <= 4 && length <= typed.size(); ++length) {
        if ((one = fuzz::decodeUtf8(typed.substr(0, length))) && one->size() == 1) break;
      }
    }
    const bool valid = length == 1 || (length <= 4 && length <= typed.size());
    out += length == 1 ? std::string(1, typed[0]) : valid ? toCp932((*one)[0]) : "?";
    typed.remove_prefix(valid ? length : 1);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);
  CHECK(typedToShiftJis(typed, TerminalEncoding::Utf8) == expected(typed));
  const std::string kept = typedToShiftJis(typed, TerminalEncoding::ShiftJis);
  CHECK(kept.size() == size);
  for (std::size_t i = 0; i < size; ++i) CHECK(kept[i] == typed[i] || kept[i] == '?');
  return 0;
}
