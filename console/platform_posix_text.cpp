// Text on POSIX systems, and in the web page (whose C library is a POSIX
// one): the columns a terminal gives a character (wcwidth) and code page 932
// through iconv; where the C library's iconv lacks code page 932 (the web
// build), the table the build machine's iconv wrote (cmake/cp932_table.cpp)
// stands in for it.
#include <iconv.h>
#include <locale.h>
#include <wchar.h>

#include <cstdint>

#include "console/system_text.h"
#include "console/utf8.h"

namespace kotodama {

// Columns the terminal gives a character: wcwidth under C.UTF-8, whatever
// locale the process runs in.
int terminalColumns(char32_t cp) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == static_cast<locale_t>(nullptr)) return eastAsianColumns(cp);
  const locale_t previous = uselocale(utf8);
  const int width = wcwidth(static_cast<wchar_t>(cp));
  uselocale(previous);
  return width;
}

#ifdef KOTODAMA_CP932_TABLE
#include KOTODAMA_CP932_TABLE

namespace {

// The second number of the entry whose first is `key`, or 0 when none is.
template <std::size_t N>
std::uint32_t lookUp(const std::uint32_t (&table)[N][2], std::uint32_t key) {
  std::size_t low = 0, high = N;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (table[middle][0] < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low < N && table[low][0] == key ? table[low][1] : 0;
}

}  // namespace

struct CodePage932::System {};
CodePage932::CodePage932() = default;

bool CodePage932::toUtf8(const char* sjis, std::size_t size, std::string& out) {
  if (size != 2) return false;
  const std::uint32_t cp = lookUp(kCp932Pairs, static_cast<unsigned char>(sjis[0]) << 8 | static_cast<unsigned char>(sjis[1]));
  if (cp == 0) return false;
  appendUtf8(out, cp);
  return true;
}

bool CodePage932::fromUnicode(char32_t cp, std::string& out) {
  const std::uint32_t code = lookUp(kCp932Codes, cp);
  if (code == 0) return false;
  if (code > 0xFF) out += static_cast<char>(code >> 8);
  out += static_cast<char>(code & 0xFF);
  return true;
}

#else

namespace {

// One descriptor of iconv, kept open for many small conversions.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts exactly `size` bytes (at most 8) and appends the result; false,
  // appending nothing, when they are not one whole convertible text.
  bool convert(const char* in, std::size_t size, std::string& out) {
    if (!ok() || size > sizeof input_) return false;
    for (std::size_t i = 0; i < size; ++i) input_[i] = in[i];
    char* inPtr = input_;
    std::size_t inLeft = size;
    char* outPtr = output_;
    std::size_t outLeft = sizeof output_;
    const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
      return false;
    }
    out.append(output_, sizeof output_ - outLeft);
    return true;
  }

 private:
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  iconv_t cd_;
  char input_[8];
  char output_[32];
};

}  // namespace

struct CodePage932::System {
  Iconv toUtf8{"UTF-8", "CP932"};
  Iconv fromUtf8{"CP932", "UTF-8"};
};
CodePage932::CodePage932() : system_(std::make_unique<System>()) {}

bool CodePage932::toUtf8(const char* sjis, std::size_t size, std::string& out) {
  return system_->toUtf8.convert(sjis, size, out);
}

bool CodePage932::fromUnicode(char32_t cp, std::string& out) {
  std::string utf8;
  appendUtf8(utf8, cp);
  return system_->fromUtf8.convert(utf8.data(), utf8.size(), out);
}

#endif

CodePage932::~CodePage932() = default;

}  // namespace kotodama
