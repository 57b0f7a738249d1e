#include "console/display_text.h"

#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <locale.h>
#include <wchar.h>
#endif

namespace kotodama {
namespace {

// ------------------------------------------------------------ byte classes

bool isLead(unsigned b) { return isShiftJisLead(b); }
bool isTrail(unsigned b) { return isShiftJisTrail(b); }
bool isHalfWidthKana(unsigned b) { return b >= 0xA1 && b <= 0xDF; }
bool isControl(unsigned b) { return b < 0x20 || b == 0x7F; }
bool isPrintableAscii(unsigned b) { return b >= 0x20 && b < 0x7F; }
// 0x80, 0xA0 and 0xFD..0xFF start no character in code page 932.
bool isNoCharacter(unsigned b) { return b == 0x80 || b == 0xA0 || b >= 0xFD; }

constexpr int kLeadCount = (0x9F - 0x81 + 1) + (0xFC - 0xE0 + 1);   // 60
constexpr int kTrailCount = (0x7E - 0x40 + 1) + (0xFC - 0x80 + 1);  // 188

int leadIndex(unsigned lead) { return lead <= 0x9F ? int(lead - 0x81) : int(lead - 0xE0) + 31; }
int trailIndex(unsigned trail) { return trail <= 0x7E ? int(trail - 0x40) : int(trail - 0x80) + 63; }

unsigned byteAt(const char* bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

int saturatingAdd(int column, std::size_t count) {
  const auto room = static_cast<std::size_t>(INT_MAX - column);  // column >= 1
  return count >= room ? INT_MAX : column + static_cast<int>(count);
}

// ------------------------------------------------------------------ UTF-8

// Decodes one well-formed UTF-8 character at the start of `s` (no overlong
// forms, no surrogates, nothing past U+10FFFF). Returns its length, or 0 when
// the first byte does not start one.
std::size_t decodeUtf8(std::string_view s, char32_t& cp) {
  if (s.empty()) return 0;
  const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned b0 = at(0);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  std::size_t length;
  unsigned low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (at(1) < low || at(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (at(i) < 0x80 || at(i) > 0xBF) return 0;
  }
  char32_t value = b0 & (0xFFu >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (at(i) & 0x3Fu);
  cp = value;
  return length;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// ------------------------------------------- conversions and column widths

// Columns by the East Asian width classes alone, for where there is no
// wcwidth to ask: wide characters two, ambiguous ones one.
int eastAsianColumns(char32_t cp) {
  if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) return -1;
  if (cp >= 0x300 && cp <= 0x36F) return 0;
  const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF && cp != 0x303F) ||
                    (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                    (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                    (cp >= 0xFFE0 && cp <= 0xFFE6) || (cp >= 0x1F300 && cp <= 0x1F64F) ||
                    (cp >= 0x20000 && cp <= 0x3FFFD);
  return wide ? 2 : 1;
}

#ifdef _WIN32

int columnsOf(char32_t cp) { return eastAsianColumns(cp); }

// One character of code page 932 (1 or 2 bytes) to UTF-8.
class ShiftJisDecoder {
 public:
  bool convert(const char* sjis, std::size_t size, std::string& out) {
    wchar_t wide[4];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, sjis, static_cast<int>(size), wide, 4);
    if (n <= 0) return false;
    for (int i = 0; i < n; ++i) {
      char32_t cp = static_cast<char16_t>(wide[i]);
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00u);
      } else if (cp >= 0xD800 && cp <= 0xDFFF) {
        return false;
      }
      appendUtf8(out, cp);
    }
    return true;
  }
};

// One Unicode character to code page 932.
class ShiftJisEncoder {
 public:
  bool convert(char32_t cp, std::string& out) {
    wchar_t wide[2];
    int n = 1;
    if (cp >= 0x10000) {
      wide[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      wide[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      n = 2;
    } else {
      wide[0] = static_cast<wchar_t>(cp);
    }
    char sjis[8];
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, n, sjis, sizeof sjis, nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return false;
    out.append(sjis, static_cast<std::size_t>(size));
    return true;
  }
};

#else

// Columns the terminal gives a character: wcwidth under C.UTF-8, whatever
// locale the process runs in. -1 for characters that have none.
int columnsOf(char32_t cp) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  if (utf8 == static_cast<locale_t>(nullptr)) return eastAsianColumns(cp);
  const locale_t previous = uselocale(utf8);
  const int width = wcwidth(static_cast<wchar_t>(cp));
  uselocale(previous);
  return width;
}

// One descriptor of glibc iconv, kept open for many small conversions.
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

#ifdef KOTODAMA_CP932_TABLE
// Where the C library's iconv lacks code page 932 (the web build), the table
// the build machine's iconv wrote (cmake/cp932_table.cpp) stands in for it.
#include KOTODAMA_CP932_TABLE

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

class ShiftJisDecoder {
 public:
  bool convert(const char* sjis, std::size_t size, std::string& out) {
    if (size != 2) return false;
    const std::uint32_t cp = lookUp(kCp932Pairs, static_cast<unsigned char>(sjis[0]) << 8 | static_cast<unsigned char>(sjis[1]));
    if (cp == 0) return false;
    appendUtf8(out, cp);
    return true;
  }
};

class ShiftJisEncoder {
 public:
  bool convert(char32_t cp, std::string& out) {
    const std::uint32_t code = lookUp(kCp932Codes, cp);
    if (code == 0) return false;
    if (code > 0xFF) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    return true;
  }
};
#else
class ShiftJisDecoder {
 public:
  bool convert(const char* sjis, std::size_t size, std::string& out) { return iconv_.convert(sjis, size, out); }

 private:
  Iconv iconv_{"UTF-8", "CP932"};
};

class ShiftJisEncoder {
 public:
  bool convert(char32_t cp, std::string& out) {
    std::string utf8;
    appendUtf8(utf8, cp);
    return iconv_.convert(utf8.data(), utf8.size(), out);
  }

 private:
  Iconv iconv_{"CP932", "UTF-8"};
};
#endif

#endif

// --------------------------------------------------- the display's tables

// What one Shift-JIS character shows as on a UTF-8 terminal.
struct Glyph {
  char utf8[6] = {};
  std::uint8_t size = 0;
  bool convertible = false;  // false: the code holds no character
  bool offWidth = false;     // the terminal gives it other columns than the game
};

// Every code of code page 932, converted once on first use and kept: the
// screen is drawn through these tables every frame.
struct Tables {
  std::array<Glyph, 256> single;
  std::array<Glyph, kLeadCount * kTrailCount> pairs;

  const Glyph& pair(unsigned lead, unsigned trail) const {
    return pairs[static_cast<std::size_t>(leadIndex(lead) * kTrailCount + trailIndex(trail))];
  }
};

void fill(Glyph& glyph, const std::string& utf8, bool convertible, bool offWidth) {
  glyph.size = static_cast<std::uint8_t>(utf8.size());
  for (std::size_t i = 0; i < utf8.size() && i < sizeof glyph.utf8; ++i) glyph.utf8[i] = utf8[i];
  glyph.convertible = convertible;
  glyph.offWidth = offWidth;
}

// The columns a converted text takes, or -1 when some part of it has none.
int columnsOfText(const std::string& utf8) {
  int total = 0;
  std::string_view rest = utf8;
  while (!rest.empty()) {
    char32_t cp = 0;
    const std::size_t length = decodeUtf8(rest, cp);
    if (length == 0) return -1;
    const int width = columnsOf(cp);
    if (width < 0) return -1;
    total += width;
    rest.remove_prefix(length);
  }
  return total;
}

std::unique_ptr<Tables> buildTables() {
  auto tables = std::make_unique<Tables>();
  ShiftJisDecoder decoder;
  for (unsigned b = 0; b < 256; ++b) {
    Glyph& glyph = tables->single[b];
    if (isPrintableAscii(b)) {
      fill(glyph, std::string(1, static_cast<char>(b)), true, false);
    } else if (isHalfWidthKana(b)) {
      std::string utf8;
      appendUtf8(utf8, 0xFF61 + (b - 0xA1));
      fill(glyph, utf8, true, columnsOfText(utf8) != 1);
    } else {
      // Control bytes, bytes that are no character and lone lead bytes.
      fill(glyph, " ", false, false);
    }
  }
  std::string utf8;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!isLead(lead)) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (!isTrail(trail)) continue;
      const char code[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      utf8.clear();
      Glyph& glyph = tables->pairs[static_cast<std::size_t>(leadIndex(lead) * kTrailCount + trailIndex(trail))];
      if (decoder.convert(code, 2, utf8) && utf8.size() <= sizeof glyph.utf8) {
        fill(glyph, utf8, true, columnsOfText(utf8) != 2);
      } else {
        fill(glyph, "??", false, false);  // an unassigned code still takes its two columns
      }
    }
  }
  return tables;
}

const Tables& tables() {
  static const std::unique_ptr<Tables> built = buildTables();
  return *built;
}

// A lead and trail byte for the terminal; `next` is the column after them.
void sendPair(DisplaySink& sink, const Tables* table, unsigned lead, unsigned trail, int next) {
  if (table == nullptr) {  // a Shift-JIS terminal
    const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
    sink.text(pair, 2);
    return;
  }
  const Glyph& glyph = table->pair(lead, trail);
  sink.text(glyph.utf8, glyph.size);
  if (glyph.offWidth) sink.moveToColumn(next);
}

}  // namespace

// ---------------------------------------------------------- DisplayEncoder

void EscapeSink::moveToColumn(int column) {
  char digits[16];
  const auto result = std::to_chars(digits, digits + sizeof digits, column);
  out_ += "\x1b[";
  out_.append(digits, result.ptr);
  out_ += 'G';
}

DisplayEncoder::DisplayEncoder(TerminalEncoding encoding) : encoding_(encoding) {}

void DisplayEncoder::setColumn(int column) {
  column_ = column < 1 ? 1 : column;
  // The console settles before it moves the cursor; a lead byte still held
  // here belongs to a place the cursor has left and is dropped.
  heldLead_ = -1;
}

void DisplayEncoder::put(const char* bytes, std::size_t size, DisplaySink& out) {
  if (size == 0) return;
  const bool utf8 = encoding_ == TerminalEncoding::Utf8;
  const Tables* table = utf8 ? &tables() : nullptr;
  std::size_t i = 0;

  // A lead byte held from the last put: its column was counted then.
  if (heldLead_ >= 0) {
    const auto lead = static_cast<unsigned>(heldLead_);
    heldLead_ = -1;
    const unsigned trail = byteAt(bytes, 0);
    if (isTrail(trail)) {
      column_ = saturatingAdd(column_, 1);
      i = 1;
      sendPair(out, table, lead, trail, column_);
    } else {
      out.text(" ", 1);
    }
  }

  // Bytes that go out as they are: printable ASCII, and on a Shift-JIS
  // terminal every single-byte character.
  const auto plain = [utf8](unsigned c) { return utf8 ? isPrintableAscii(c) : !isControl(c) && !isLead(c); };
  while (i < size) {
    const unsigned b = byteAt(bytes, i);
    if (plain(b)) {
      std::size_t end = i + 1;
      while (end < size && plain(byteAt(bytes, end))) ++end;
      out.text(bytes + i, end - i);
      column_ = saturatingAdd(column_, end - i);
      i = end;
      continue;
    }
    if (isLead(b)) {
      if (i + 1 == size) {
        heldLead_ = static_cast<int>(b);
        column_ = saturatingAdd(column_, 1);
        return;
      }
      const unsigned trail = byteAt(bytes, i + 1);
      if (isTrail(trail)) {
        column_ = saturatingAdd(column_, 2);
        i += 2;
        sendPair(out, table, b, trail, column_);
        continue;
      }
      // A lead byte with no trail after it: a blank, and the next byte
      // stands on its own.
      out.text(" ", 1);
      column_ = saturatingAdd(column_, 1);
    } else if (utf8) {
      const Glyph& glyph = table->single[b];
      out.text(glyph.utf8, glyph.size);
      column_ = saturatingAdd(column_, 1);
      if (glyph.offWidth) out.moveToColumn(column_);
    } else {
      out.text(" ", 1);  // a control byte
      column_ = saturatingAdd(column_, 1);
    }
    ++i;
  }
}

void DisplayEncoder::settle(DisplaySink& out) {
  if (heldLead_ < 0) return;
  heldLead_ = -1;
  out.text(" ", 1);  // its column was counted when it came
}

// ------------------------------------------------------------- typed text

std::string typedToShiftJis(std::string_view typed, TerminalEncoding encoding) {
  if (encoding == TerminalEncoding::Utf8) return utf8ToShiftJis(typed);
  std::string out;
  out.reserve(typed.size());
  for (std::size_t i = 0; i < typed.size(); ++i) {
    const unsigned b = byteAt(typed.data(), i);
    if (isLead(b) && i + 1 < typed.size() && isTrail(byteAt(typed.data(), i + 1))) {
      out += typed[i];
      out += typed[i + 1];
      ++i;
    } else if (isLead(b) || isNoCharacter(b)) {
      out += '?';
    } else {
      out += typed[i];
    }
  }
  return out;
}

int typedCharWidth(std::string_view character, TerminalEncoding encoding) {
  if (character.empty()) return 0;
  if (encoding == TerminalEncoding::ShiftJis) {
    const bool pair = character.size() >= 2 && isLead(byteAt(character.data(), 0)) &&
                      isTrail(byteAt(character.data(), 1));
    return pair ? 2 : 1;
  }
  char32_t cp = 0;
  if (decodeUtf8(character, cp) == 0) return 1;
  const int width = columnsOf(cp);
  return width < 0 ? 0 : (width > 2 ? 2 : width);
}

// ------------------------------------------------------ whole conversions

std::string shiftJisToUtf8(std::string_view sjis) {
  const Tables& table = tables();
  std::string out;
  out.reserve(sjis.size() * 2);
  for (std::size_t i = 0; i < sjis.size(); ++i) {
    const unsigned b = byteAt(sjis.data(), i);
    if (b < 0x80) {
      out += sjis[i];
    } else if (isLead(b)) {
      if (i + 1 < sjis.size() && isTrail(byteAt(sjis.data(), i + 1))) {
        const Glyph& glyph = table.pair(b, byteAt(sjis.data(), i + 1));
        if (glyph.convertible) {
          out.append(glyph.utf8, glyph.size);
        } else {
          out += '?';
        }
        ++i;
      } else {
        out += '?';
      }
    } else if (isHalfWidthKana(b)) {
      const Glyph& glyph = table.single[b];
      out.append(glyph.utf8, glyph.size);
    } else {
      out += '?';
    }
  }
  return out;
}

std::string utf8ToShiftJis(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::unique_ptr<ShiftJisEncoder> encoder;  // opened at the first non-ASCII character
  while (!utf8.empty()) {
    const auto b0 = static_cast<unsigned char>(utf8[0]);
    if (b0 < 0x80) {
      out += utf8[0];  // ASCII is the same in code page 932
      utf8.remove_prefix(1);
      continue;
    }
    char32_t cp = 0;
    const std::size_t length = decodeUtf8(utf8, cp);
    if (length == 0) {
      out += '?';  // every byte of broken UTF-8 on its own
      utf8.remove_prefix(1);
      continue;
    }
    if (!encoder) encoder = std::make_unique<ShiftJisEncoder>();
    if (!encoder->convert(cp, out)) out += '?';
    utf8.remove_prefix(length);
  }
  return out;
}

}  // namespace kotodama
