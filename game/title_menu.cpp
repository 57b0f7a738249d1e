#include "game/title_menu.h"

#include <string>

#include "console/console.h"
#include "console/draw.h"
#include "console/pointer_area.h"

namespace kotodama {

namespace {

constexpr int kBoxColumn = 12;       // where the boxes stand once they have slid in
constexpr int kBoxWidth = 21;        // bytes (and columns) of a box row
constexpr int kBoxTopRow[3] = {12, 16, 20};
constexpr int kLogoColumn = 15;
constexpr int kPointerSelection = 5;  // the pointer rests on an entry
constexpr int kChoiceOf[3] = {kChoiceCreate, kChoiceBattle, kChoiceEnd};

const Rows& background() {
  static const Rows rows = sjisRows({
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::::[]",
      "][:::::::::::::::::::::::::::::::::::::::::::: .:  ..    ..    ..    ..    ::][",
      "[]:::::::::::::::::::::::::::::::::::::::::::: :: ::::  ::::  ::::  ::::     []",
      "][::::::::::::::::::::::::::::::::::::::::::   ;  ::::  ::::  ::::  ::::     ][",
      "[]:::::::::::::::::::::::::::::::::::::::::                                  []",
      "][::::::::::::::::::::::::::::::   :::::;;   ..    ..    ..    ..    ..      ][",
      "[]::::::::::::::::::::::::::::     :::::    ::::  ::::  ::::  ::::  ::::     []",
      "][::::::::::::::::::::::::         :::::    ::::  ::::  ::::  ::::  ::::     ][",
      "[]:::::::::::::::::::::                                                      []",
      "][::::::::::::::::::       ..    ..    ..    ..    ..    ..    ..    ..      ][",
      "[]::::::::::::::::::::    ::::  ::::  ::::  ::::  ::::  ::::  ::::  ::::     []",
      "][::::::::::::::::  ;     ::::  ::::  ::::  ::::  ::::  ::::  ::::  ::::     ][",
      "[]:::::::::::::::                                                   KOTODAMA []",
  });
  return rows;
}

const Rows& logo() {
  static const Rows rows = sjisRows({
      "[]                                              []",
      "][    ##    ##    ####    ########    ####      ][",
      "[]    ##  ##    ##    ##    ####    ##    ##    []",
      "][    ######    ##    ##    ####    ##    ##    ][",
      "[]    ##    ##    ####      ####      ####      []",
      "][   ######      ####    ##      ##    ####     ][",
      "[]   ##    ##  ##    ##  ####  ####  ##    ##   []",
      "][   ##    ##  ########  ##  ##  ##  ########   ][",
      "[]   ######    ##    ##  ##      ##  ##    ##   []",
      "[]                                              []",
  });
  return rows;
}

// The CREATE, BATTLE and END boxes, three rows each.
const Rows& box(int entry) {
  static const Rows boxes[3] = {
      sjisRows({"[]￣￣￣￣￣￣￣￣￣|", "][      CREATE      |", "[]__________________|"}),
      sjisRows({"[]￣￣￣￣￣￣￣￣￣|", "][      BATTLE      |", "[]__________________|"}),
      sjisRows({"[]￣￣￣￣￣￣￣￣￣|", "][      END         |", "[]__________________|"}),
  };
  return boxes[entry];
}

void buildScreen(Console& console) {
  console.setColor(kText);
  console.clearScreen(kUnchanged);

  // The background rises from the bottom.
  const Rows& back = background();
  for (int frame = 1; frame <= 25; ++frame) {
    for (int k = 1; k <= frame; ++k) drawRow(console, 1, 25 - frame + k, back[k - 1], 79);
    console.waitTicks(50);
  }
  console.waitTicks(300);

  // The boxes come in from the left edge, cut in bytes...
  for (int shown = 0; shown <= kBoxWidth - 1; ++shown) {
    for (int entry = 0; entry < 3; ++entry) {
      for (int r = 0; r < 3; ++r) {
        if (shown == 0) continue;
        const std::string& row = box(entry)[r];
        drawRow(console, 1, kBoxTopRow[entry] + r, std::string_view(row).substr(row.size() - shown));
      }
    }
    console.waitTicks(80);
  }
  // ...then move right to their place, wiping their trail with the background.
  for (int column = 1; column <= kBoxColumn; ++column) {
    for (int entry = 0; entry < 3; ++entry) {
      for (int r = 0; r < 3; ++r) {
        const int y = kBoxTopRow[entry] + r;
        drawRow(console, column, y, box(entry)[r]);
        if (column >= 2) drawRow(console, column - 1, y, std::string_view(back[y - 1]).substr(column - 2, 1));
      }
    }
    console.waitTicks(80);
  }

  // The logo drops in from the top.
  const Rows& title = logo();
  for (int frame = 0; frame <= 10; ++frame) {
    for (int y = 1; y <= frame; ++y) drawRow(console, kLogoColumn, y, title[10 - frame + y - 1]);
    console.waitTicks(80);
  }
  console.resetKeys();
}

}  // namespace

int showTitleMenu(Console& console) {
  buildScreen(console);
  int selection = 0;
  for (;;) {
    if (console.keyDown(kUp)) {
      selection = (selection + 2) % 3;
      console.waitTicks(50);
    }
    if (console.keyDown(kDown)) {
      selection = (selection + 1) % 3;
      console.waitTicks(50);
    }
    for (int entry = 0; entry < 3; ++entry) {
      const int top = kBoxTopRow[entry];
      const bool pointed = PointerArea{kBoxColumn, kBoxColumn + kBoxWidth - 1, top, top + 2}.pointed(console);
      if (selection != entry && !pointed) {
        console.setColor(kText);
        for (int r = 0; r < 3; ++r) drawRow(console, kBoxColumn, top + r, box(entry)[r]);
        continue;
      }
      if (pointed) selection = kPointerSelection;
      console.setColor(kHighlight);
      for (int r = 0; r < 3; ++r) drawRow(console, kBoxColumn, top + r, box(entry)[r]);
      drawRow(console, 19, top + 1, ">");
      if (console.keyDown(kEnter) || console.keyDown(kLeftButton)) return kChoiceOf[entry];
    }
    console.waitTicks(50);
  }
}

}  // namespace kotodama
