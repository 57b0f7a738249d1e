#include "slots/slot_screens.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "console/console.h"
#include "console/draw.h"
#include "console/pointer_area.h"
#include "slots/slot_file.h"

namespace kotodama {

namespace {

// Both slot screens: six boxes in a 3 x 2 grid and a back button, on a
// background of ":". The keyboard highlight (`selection`) is a slot index
// 0..5, or 6, 7, 8 for the back button (the third row of a 3 x 3 grid that
// Up and Down move in); the pointer resting on the back button or on a box
// sets it to 12 or 13, which matches nothing, so only what is under the
// pointer stays highlighted.
constexpr int kBackSelectionFirst = 6;
constexpr int kBackSelectionLast = 8;
constexpr int kPointerOnBack = 12;
constexpr int kPointerOnBox = 13;

constexpr int kBoxWidth = 20;
constexpr int kBoxHeight = 10;
constexpr int kNameRoom = 10;   // name bytes that fit after "NAME : " inside a box
constexpr int kValueRoom = 6;   // columns left for a statistic after its label
constexpr int kBackColumn = 65;
constexpr int kBackRow = 24;
constexpr int kBackPointerLast = 83;  // the button answers the pointer past its 14 columns
constexpr std::size_t kBackBytes = 14;
constexpr std::size_t kBackBytesWithNul = 15;  // the load screen prints the text's NUL too
constexpr int kAnswerRow = 13;  // the overwrite question's fourth row
constexpr int kYesColumn = 25;
constexpr int kYesLast = 33;
constexpr int kNoColumn = 45;
constexpr int kNoLast = 53;
constexpr int kConfirmColumn = 28;  // "saved" and "loaded"
constexpr int kConfirmTop = 11;
constexpr int kArrowTicks = 80;
constexpr int kPassTicks = 50;
constexpr int kConfirmTicks = 1000;

int boxLeft(int index) { return 29 * (index % 3) + 2; }
int boxTop(int index) { return 11 * (index / 3) + 2; }

const std::string& backgroundRow() {
  static const std::string row(79, ':');
  return row;
}

// One slot box, ten rows of 20 bytes. The rows blank the inside, so a
// shorter name or value never leaves old characters behind.
const Rows& boxArt() {
  static const Rows rows = sjisRows({
      "|￣￣￣￣￣￣￣￣￣|",
      "|                  |",
      "|                  |",
      "|==================|",
      "|                  |",
      "|                  |",
      "|                  |",
      "|                  |",
      "|                  |",
      "|__________________|",
  });
  return rows;
}

// What a box says: the name line's start, the four statistic labels (11
// bytes each), and the empty slot.
const Rows& boxTexts() {
  static const Rows rows = sjisRows({
      "NAME : ",
      "体力     : ",
      "攻撃     : ",
      "防御     : ",
      "すばやさ : ",
      "[ EMPTY ]",
  });
  return rows;
}
enum BoxText { kNameLine = 0, kFirstLabel = 1, kEmptyText = 5 };

// The back button: its 14 bytes and the terminating NUL.
const std::string& backButton() {
  static const std::string button = sjis("[]   戻る   []") + std::string(1, '\0');
  return button;
}

const Rows& answers() {
  static const Rows rows = sjisRows({"[] YES []", "[] NO []"});
  return rows;
}

const Rows& savedConfirmation() {
  static const Rows rows = sjisRows({
      "[]                   []",
      "[] セーブされました。[]",
      "[]                   []",
  });
  return rows;
}

const Rows& loadedConfirmation() {
  static const Rows rows = sjisRows({
      "[]                   []",
      "[] ロードされました。[]",
      "[]                   []",
  });
  return rows;
}

// The fatal messages follow the slot's file name.
const Rows& fatalMessages() {
  static const Rows rows = sjisRows({"が開けませんでした。", "に書き込めませんでした。", "がロードされませんでした。"});
  return rows;
}
enum FatalMessage { kNotOpened = 0, kNotWritten = 1, kNotLoaded = 2 };

void fillBackground(Console& console) {
  for (int row = 1; row <= 25; ++row) drawRow(console, 1, row, backgroundRow());
}

// A statistic as "%d" when it fits in the box, a row of "#" when it does not
// (a hand-made file may hold any 32-bit value).
std::string statisticText(std::int32_t value) {
  std::string text = std::to_string(value);
  if (text.size() > static_cast<std::size_t>(kValueRoom)) text.assign(kValueRoom, '#');
  return text;
}

// Prints a message where the cursor stands, then the system's reason when
// there is one, and stops the game.
[[noreturn]] void stopWith(Console& console, int index, FatalMessage message, const std::string& reason = "") {
  console.print(slotFileName(index));
  console.print(fatalMessages()[message]);
  if (!reason.empty()) console.print("(" + reason + ")");
  console.stopAfterMessage();
}

// The grid shared by both screens.
struct SlotGrid {
  Console& console;
  const Fighters& fighters;
  SlotScan scan{};
  std::size_t backBytes = kBackBytes;
  int selection = 0;
};

// What choosing a highlighted slot does: the screen's result, or nothing to
// go on browsing, with that slot's box then drawn highlighted.
using ChooseSlot = std::function<std::optional<int>(SlotGrid& grid, int index)>;

void drawBox(const SlotGrid& grid, int index, bool highlighted) {
  Console& console = grid.console;
  const int left = boxLeft(index);
  const int top = boxTop(index);
  console.setColor(highlighted ? kHighlight : kText);
  for (int k = 0; k < kBoxHeight; ++k) drawRow(console, left, top + k, boxArt()[k]);
  if (grid.scan[index] == SlotState::Empty) {
    drawRow(console, left + 5, top + 1, boxTexts()[kEmptyText]);
    return;
  }
  // A name is shown up to its NUL and never past the box, whatever the file held.
  const Character& fighter = grid.fighters[index + 1];
  drawRow(console, left + 2, top + 1, boxTexts()[kNameLine]);
  console.printBytes(fighter.name, strnlen(fighter.name, kNameRoom));
  const std::int32_t values[4] = {fighter.hp, fighter.attack, fighter.defense, fighter.speed};
  for (int k = 0; k < 4; ++k) {
    drawRow(console, left + 2, top + 5 + k, boxTexts()[kFirstLabel + k]);
    console.print(statisticText(values[k]));
  }
}

PointerArea boxArea(int index) {
  return {boxLeft(index), boxLeft(index) + kBoxWidth - 1, boxTop(index), boxTop(index) + kBoxHeight - 1};
}
constexpr PointerArea kBackArea = PointerArea::onRow(kBackRow, kBackColumn, kBackPointerLast);

// Draws the screen, reads the six slots and starts with the top-left box.
SlotGrid openGrid(Console& console, Fighters& fighters, SlotStorage& storage, std::size_t backBytes) {
  console.setColor(kText);
  console.clearScreen(kUnchanged);
  fillBackground(console);
  SlotGrid grid{console, fighters};
  grid.scan = scanSlots(fighters, storage);
  grid.backBytes = backBytes;
  console.resetKeys();
  grid.selection = 0;
  return grid;
}

// Each arrow key that is down moves the highlight once, in this order.
void moveSelection(SlotGrid& grid) {
  Console& console = grid.console;
  if (console.keyDown(kLeft)) {
    grid.selection = (grid.selection + 6) % 7;
    console.waitTicks(kArrowTicks);
  }
  if (console.keyDown(kRight)) {
    grid.selection = (grid.selection + 1) % 7;
    console.waitTicks(kArrowTicks);
  }
  if (console.keyDown(kUp)) {
    grid.selection = (grid.selection + 6) % 9;
    console.waitTicks(kArrowTicks);
  }
  if (console.keyDown(kDown)) {
    grid.selection = (grid.selection + 3) % 9;
    console.waitTicks(kArrowTicks);
  }
}

// Runs passes until choosing a slot gives a result or the back button is
// taken (0).
int browse(SlotGrid& grid, const ChooseSlot& choose) {
  Console& console = grid.console;
  for (;;) {
    moveSelection(grid);
    for (int i = 0; i < kSlotCount; ++i) {
      const bool pointed = boxArea(i).pointed(console);
      if (i != grid.selection && !pointed) {
        drawBox(grid, i, false);
        continue;
      }
      if (pointed) grid.selection = kPointerOnBox;
      if (console.keyDown(kLeftButton) || console.keyDown(kEnter)) {
        if (const std::optional<int> result = choose(grid, i)) return *result;
      }
      drawBox(grid, i, true);
    }
    // Escape works only while the button is highlighted; Enter never does.
    const bool pointed = kBackArea.pointed(console);
    if (pointed || (grid.selection >= kBackSelectionFirst && grid.selection <= kBackSelectionLast)) {
      if (pointed) grid.selection = kPointerOnBack;
      console.setColor(kHighlight);
      drawRow(console, kBackColumn, kBackRow, backButton(), grid.backBytes);
      if (console.keyDown(kLeftButton) || console.keyDown(kEscape)) return 0;
    } else {
      console.setColor(kText);
      drawRow(console, kBackColumn, kBackRow, backButton(), grid.backBytes);
    }
    console.waitTicks(kPassTicks);
  }
}

// Asks whether to overwrite a full slot; answered with the pointer only.
// The question shows in the colours set last.
bool askOverwrite(Console& console) {
  static const std::string question = sjis("データを上書きしますがよろしいですか？");
  drawRows(console, kNoticeColumn, kNoticeTop, noticeFrame(question, ""));
  console.resetKeys();
  // YES, then NO.
  static constexpr PointerArea kAnswerAreas[2] = {PointerArea::onRow(kAnswerRow, kYesColumn, kYesLast),
                                                  PointerArea::onRow(kAnswerRow, kNoColumn, kNoLast)};
  for (;;) {
    for (int k = 0; k < 2; ++k) {
      const PointerArea& area = kAnswerAreas[k];
      const bool pointed = area.pointed(console);
      console.setColor(pointed ? kHighlight : kText);
      drawRow(console, area.firstColumn, kAnswerRow, answers()[k]);
      if (pointed && (console.keyDown(kLeftButton) || console.keyDown(kEnter))) return k == 0;
    }
    console.waitTicks(kPassTicks);
  }
}

// A notice over the grid; then the background comes back and the boxes with
// it as the pass goes on. Keys are not reset, so a key still held opens it
// again.
void showGridNotice(Console& console, std::string_view message) {
  showNotice(console, message);
  fillBackground(console);
}

}  // namespace

int showSaveSlots(Console& console, Fighters& fighters, SlotStorage& storage) {
  SlotGrid grid = openGrid(console, fighters, storage, kBackBytes);
  const auto save = [&](int index) {
    std::string reason;
    switch (writeSlot(index, fighters[0], storage, &reason)) {
      case SlotWrite::Written:
        break;
      case SlotWrite::OpenFailed:
        stopWith(console, index, kNotOpened, reason);
      case SlotWrite::WriteFailed:
        stopWith(console, index, kNotWritten, reason);
    }
    console.setColor(kHighlight);
    drawRows(console, kConfirmColumn, kConfirmTop, savedConfirmation());
    console.waitTicks(kConfirmTicks);
    return 0;
  };
  return browse(grid, [&](SlotGrid& g, int index) -> std::optional<int> {
    // A slot the scan found empty is looked at again: another game (another
    // window, another tab of the page) may have saved a fighter there since.
    FileStatus status;
    const bool empty = g.scan[index] == SlotState::Empty && storage.pathStatus(slotFileName(index), status) != 0 &&
                       errno == ENOENT;
    if (empty || askOverwrite(console)) return save(index);
    // NO: the screen comes back with nothing written.
    console.setColor(kText);
    console.clearScreen(kUnchanged);
    fillBackground(console);
    drawBox(g, index, false);
    console.waitTicks(kPassTicks);
    return std::nullopt;
  });
}

int showLoadSlots(Console& console, Fighters& fighters, SlotStorage& storage) {
  static const std::string noData = sjis("セーブデータがありません");
  static const std::string damaged = sjis("セーブデータが壊れています");
  SlotGrid grid = openGrid(console, fighters, storage, kBackBytesWithNul);
  return browse(grid, [&](SlotGrid& g, int index) -> std::optional<int> {
    if (g.scan[index] == SlotState::Empty) {
      showGridNotice(console, noData);
      return std::nullopt;
    }
    // The file as it is now, not the copy in the box.
    switch (readSlot(index, fighters[0], storage)) {
      case SlotRead::Loaded:
        break;
      case SlotRead::Damaged:
        showGridNotice(console, damaged);
        return std::nullopt;
      case SlotRead::OpenFailed:
        stopWith(console, index, kNotLoaded);
    }
    // "Loaded" shows in the colours set last.
    drawRows(console, kConfirmColumn, kConfirmTop, loadedConfirmation());
    console.waitTicks(kConfirmTicks);
    return 1;
  });
}

int showSaveSlots(Console& console, Fighters& fighters) {
  return showSaveSlots(console, fighters, systemSlotStorage());
}

int showLoadSlots(Console& console, Fighters& fighters) {
  return showLoadSlots(console, fighters, systemSlotStorage());
}

}  // namespace kotodama
