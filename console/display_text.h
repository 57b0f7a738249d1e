#pragma once
// Shift-JIS (code page 932) text as the terminal shows it, and typed text
// turned into Shift-JIS. The game keeps every text in Shift-JIS bytes and
// counts every column in those bytes: one byte, one column.
#include <cstddef>
#include <string>
#include <string_view>

namespace kotodama {

enum class TerminalEncoding {
  ShiftJis,  // the terminal shows code page 932 itself: bytes go out as they are
  Utf8,      // everything else: converted to UTF-8 for display
};

// Where encoded text goes: runs of text in the terminal's encoding, and
// moves of the cursor to a 1-based column of the row it is on.
class DisplaySink {
 public:
  virtual ~DisplaySink() = default;
  virtual void text(const char* bytes, std::size_t size) = 0;
  virtual void moveToColumn(int column) = 0;
};

// A sink for a terminal: the text as it is, a column move as ESC[<n>G.
class EscapeSink final : public DisplaySink {
 public:
  explicit EscapeSink(std::string& out) : out_(out) {}
  void text(const char* bytes, std::size_t size) override { out_.append(bytes, size); }
  void moveToColumn(int column) override;

 private:
  std::string& out_;
};

// Encodes the game's Shift-JIS text for the terminal, keeping every cell
// where the game put it:
//  - a double-byte character is converted (iconv CP932 -> UTF-8); when the
//    terminal shows it narrower than 2 columns (wcwidth, e.g. the ambiguous
//    U+2282 and U+2283), the cursor is put back on the column the game
//    expects (ESC[<n>G on a terminal);
//  - a lone half of a cut double-byte character takes one column: a lone
//    trail byte shows as its ASCII character when printable, anything else
//    (a lead byte with no trail after it) as a blank;
//  - single-byte katakana (0xA1..0xDF) are converted; NUL and other control
//    bytes and bytes that are no character show as one blank each;
//  - nothing it emits is ever invalid UTF-8.
// In ShiftJis mode bytes pass unchanged, except that control bytes still
// become blanks.
class DisplayEncoder {
 public:
  explicit DisplayEncoder(TerminalEncoding encoding);

  TerminalEncoding encoding() const { return encoding_; }

  // The 1-based column the next byte goes to (set by the console when it
  // moves the cursor).
  void setColumn(int column);
  int column() const { return column_; }

  // Sends `size` bytes of game text to `sink`. A lead byte at the end is held
  // until the next put() or settle().
  void put(const char* bytes, std::size_t size, DisplaySink& sink);

  // Shows a held lead byte as a lone half. The console calls it before
  // anything that is not text (cursor moves, colour changes, flushes).
  void settle(DisplaySink& sink);

  // The same, appending terminal bytes to `out`.
  void put(const char* bytes, std::size_t size, std::string& out) {
    EscapeSink sink(out);
    put(bytes, size, sink);
  }
  void settle(std::string& out) {
    EscapeSink sink(out);
    settle(sink);
  }

 private:
  TerminalEncoding encoding_;
  int column_ = 1;
  int heldLead_ = -1;  // a lead byte waiting for its trail byte, or -1
};

// The bytes that start a double-byte Shift-JIS character, and those that
// can follow such a start.
constexpr bool isShiftJisLead(unsigned b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool isShiftJisTrail(unsigned b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Converts a line typed in the terminal's encoding to Shift-JIS. A character
// that Shift-JIS cannot hold, and every byte of invalid input, becomes "?",
// as a Shift-JIS console would store it.
std::string typedToShiftJis(std::string_view typed, TerminalEncoding encoding);

// Columns the terminal gives one typed character (UTF-8 in Utf8 mode): 1 or 2;
// 0 for characters that take no cell.
int typedCharWidth(std::string_view character, TerminalEncoding encoding);

// Shift-JIS text converted to UTF-8 (unconvertible bytes as "?"); for tests,
// messages and tools, not for drawing screens.
std::string shiftJisToUtf8(std::string_view sjis);

// UTF-8 text converted to Shift-JIS; used to write the game's Japanese texts
// readably in the source (u8"...") while the program keeps them as
// Shift-JIS bytes.
std::string utf8ToShiftJis(std::string_view utf8);

}  // namespace kotodama
