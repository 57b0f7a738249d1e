#include "game/game_loop.h"

#include "battle/battle.h"
#include "characters/character.h"
#include "characters/name_entry.h"
#include "characters/status_screen.h"
#include "console/console.h"
#include "console/draw.h"
#include "game/title_menu.h"
#include "slots/slot_screens.h"

namespace kotodama {

int runGame(Console& console, TitleScreen title) {
  if (title == nullptr) title = showTitleMenu;
  Fighters fighters{};
  const SoundHandle music = 0;  // the game is silent: no sound is ever opened
  for (;;) {
    console.playSound(music, true);
    switch (title(console)) {
      case kChoiceCreate: {
        console.stopSound(music);
        console.playSound(music, true);
        const int length = enterName(console, fighters[0].name, 0);
        deriveStats(console, fighters[0], length);
        if (showStatus(console, fighters[0]) == 0) showSaveSlots(console, fighters);
        console.stopSound(music);
        break;
      }
      case kChoiceBattle: {
        if (showLoadSlots(console, fighters) == 0) {
          console.stopSound(music);
          break;
        }
        const int length = enterName(console, fighters[1].name, 1);
        deriveStats(console, fighters[1], length);
        console.stopSound(music);
        console.playSound(music, true);
        if (runBattle(console, fighters) != kBattleRefused) {
          console.stopSound(music);
          console.playSound(music, false);
          console.confirmWait();  // Enter or a click goes back to the title
        }
        console.stopSound(music);
        break;
      }
      case kChoiceEnd:
        console.closeSound(music);
        return 0;
      default: {
        static const std::string unexpected = sjis("予想外のエラー");
        console.setColor(kUnchanged);
        console.clearScreen(kUnchanged);
        console.print(unexpected);
        console.stopAfterMessage();
      }
    }
  }
}

}  // namespace kotodama
