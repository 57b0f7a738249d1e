#include "battle/battle_screen.h"

#include <cstring>
#include <string>

#include "console/console.h"
#include "console/draw.h"

namespace kotodama {

namespace {

// Where the pieces stand once the screen is built.
constexpr int kOpponentBoxColumn = 3;
constexpr int kOpponentBoxTop = 3;
constexpr int kPlayerBoxColumn = 65;
constexpr int kPlayerBoxTop = 15;
constexpr int kOpponentNameColumn = 4;
constexpr int kOpponentNameRow = 4;
constexpr int kPlayerNameColumn = 66;
constexpr int kPlayerNameRow = 16;
constexpr int kOpponentHpColumn = 17;
constexpr int kOpponentHpRow = 4;
constexpr int kPlayerHpColumn = 50;
constexpr int kPlayerHpRow = 16;
constexpr int kTabColumn = 62;
constexpr int kTabTop = 19;
constexpr int kRuleColumn = 3;
constexpr int kRuleRow = 21;
constexpr int kRuleLength = 29;  // full-width macrons, 58 columns

// The portraits are 20 columns wide. The opponent's comes in at the right
// edge of the frame's inside (column 76 is its first column to show) and
// stops at column 53; the player's comes in at column 3 and stops at column 8.
constexpr int kPortraitWidth = 20;
constexpr int kOpponentEntryColumn = 77;
constexpr int kOpponentSlideFrom = 57;
constexpr int kOpponentColumn = 53;
constexpr int kPlayerEntryColumn = 3;
constexpr int kPlayerTop = 15;
constexpr int kPlayerShiftSteps = 5;
constexpr int kSlideStepTicks = 50;
constexpr int kSettleTicks = 500;  // after the frame, and between the portraits

constexpr int kBannerColumn = 6;
constexpr int kBannerTop = 3;

const Rows& frame() {
  static const Rows rows = sjisRows({
      "][                                                                           ][",
      "[]                                                                           []",
      "[]                                                                           ][",
      "][                                                                           []",
      "[]                                                                           ][",
      "][                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
      "[]                                                                           []",
      "][                                                                           ][",
  });
  return rows;
}

const Rows& opponentBox() {
  static const Rows rows = sjisRows({"￣￣￣￣￣￣|", "            |", "____________|"});
  return rows;
}

const Rows& playerBox() {
  static const Rows rows = sjisRows({"|￣￣￣￣￣￣", "|            ", "|____________"});
  return rows;
}

const Rows& logTab() {
  static const Rows rows = sjisRows({"  ______________", "／  BATTLE LOG  "});
  return rows;
}

const std::string& macron() {
  static const std::string text = sjis("￣");
  return text;
}

const Rows& opponentPortrait() {
  static const Rows rows = sjisRows({
      "    ___________     ",
      "   /           `    ",
      "  |   ||   ||   |   ",
      "  |     ー      |   ",
      "|＼ . ...      /    ",
      " ＼＼        :      ",
      "   ＼＼／    |      ",
      "    :__       :     ",
      "    |_______ __:    ",
      "     ||     ||      ",
      " ____ ||_____||_____",
  });
  return rows;
}

const Rows& playerPortrait() {
  static const Rows rows = sjisRows({
      "    ____________    ",
      "  ／            ＼  ",
      " ::               ` ",
      "::::               |",
      ":::::              |",
      ":::::.             |",
  });
  return rows;
}

// The end banners: GAME, two blank rows, then CLEAR or OVER.
const Rows& banner(bool won) {
  static const Rows game = sjisRows({
      "[]        ###         ####      ####       ####   ##########     []",
      "[]      ##   ##      ##  ##     ## ##     ## ##   ##             []",
      "[]     ##     ##    ##    ##    ## ##     ## ##   ##             []",
      "[]     ##     ##   ##      ##   ##  ##   ##  ##   ##########     []",
      "[]     ##          ##########   ##  ##   ##  ##   ##             []",
      "[]     ##   ####   ##      ##   ##   ## ##   ##   ##             []",
      "[]      ##   ###   ##      ##   ##   ## ##   ##   ##             []",
      "[]        ### ##   ##      ##   ##    ###    ##   ##########     []",
      "[]                                                               []",
      "[]                                                               []",
  });
  const auto below = [](std::initializer_list<std::string_view> word) {
    Rows rows = game;
    for (const std::string& row : sjisRows(word)) rows.push_back(row);
    return rows;
  };
  static const Rows clear = below({
      "[]     ###      ##         ########      ####      ########      []",
      "[]   ##   ##    ##         ##           ##  ##     ##     ##     []",
      "[]  ##     ##   ##         ##          ##    ##    ##       #    []",
      "[]  ##          ##         ########   ##      ##   ##     ##     []",
      "[]  ##          ##         ##         ##########   ########      []",
      "[]  ##     ##   ##         ##         ##      ##   ##  ##        []",
      "[]   ##   ##    ##         ##         ##      ##   ##    ##      []",
      "[]     ###      ########   ########   ##      ##   ##      ##    []",
  });
  static const Rows over = below({
      "[]          ###      ##       ##   #########    ########         []",
      "[]        ##   ##    ##       ##   ##           ##     ##        []",
      "[]       ##     ##    ##     ##    ##           ##       #       []",
      "[]       ##     ##    ##     ##    #########    ##     ##        []",
      "[]       ##     ##     ##   ##     ##           ########         []",
      "[]       ##     ##     ##   ##     ##           ##  ##           []",
      "[]        ##   ##       ## ##      ##           ##    ##         []",
      "[]          ###         #####      #########    ##      ##       []",
  });
  return won ? clear : over;
}

void drawHitPointLine(Console& console, int x, int y, std::int32_t now, std::int32_t start) {
  console.moveCursor(x, y);
  console.printf("HP%4d / %4d", static_cast<int>(now), static_cast<int>(start));
}

void slideInOpponent(Console& console) {
  const Rows& face = opponentPortrait();
  console.setColor(kLightRed, kKeep);
  // It shows from its left end, one more column each step...
  for (int k = 0; k < kPortraitWidth; ++k) {
    for (int j = 0; j < static_cast<int>(face.size()); ++j) {
      drawRow(console, kOpponentEntryColumn - k, j + 1, face[j], static_cast<std::size_t>(k));
    }
    console.waitTicks(kSlideStepTicks);
  }
  // ...then moves whole to its place, a blank behind it wiping its trail.
  for (int x = kOpponentSlideFrom; x >= kOpponentColumn; --x) {
    for (int j = 0; j < static_cast<int>(face.size()); ++j) {
      drawRow(console, x, j + 1, face[j]);
      console.print(" ");
    }
    console.waitTicks(kSlideStepTicks);
  }
  console.waitTicks(kSettleTicks);
}

void slideInPlayer(Console& console) {
  const Rows& face = playerPortrait();
  console.setColor(kWhite, kKeep);
  // It shows from its right end, one more column each step...
  for (int k = 0; k < kPortraitWidth; ++k) {
    for (int j = 0; j < static_cast<int>(face.size()); ++j) {
      const std::string& row = face[j];
      drawRow(console, kPlayerEntryColumn, kPlayerTop + j, std::string_view(row).substr(row.size() - k));
    }
    console.waitTicks(kSlideStepTicks);
  }
  // ...then moves whole to its place, a blank before it wiping its trail.
  for (int s = 0; s < kPlayerShiftSteps; ++s) {
    for (int j = 0; j < static_cast<int>(face.size()); ++j) {
      drawRow(console, kPlayerEntryColumn + s, kPlayerTop + j, " ");
      console.print(face[j]);
    }
    console.waitTicks(kSlideStepTicks);
  }
}

}  // namespace

std::string_view shownName(const Character& fighter) {
  return {fighter.name, strnlen(fighter.name, sizeof fighter.name)};
}

void drawBattleOpening(Console& console, const Character& player, const Character& opponent) {
  console.setCursorVisible(0, 0);
  console.setColor(kText);
  console.clearScreen(kUnchanged);

  drawScreen(console, frame());
  console.waitTicks(kSettleTicks);

  console.moveCursor(kRuleColumn, kRuleRow);
  for (int i = 0; i < kRuleLength; ++i) console.print(macron());
  for (int k = 0; k < static_cast<int>(logTab().size()); ++k) drawRow(console, kTabColumn, kTabTop + k, logTab()[k]);
  for (int k = 0; k < static_cast<int>(opponentBox().size()); ++k) {
    drawRow(console, kOpponentBoxColumn, kOpponentBoxTop + k, opponentBox()[k]);
    drawRow(console, kPlayerBoxColumn, kPlayerBoxTop + k, playerBox()[k]);
  }
  drawRow(console, kOpponentNameColumn, kOpponentNameRow, shownName(opponent));
  drawRow(console, kPlayerNameColumn, kPlayerNameRow, shownName(player));
  drawHitPointLines(console, player, player.hp, opponent, opponent.hp);

  slideInOpponent(console);
  slideInPlayer(console);
}

void clearBattleLog(Console& console) {
  static const std::string blanks(kLogWidth, ' ');
  for (int row = kLogFirstRow; row < kLogFirstRow + kLogRows; ++row) drawRow(console, kLogColumn, row, blanks);
}

void drawHitPointLines(Console& console, const Character& player, std::int32_t playerStart, const Character& opponent,
                       std::int32_t opponentStart) {
  drawHitPointLine(console, kOpponentHpColumn, kOpponentHpRow, opponent.hp, opponentStart);
  drawHitPointLine(console, kPlayerHpColumn, kPlayerHpRow, player.hp, playerStart);
}

void drawBattleBanner(Console& console, bool won) {
  console.setColor(kBlack, won ? kYellow : kLightRed);
  drawRows(console, kBannerColumn, kBannerTop, banner(won));
}

void showCannotFight(Console& console) {
  static const std::string cannotFight = sjis("このキャラクターは戦えません");
  console.setCursorVisible(0, 0);
  console.setColor(kText);
  console.clearScreen(kUnchanged);
  showNotice(console, cannotFight);
}

}  // namespace kotodama
