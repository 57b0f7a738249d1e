#include "characters/status_screen.h"

#include <cstring>
#include <string>

#include "console/console.h"
#include "console/draw.h"
#include "console/pointer_area.h"

namespace kotodama {

namespace {

constexpr int kNameColumn = 4;
constexpr int kNameRow = 5;
constexpr int kStatColumn = 72;  // one blank right of the panel's ":" at column 70
constexpr int kHpRow = 3;
constexpr int kAttackRow = 5;
constexpr int kDefenseRow = 7;
constexpr int kSpeedRow = 9;
constexpr int kQuestionColumn = 24;
constexpr int kWarningColumn = 12;  // the warning is 24 bytes wider than the question
constexpr int kQuestionRow = 21;

// The buttons on row 24, and the columns where the pointer counts as on them
// (YES answers one column past its last byte).
constexpr int kButtonRow = 24;
constexpr int kYesColumn = 26;
constexpr int kYesPointerLast = 35;
constexpr int kNoColumn = 49;
constexpr int kNoPointerLast = 57;
constexpr PointerArea kYesArea = PointerArea::onRow(kButtonRow, kYesColumn, kYesPointerLast);
constexpr PointerArea kNoArea = PointerArea::onRow(kButtonRow, kNoColumn, kNoPointerLast);

// selection: which button the keyboard highlights, or the pointer's own mode.
constexpr int kYes = 0;
constexpr int kNo = 1;
constexpr int kPointerMode = 3;

const Rows& screenRows() {
  static const Rows rows = [] {
    Rows r = sjisRows({
        "][][][][][][][][][][][][][][][][][][][][][][][][][][::::][][                ][][",
        "[]             ][:::::::::::::::::::::[][][][][][][]::::[][][STATS]         [][]",
        "][  NAME:      []::::::::::::::::::::::[][][][][][][::::][][体力     :      ][][",
        "[]             ][:::::::::::::::::::::::[][][][][][]::::[][]::::::::::::::::[][]",
        "][             []::::::::::::::::::::::::[][][][][][::::][][攻撃     :      ][][",
        "[]             ] ／              ＼:::::::[][][][][]::::[][]::::::::::::::::[][]",
        "][][][]][][][][]|                 `::::::::[][][][][::::][][防御     :      ][][",
        "[][][]::::::::::|     []    []     |::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][][][::::::::::|         -        |::::::::][][][][::::][][すばやさ :      ][][",
        "[][][]::::::::::|                  |::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][][][::::::::::::                ::::::::::][][][][::::][][::::::::::::::::][][",
        "[][][]:::::::::::::::.         .::::::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][][][:::::::::::::／         ＼＼::::::::::][][][][::::][][::::::::::::::::][][",
        "[][][]:::::::::::⊂.:|        |:. ⊃::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][][][::::::::::::::|          |::::::::::::][][][][::::][][::::::::::::::::][][",
        "[][][]::::::::::::::|          |::::::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][][][::::::::::::::::| :::: |::::::::::::::][][][][::::][][::::::::::::::::][][",
        "[][][]:::::::::::::::::| :: |:::::::::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][][][::::::::::       =    =       ::::::::][][][][::::][][::::::::::::::::][][",
        "[][][]::::::::::::::::::::::::::::::::::::::[][][][]::::[][]::::::::::::::::[][]",
        "][                                                                            ][",
        "[]                                                                            []",
        "][                                                                            ][",
        "[]                                                                            []",
    });
    r.push_back(std::string(80, '\0'));  // row 25 is all zero bytes, shown as blanks
    return r;
  }();
  return rows;
}

bool confirmDown(Console& console) { return console.keyDown(kLeftButton) || console.keyDown(kEnter); }

// Draws a button, highlighted while the keyboard's selection or the pointer
// is on it (the pointer then takes the selection over); says whether it is.
bool drawButton(Console& console, int& selection, int button, const PointerArea& area, int column, const char* label) {
  const bool pointed = area.pointed(console);
  if (pointed) selection = kPointerMode;
  const bool highlighted = pointed || selection == button;
  console.setColor(highlighted ? kHighlight : kText);
  drawRow(console, column, kButtonRow, label);
  return highlighted;
}

}  // namespace

int showStatus(Console& console, const Character& fighter) {
  static const std::string question = sjis("このキャラクターをセーブしますか？");
  static const std::string warning = sjis("このキャラクターのデータは保存されませんがよろしいですか？");
  static const std::string questionOverWarning = sjis("            このキャラクターをセーブしますか？            ");

  // Drawn in the colours in force, over the screen the statistics cleared.
  drawScreen(console, screenRows());
  // A record read from a slot file may lack its NUL: never look past the field.
  drawRow(console, kNameColumn, kNameRow, std::string_view(fighter.name, strnlen(fighter.name, sizeof fighter.name)));
  const struct {
    int row;
    std::int32_t value;
  } stats[] = {{kHpRow, fighter.hp}, {kAttackRow, fighter.attack}, {kDefenseRow, fighter.defense},
               {kSpeedRow, fighter.speed}};
  for (const auto& stat : stats) {
    console.moveCursor(kStatColumn, stat.row);
    console.printf("%d", static_cast<int>(stat.value));
  }
  drawRow(console, kQuestionColumn, kQuestionRow, question);
  console.resetKeys();

  int selection = kYes;
  bool warned = false;  // the warning (the fighter will not be saved) stands
  for (;;) {
    if (console.keyDown(kRight) || console.keyDown(kLeft)) {
      selection = (selection + 1) % 2;
      console.waitTicks(100);
    }

    // YES: save the fighter, or, once warned, agree not to.
    if (drawButton(console, selection, kYes, kYesArea, kYesColumn, "[] YES []") && confirmDown(console)) {
      return warned ? 1 : 0;
    }

    // NO: warn that the fighter will not be saved, or take the warning back.
    if (drawButton(console, selection, kNo, kNoArea, kNoColumn, "[] NO []")) {
      // The flag is asked before the keys: a key reported down is let go at
      // the next poll, so the keys are asked only where the answer counts.
      if (!warned && confirmDown(console)) {
        console.resetKeys();
        drawRow(console, kWarningColumn, kQuestionRow, warning);  // still black on light red
        warned = true;
        console.waitTicks(250);
      }
      if (warned && confirmDown(console)) {
        console.resetKeys();
        console.setColor(kText);
        drawRow(console, kWarningColumn, kQuestionRow, questionOverWarning);
        warned = false;
        console.waitTicks(250);
      }
    }

    console.waitTicks(50);
  }
}

}  // namespace kotodama
