// The README's pictures (docs/*.svg) stay those of the game as it is: each
// scene plays on the scripted bench, and the screen it ends on, drawn as SVG,
// must match its file under docs/ (make screenshots draws them again).
#include <gtest/gtest.h>

#include "battle/battle.h"
#include "characters/name_entry.h"
#include "characters/status_screen.h"
#include "console/draw.h"
#include "game/title_menu.h"
#include "slots/slot_file.h"
#include "slots/slot_screens.h"
#include "support/bench.h"
#include "support/golden.h"
#include "support/pty_session.h"
#include "support/records.h"

namespace kotodama::test {
namespace {

constexpr int kCellWidth = 10;
constexpr int kCellHeight = 20;
constexpr int kBaseline = 15;  // from the top of a cell, for a 16-pixel font

// The sixteen console colours (bit 0 blue, bit 1 green, bit 2 red, bit 3
// bright) as a VGA text screen shows them.
constexpr const char* kPalette[16] = {"#000000", "#0000aa", "#00aa00", "#00aaaa", "#aa0000", "#aa00aa",
                                      "#aa5500", "#aaaaaa", "#555555", "#5555ff", "#55ff55", "#55ffff",
                                      "#ff5555", "#ff55ff", "#ffff55", "#ffffff"};
// The terminal's own colours, where the game set none: grey on black.
const char* colour(int console, int fallback) { return kPalette[console >= 0 && console < 16 ? console : fallback]; }

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
  return out;
}

// Every cell's character in its console colour over its background, a wide
// character over its two cells.
std::string renderSvg(const VtermScreen& s) {
  const std::string width = std::to_string(s.columns() * kCellWidth), height = std::to_string(s.rows() * kCellHeight);
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width + "\" height=\"" + height +
                    "\" viewBox=\"0 0 " + width + " " + height + "\"\n" +
                    " font-family=\"'DejaVu Sans Mono', Menlo, Consolas, 'Noto Sans Mono CJK JP', 'Noto Sans CJK JP', "
                    "'IPAGothic', 'MS Gothic', monospace\" font-size=\"16\">\n" +
                    "<rect width=\"" + width + "\" height=\"" + height + "\" fill=\"" + kPalette[0] + "\"/>\n";
  for (int row = 1; row <= s.rows(); ++row) {
    const int top = (row - 1) * kCellHeight;
    // Backgrounds: one rectangle for each run of cells on the same colour.
    for (int column = 1, end; column <= s.columns(); column = end) {
      const char* bg = colour(s.cell(column, row).bg, 0);
      for (end = column + 1; end <= s.columns() && colour(s.cell(end, row).bg, 0) == bg;) ++end;
      if (bg == kPalette[0]) continue;
      svg += "<rect x=\"" + std::to_string((column - 1) * kCellWidth) + "\" y=\"" + std::to_string(top) +
             "\" width=\"" + std::to_string((end - column) * kCellWidth) + "\" height=\"" +
             std::to_string(kCellHeight) + "\" fill=\"" + bg + "\"/>\n";
    }
    // Text: one element for each run of visible characters in the same
    // colour, every character placed at its own cell (a wide one a little in
    // from its left edge, to sit in the middle of its two cells).
    for (int column = 1; column <= s.columns();) {
      const Cell first = s.cell(column, row);
      if (first.text == " " || first.text.empty()) {
        ++column;
        continue;
      }
      const char* fg = colour(first.fg, 7);
      std::string xs, text;
      for (Cell c = first; column <= s.columns(); c = s.cell(++column, row)) {
        if (c.text.empty()) continue;  // the right half of a wide character
        if (c.text == " " || colour(c.fg, 7) != fg) break;
        xs += (xs.empty() ? "" : " ") + std::to_string((column - 1) * kCellWidth + (c.width == 2 ? 2 : 0));
        text += escaped(c.text);
      }
      svg += "<text x=\"" + xs + "\" y=\"" + std::to_string(top + kBaseline) + "\" fill=\"" + fg + "\">" + text +
             "</text>\n";
    }
  }
  return svg + "</svg>\n";
}

const struct {
  const char* file;  // under docs/
  int (*play)(Bench&);
} kScenes[] = {
    // The menu once its animations are over, CREATE highlighted.
    {"title-menu.svg",
     [](Bench& bench) {
       bench.platform.limitAt(5100);
       return showTitleMenu(bench.console);
     }},
    // CREATE as the game runs it: "hero" typed at name entry, then the status
    // screen asking whether to save.
    {"status-screen.svg",
     [](Bench& bench) {
       bench.platform.at(100, "hero\r").limitAt(1000);
       Character fighter{};
       deriveStats(bench.console, fighter, enterName(bench.console, fighter.name, 0));
       return showStatus(bench.console, fighter);
     }},
    // BATTLE's first screen, with fighters saved in slots 1, 2 and 5.
    {"slot-screen.svg",
     [](Bench& bench) {
       const InScratchFolder scratch;
       for (const auto& [slot, name] : {std::pair(0, "hero"), std::pair(1, "勇者"), std::pair(4, "KOTODAMA")}) {
         writeSlot(slot, named(sjis(name)), systemSlotStorage());
       }
       bench.platform.limitAt(500);
       Fighters fighters{};
       return showLoadSlots(bench.console, fighters);
     }},
    // "hero" against "slime", Enter held through every blow, to the banner.
    {"battle.svg",
     [](Bench& bench) {
       bench.platform.holdAt(0, keys::kEnter, 60'000);
       Fighters fighters{named("hero"), named("slime")};
       return runBattle(bench.console, fighters, [] { return 0; });
     }},
};

TEST(Screenshots, EveryPictureIsUpToDate) {
  for (const auto& scene : kScenes) {
    Bench bench;
    bench.run([&] { return scene.play(bench); });
    expectFileHolds(std::filesystem::path(KOTODAMA_SOURCE_DIR) / "docs" / scene.file, renderSvg(bench.screen()));
  }
}

}  // namespace
}  // namespace kotodama::test
