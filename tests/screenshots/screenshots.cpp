#include "screenshots/screenshots.h"

#include <cstring>
#include <filesystem>

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

Character named(const std::string& name) {
  Character fighter{};
  std::strncpy(fighter.name, name.c_str(), kNameLimit);
  computeStats(fighter, static_cast<int>(std::strlen(fighter.name)));
  return fighter;
}

// The menu once its animations are over, CREATE highlighted.
std::string titleMenu() {
  Bench bench;
  bench.platform.limitAt(5100);
  bench.run([&] { return showTitleMenu(bench.console); });
  return renderSvg(bench.screen());
}

// CREATE as the game runs it: "hero" typed at name entry, then the status
// screen asking whether to save.
std::string statusScreen() {
  Bench bench;
  bench.platform.at(100, "hero\r").limitAt(1000);
  bench.run([&] {
    Character fighter{};
    const int length = enterName(bench.console, fighter.name, 0);
    deriveStats(bench.console, fighter, length);
    return showStatus(bench.console, fighter);
  });
  return renderSvg(bench.screen());
}

// BATTLE's first screen, with fighters saved in slots 1, 2 and 5.
std::string loadSlots() {
  const std::filesystem::path previous = std::filesystem::current_path();
  TempDir folder;
  std::filesystem::current_path(folder.path());
  for (const auto& [slot, name] : {std::pair(0, "hero"), std::pair(1, "勇者"), std::pair(4, "KOTODAMA")}) {
    writeSlot(slot, named(sjis(name)), systemSlotStorage());
  }
  Bench bench;
  bench.platform.limitAt(500);
  Fighters fighters{};
  bench.run([&] { return showLoadSlots(bench.console, fighters); });
  std::filesystem::current_path(previous);
  return renderSvg(bench.screen());
}

// "hero" against "slime", Enter held through every blow, to the banner.
std::string battle() {
  Bench bench;
  bench.platform.holdAt(0, keys::kEnter, 60'000);
  Fighters fighters{named("hero"), named("slime")};
  bench.run([&] { return runBattle(bench.console, fighters, [] { return 0; }); });
  return renderSvg(bench.screen());
}

}  // namespace

const Screenshot kScreenshots[4] = {
    {"title-menu.svg", titleMenu},
    {"status-screen.svg", statusScreen},
    {"slot-screen.svg", loadSlots},
    {"battle.svg", battle},
};

}  // namespace kotodama::test
