#include "characters/name_entry.h"

#include <cstring>
#include <string>

#include "console/console.h"
#include "console/draw.h"

namespace kotodama {

namespace {

// The caret stands just right of the ">" mark in the input box.
constexpr int kCaretColumn = 32;
constexpr int kCaretRow = 12;
constexpr int kPromptRow = 10;
constexpr int kOwnPromptColumn = 33;
constexpr int kOpponentPromptColumn = 27;  // the opponent's prompt fills the whole box
constexpr int kTooLongColumn = 34;

const Rows& screenRows() {
  static const Rows rows = sjisRows({
      "][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::[]                              []::::::::::::::::::::[]",
      "][::::::::::::::::::::::[]         (10文字以内)         []::::::::::::::::::::][",
      "[]::::::::::::::::::::::[]    >                         []::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "[]::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][][",
  });
  return rows;
}

// Puts the caret back in the box, ready for the typed line.
void awaitName(Console& console) {
  console.setCursorVisible(1, 0);
  console.moveCursor(kCaretColumn, kCaretRow);
}

}  // namespace

int enterName(Console& console, char (&name)[12], int forOpponent) {
  static const std::string ownPrompt = sjis("名前を入力してください。");
  static const std::string opponentPrompt = sjis("相手の名前を入力してください。");
  static const std::string tooLong = sjis("名前が長すぎます。");

  console.setColor(kText);
  console.clearScreen(kUnchanged);
  drawScreen(console, screenRows());
  if (forOpponent == 0) {
    drawRow(console, kOwnPromptColumn, kPromptRow, ownPrompt);
  } else {
    drawRow(console, kOpponentPromptColumn, kPromptRow, opponentPrompt);
  }
  awaitName(console);

  for (;;) {
    // At most kNameLimit + 1 bytes come back: enough to tell a name too long.
    const std::string token = console.readToken(kNameLimit);
    if (token.size() <= static_cast<std::size_t>(kNameLimit)) {
      static_assert(kNameLimit < static_cast<int>(sizeof name));
      std::memcpy(name, token.data(), token.size());
      name[token.size()] = '\0';
      return static_cast<int>(token.size());
    }
    // Too long: the box is drawn again over the echo, the message in the
    // prompt's place, and the question stands again.
    drawScreen(console, screenRows());
    drawRow(console, kTooLongColumn, kPromptRow, tooLong);
    awaitName(console);
  }
}

}  // namespace kotodama
