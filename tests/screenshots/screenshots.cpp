#include "screenshots/screenshots.h"

#include "battle/battle.h"
#include "characters/name_entry.h"
#include "characters/status_screen.h"
#include "console/art.h"
#include "game/title_menu.h"
#include "slots/slot_file.h"
#include "slots/slot_screens.h"
#include "support/bench.h"
#include "support/pty_session.h"
#include "support/svg_render.h"

namespace kotodama::test {

namespace {

Character named(std::string_view name) {
  Character fighter{};
  name.copy(fighter.name, kNameLimit);
  computeStats(fighter, static_cast<int>(name.size()));
  return fighter;
}

}  // namespace

std::string take(const Screenshot& shot) {
  Bench bench;
  bench.run([&] { return shot.play(bench); });
  return renderSvg(bench.screen());
}

const Screenshot kScreenshots[4] = {
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

}  // namespace kotodama::test
