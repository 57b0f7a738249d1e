#pragma once
// What every screen draws with: its art and texts as stored rows of Shift-JIS
// bytes (written in the source as UTF-8 for readability and turned into
// Shift-JIS once), rows placed on the screen, and the screens' colours.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"

namespace kotodama {

// The console colours the screens name; kKeep leaves a colour as it is.
enum ScreenColor : int { kBlack = 0, kLightRed = 12, kYellow = 14, kWhite = 15, kKeep = 16 };

// The screens' colour pairs: text is white on black, a highlighted box or
// button black on light red; kUnchanged keeps both colours in force.
constexpr ColorPair kText{kWhite, kBlack};
constexpr ColorPair kHighlight{kBlack, kLightRed};
constexpr ColorPair kUnchanged{kKeep, kKeep};

using Rows = std::vector<std::string>;

// Shift-JIS bytes of a UTF-8 source text.
std::string sjis(std::string_view utf8);

// Shift-JIS rows of UTF-8 source rows.
Rows sjisRows(std::initializer_list<std::string_view> utf8Rows);

// Places the cursor at (x, y) and prints the row's bytes (at most `limit`).
void drawRow(Console& console, int x, int y, std::string_view row, std::size_t limit = std::string_view::npos);

// Prints rows one below the other from (x, y).
void drawRows(Console& console, int x, int y, const Rows& rows);

// Full-screen rows are stored 80 bytes wide; the first 79 of each are printed
// from column 1, row 1 down, so a screen never writes column 80.
void drawScreen(Console& console, const Rows& rows);

// The notice frame over the middle of the screen: five rows from column 12,
// row 10, each 50 columns between "[]" bars, `question` centred on the second
// row and `message` on the third (Shift-JIS, whose bytes are its columns).
constexpr int kNoticeColumn = 12;
constexpr int kNoticeTop = 10;
Rows noticeFrame(std::string_view question, std::string_view message);

// A notice in the frame, black on light red, for 1,000 ticks: a row of
// full-width blanks, then `message`. White on black is set again after.
void showNotice(Console& console, std::string_view message);

}  // namespace kotodama
