// The console on a Windows console, checked through a stand-in that keeps the
// console's state: what the player sees (cells, attributes, cursor, caret),
// the input mode, and what every stop gives back.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "console/draw.h"
#include "console/fake_console.h"

namespace kotodama::test {
namespace {

// What a stop gives back, in one line.
std::string state(const FakeConsole& f) {
  char line[128];
  std::snprintf(line, sizeof line, "mode %x, caret %u %s, attribute %x, %s, handles %s", f.inputMode, f.caret.size,
                f.caret.visible ? "shown" : "hidden", f.attribute, f.armed ? "armed" : "not armed",
                f.outputOpen && f.inputOpen ? "open" : !f.outputOpen && !f.inputOpen ? "closed" : "half open");
  return line;
}
const char* const kGivenBack = "mode 1f7, caret 25 shown, attribute 7, not armed, handles closed";

class ConsoleApiTest : public ::testing::Test {
 protected:
  // The records arrive, then keyDown of each code, in order, against what it must read.
  void reads(const std::vector<InputRecord>& records, const std::vector<std::pair<int, int>>& expected) {
    for (const InputRecord& record : records) fake.events.emplace_back(0, record);
    for (const auto& [code, value] : expected) EXPECT_EQ(console->keyDown(code), value) << "code " << code;
  }

  FakeConsole fake;
  std::unique_ptr<Console> console = std::make_unique<Console>(fake);
};

TEST_F(ConsoleApiTest, TakesTheConsoleOverAndGivesItBackWhenClosed) {
  // Mouse on, quick edit, line input and echo off; the caret at size 8; the
  // colours as they were until the game sets one.
  EXPECT_EQ(state(fake), "mode 1b1, caret 8 shown, attribute 7, armed, handles open");
  // What an outside stop would put back: the console as it was.
  EXPECT_TRUE(fake.armed && fake.armed->hasInputMode && fake.armed->inputMode == 0x1f7 && fake.armed->hasCursor);
  console->setColor(12, 1);
  console->setCursorVisible(0x100, 100);  // the low byte: hidden; a size past 99 keeps the old one
  EXPECT_EQ(state(fake), "mode 1b1, caret 8 hidden, attribute 1c, armed, handles open");
  console->setCursorVisible(1, 99);
  EXPECT_EQ(fake.caret.size, 99u);
  console.reset();
  EXPECT_EQ(state(fake), kGivenBack);
}

TEST_F(ConsoleApiTest, DrawsInTheLastSetColorAndClearsTheWholeBufferInTheColoursAsked) {
  console->setColor(15, 0);
  console->moveCursor(5, 3);
  console->print(sjis("勇"));  // Shift-JIS bytes as they are, two cells
  console->setColor(16, 12);  // 16 keeps the colour it stands for
  console->print("c");
  console->setColor(17, 16);  // 17 shows as 1
  console->print("d");
  console->flush();
  EXPECT_EQ(fake.text(4, 2, 4), sjis("勇") + "cd");
  const std::uint16_t attributes[] = {0x0f, 0x0f, 0xcf, 0xc1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(fake.cell(4 + i, 2).attribute, attributes[i]) << i;

  console->clearScreen(16, 14);
  EXPECT_EQ(fake.text(4, 2, 4), "    ");
  EXPECT_EQ(fake.cells.back().attribute, 0xe1);  // far outside the window
  console->print("t");
  console->flush();
  EXPECT_EQ(fake.cell(0, 0).attribute, 0xc1);  // at home, in the last setColor's colours
  fake.screenInfoOk = false;
  console->clearScreen(16, 16);
  EXPECT_EQ(fake.cursor.x + fake.cursor.y, 0);  // homed even when the buffer cannot be read
}

TEST(ConsoleApiOpening, WithoutInputTheSystemsWordsShowAndAUtf8ConsoleKeepsTheGamesColumns) {
  FakeConsole fake;
  fake.stdInput = kInvalidHandle;
  fake.outputCodePage = 65001;
  Console console(fake);
  // The missing handle is reported in the system's words, and the text given back.
  EXPECT_EQ(fake.text(0, 0, 22), "The handle is invalid.");
  EXPECT_EQ(fake.messagesAllocated, 0);
  console.moveCursor(10, 3);
  console.print(sjis("勇⊂x"));  // five columns
  console.moveCursor(16, 3);      // what was printed lands before the cursor moves
  console.print("y");
  console.flush();
  // ⊂ shows one cell wide there: the cursor is put back on the game's column.
  EXPECT_EQ(fake.text(9, 2, 7), "勇⊂ x y");
}

TEST_F(ConsoleApiTest, InputRecordsFoldIntoKeysModifiersThePointerAndJoysticks) {
  reads({keyEvent(65, true, kShiftPressed)}, {{65, 1}, {16, 1}});
  reads({keyEvent(300, true, kLeftCtrlPressed)}, {{17, 0}, {300 & 0xFF, 0}});  // past 255: skipped whole
  reads({keyEvent(255, true, kRightAltPressed | kLeftCtrlPressed)}, {{255, 1}, {18, 1}, {17, 1}});

  reads({mouseEvent(0, 0, kFromLeft1stButtonPressed)},
        {{kPointerColumn, 1}, {kPointerRow, 1}, {kLeftButton, 1}, {kRightButton, 0}, {kMiddleButton, 0}});
  // Focus events are dropped; mouse events leave the modifiers alone.
  reads({InputRecord{kFocusEvent, {}, {}}, mouseEvent(40, 12, kFromLeft2ndButtonPressed | kRightmostButtonPressed)},
        {{kLeftButton, 0}, {kMiddleButton, 1}, {kRightButton, 1}, {kPointerColumn, 41}, {kPointerRow, 13}, {18, 1}});

  // An absurd event count does not size the read on its own: a bounded batch is read.
  fake.countOverride = 0xFFFFFFFFu;
  reads({keyEvent(40, true)}, {{kDown, 1}});

  fake.joystick[1] = JoyInfo{1, 2, 3, 4};
  reads({}, {{kJoystick1X, -1}, {kJoystick1Buttons, -1}, {kJoystick2X, 1}, {kJoystick2Y, 2}, {kJoystick2Z, 3},
             {kJoystick2Buttons, 4}});
}

TEST_F(ConsoleApiTest, AnIdleLoopSleepsUntilInputAndAFatalStopDropsWhatWasTypedMeanwhile) {
  fake.events.emplace_back(1000, keyEvent(kEnter, true));
  while (!console->keyDown(kEnter)) {
  }
  EXPECT_EQ(fake.clock, 1000);  // woken when the key arrives, after a few waits
  EXPECT_TRUE(fake.inputWaits > 0 && fake.inputWaits < 10) << fake.inputWaits;
  console->waitTicks(250);
  EXPECT_EQ(fake.clock, 1250);
  // A fatal stop drops what was typed, then waits for an echoed line.
  fake.events.emplace_back(0, keyEvent(65, true));
  fake.lines = {"typed"};
  EXPECT_THROW(console->stopAfterMessage(), FakeConsole::Exit);
  EXPECT_EQ(fake.exitStatus, Console::kFatalStopStatus);
  EXPECT_TRUE(fake.events.empty() && fake.lines.empty());
}

TEST_F(ConsoleApiTest, NamesAreTypedAtTheConsolesOwnLineInputAndCtrlZEndsTheGame) {
  fake.lines = {"勇者 x", "\x1a"};
  EXPECT_EQ(console->readToken(10), sjis("勇者"));
  EXPECT_EQ(fake.text(0, 0, 6), "勇者 x");  // the console echoed it
  EXPECT_EQ(fake.inputMode, 0x1b1u);           // back to single events
  EXPECT_EQ(console->readToken(10), "x");      // the rest of the line waited
  // Ctrl+Z on a line ends the game with the console given back, once.
  EXPECT_THROW(console->readToken(10), FakeConsole::Exit);
  EXPECT_EQ(fake.exitStatus, 0);
  EXPECT_EQ(state(fake), kGivenBack);
  fake.inputOpen = fake.outputOpen = true;
  fake.inputMode = 5;
  console.reset();
  EXPECT_EQ(state(fake), "mode 5, caret 25 shown, attribute 7, not armed, handles open");
}

TEST_F(ConsoleApiTest, SoundsPlayOnlyThroughARegisteredHandleWithADevice) {
  const auto handleOf = [](Sound& s) { return reinterpret_cast<SoundHandle>(&s); };
  Sound stranger, noDevice;
  auto* sound = new Sound;
  stranger.deviceId = 9;
  sound->deviceId = 5;
  sound->playParams.from = 77;  // played from the start all the same
  const SoundHandle handle = handleOf(*sound), strangerHandle = handleOf(stranger);
  console->registerSound(handle);
  console->registerSound(handleOf(noDevice));
  for (SoundHandle h : {SoundHandle{0}, strangerHandle, handleOf(noDevice)}) {
    EXPECT_FALSE(console->playSound(h, true) || console->stopSound(h)) << h;
  }
  EXPECT_FALSE(console->closeSound(strangerHandle));  // never touched
  EXPECT_TRUE(console->playSound(handle, true) && console->playSound(handle, false) && console->stopSound(handle));
  EXPECT_TRUE(console->closeSound(handle));  // unregistered and freed
  EXPECT_FALSE(console->playSound(handle, true));

  // Waveform devices are released in key order at exit, their headers freed.
  // Device 10 has no header; 0 is no device: no call, but its header freed.
  for (const WaveOutHandle device : {30u, 10u, 0u}) {
    console->addWaveDevice(device, device == 10 ? nullptr : new WaveHeader{new char[4]});
  }
  console.reset();
  // MCI_PLAY (0x806) from 0 repeating (0x10004), from 0 once (4); MCI_STOP (0x808) waiting (2); then the devices.
  const std::string unprepare = "unprepare 30 " + std::to_string(sizeof(WaveHeader));
  EXPECT_EQ(fake.multimedia, (std::vector<std::string>{"mci 5 2054 65540 0", "mci 5 2054 4 0", "mci 5 2056 2",
                                                       "reset 10", "close 10", "reset 30", unprepare, "close 30"}));
}

}  // namespace
}  // namespace kotodama::test
