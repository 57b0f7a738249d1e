#include "console/display_text.h"

#include <array>
#include <charconv>
#include <climits>
#include <cstdint>
#include <memory>

#include "console/system_text.h"
#include "console/utf8.h"

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
    const int width = terminalColumns(cp);
    if (width < 0) return -1;
    total += width;
    rest.remove_prefix(length);
  }
  return total;
}

std::unique_ptr<Tables> buildTables() {
  auto tables = std::make_unique<Tables>();
  CodePage932 codePage;
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
      if (codePage.toUtf8(code, 2, utf8) && utf8.size() <= sizeof glyph.utf8) {
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
  const int width = terminalColumns(cp);
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
  std::unique_ptr<CodePage932> codePage;  // opened at the first non-ASCII character
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
    if (!codePage) codePage = std::make_unique<CodePage932>();
    if (!codePage->fromUnicode(cp, out)) out += '?';
    utf8.remove_prefix(length);
  }
  return out;
}

}  // namespace kotodama
