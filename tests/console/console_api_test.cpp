// The console on a Windows console, checked through a stand-in that keeps the
// console's state: what the player sees (cells, attributes, cursor, caret),
// the input mode, and what every stop gives back.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "console/art.h"
#include "console/console.h"
#include "console/display_text.h"
#include "console/fake_console.h"

namespace kotodama::test {
namespace {

using Exit = FakeConsole::Exit;

// What a stop gives back, in one line.
std::string state(const FakeConsole& f) {
  char line[128];
  std::snprintf(line, sizeof line, "mode %x, caret %u %s, attribute %x, %s, handles %s", f.inputMode, f.caret.size,
                f.caret.visible ? "shown" : "hidden", f.attribute, f.restoreArmed ? "armed" : "not armed",
                f.outputOpen && f.inputOpen ? "open" : !f.outputOpen && !f.inputOpen ? "closed" : "half open");
  return line;
}

class ConsoleApiTest : public ::testing::Test {
 protected:
  Console& open() {
    console_ = std::make_unique<Console>(fake);
    return *console_;
  }
  void close() { console_.reset(); }
  // Runs `f`, which must end the process; its exit status.
  template <typename F>
  int exitStatus(F f) {
    try {
      f();
    } catch (const Exit& e) {
      return e.status;
    }
    ADD_FAILURE() << "the process did not end";
    return -1;
  }
  void tap(std::int64_t t, std::uint16_t vk) {
    fake.at(t, keyEvent(vk, true));
    fake.at(t + 100, keyEvent(vk, false));
  }

  FakeConsole fake{120, 300};
  std::unique_ptr<Console> console_;
};

TEST_F(ConsoleApiTest, TakesTheConsoleOverAndGivesItBackAtEveryStop) {
  fake.attribute = 0x1e;
  Console& console = open();
  EXPECT_TRUE(console.consoleApiMode());
  // Mouse on, quick edit, line input and echo off; the caret at size 8; the
  // colours and the cells as they were until the game draws.
  EXPECT_EQ(state(fake), "mode 1b1, caret 8 shown, attribute 1e, armed, handles open");
  EXPECT_EQ(console.keyDown(kPointerColumn), 0);
  console.setColor(12, 1);
  console.setCursorVisible(0, 0);
  close();
  EXPECT_EQ(state(fake), "mode 1f7, caret 25 shown, attribute 1e, not armed, handles closed");

  // exit() does the same once, before the process ends.
  FakeConsole again;
  auto console2 = std::make_unique<Console>(again);
  console2->setColor(0, 12);
  EXPECT_EQ(exitStatus([&] { console2->exit(3); }), 3);
  EXPECT_EQ(state(again), "mode 1f7, caret 25 shown, attribute 7, not armed, handles closed");
  again.inputMode = 5;
  console2.reset();  // nothing is given back twice
  EXPECT_EQ(again.inputMode, 5u);
}

TEST_F(ConsoleApiTest, MissingHandlesAreReportedOnceAndWhatNeedsThemDoesNothing) {
  fake.stdOutput = kInvalidHandle;
  Console& console = open();
  EXPECT_EQ(fake.messagesAllocated, 0);  // the system's text was fetched and freed
  EXPECT_EQ(fake.caret.size, 25u);
  console.setCursorVisible(0, 50);
  console.print("x");
  console.clearScreen(0, 0);
  console.flush();
  EXPECT_EQ(fake.cell(0, 0).text, " ");
  EXPECT_EQ(fake.caret.size, 25u);

  FakeConsole noInput;
  noInput.stdInput = kInvalidHandle;
  noInput.at(0, keyEvent(13, true));
  Console second(noInput);
  EXPECT_EQ(second.keyDown(kEnter), 0);
  EXPECT_EQ(noInput.text(0, 0, 22), "The handle is invalid.");
  EXPECT_FALSE(noInput.restoreArmed && noInput.armed.hasInputMode);
}

TEST_F(ConsoleApiTest, DrawsTextWhereTheCursorIsInTheColoursOfTheLastSetColor) {
  Console& console = open();
  console.setColor(15, 0);
  console.moveCursor(5, 3);
  console.print("ab");
  console.setColor(0, 12);
  console.print("c");
  console.setColor(16, 4);  // keeps the foreground
  console.print("d");
  console.setColor(17, 16);  // 17 shows as 1
  console.print("e");
  console.flush();
  EXPECT_EQ(fake.text(4, 2, 5), "abcde");
  EXPECT_EQ(fake.cell(4, 2).attribute, 0x0f);
  EXPECT_EQ(fake.cell(6, 2).attribute, 0xc0);
  EXPECT_EQ(fake.cell(7, 2).attribute, 0x40);
  EXPECT_EQ(fake.cell(8, 2).attribute, 0x41);
  // A cell beyond the buffer is refused by the console; nothing breaks.
  console.moveCursor(70000, 1);
  console.print("z");
  console.flush();
  EXPECT_EQ(fake.text(9, 2, 1), "z");
}

TEST_F(ConsoleApiTest, ClearScreenBlanksTheWholeBufferAndHomesButKeepsTheTextColours) {
  Console& console = open();
  fake.cells[299 * 120 + 119].text = "x";  // far outside the window
  console.setColor(15, 0);
  console.moveCursor(10, 10);
  console.clearScreen(16, 1);
  EXPECT_EQ(fake.cell(119, 299).text, " ");
  EXPECT_EQ(fake.cell(119, 299).attribute, 0x1f);
  EXPECT_EQ(fake.cursor.x, 0);
  EXPECT_EQ(fake.cursor.y, 0);
  console.print("t");
  console.flush();
  EXPECT_EQ(fake.cell(0, 0).attribute, 0x0f);  // still the last setColor's
  fake.screenInfoOk = false;
  console.moveCursor(5, 5);
  console.clearScreen(16, 16);
  EXPECT_EQ(fake.cursor.x, 0);  // homed even when the buffer cannot be read
}

TEST_F(ConsoleApiTest, TheCaretTakesTheLowByteAndSizesOneToNinetyNine) {
  Console& console = open();
  console.setCursorVisible(0x100, 100);
  EXPECT_EQ(state(fake), "mode 1b1, caret 8 hidden, attribute 7, armed, handles open");
  console.setCursorVisible(1, 99);
  EXPECT_EQ(state(fake), "mode 1b1, caret 99 shown, attribute 7, armed, handles open");
}

TEST_F(ConsoleApiTest, TextKeepsItsCellsOnEveryCodePage) {
  const std::string text = sjis("勇⊂x");  // 5 bytes, 5 columns
  fake.outputCodePage = 65001;
  Console& console = open();
  console.moveCursor(10, 1);
  console.print(text);
  console.print("y");
  console.flush();
  // ⊂ shows one cell wide there: the cursor is put back on the game's column.
  EXPECT_EQ(fake.text(9, 0, 6), "勇⊂ xy");
  EXPECT_EQ(fake.cell(13, 0).text, "x");

  FakeConsole sjisConsole;
  Console second(sjisConsole);
  second.moveCursor(1, 1);
  second.print(text);
  second.flush();
  EXPECT_EQ(sjisConsole.cell(0, 0).text, text.substr(0, 2));  // the bytes as they are
  EXPECT_EQ(sjisConsole.cell(4, 0).text, "x");
}

TEST_F(ConsoleApiTest, InputRecordsFoldIntoKeysModifiersAndThePointer) {
  Console& console = open();
  fake.at(0, keyEvent(65, true, kShiftPressed));
  EXPECT_EQ(console.keyDown(65), 1);
  EXPECT_EQ(console.keyDown(16), 1);
  fake.at(0, keyEvent(16, false));  // Shift's own release: the state has the last word
  EXPECT_EQ(console.keyDown(16), 0);
  EXPECT_EQ(console.keyDown(65), 1);
  fake.at(0, keyEvent(300, true, kLeftCtrlPressed));  // past 255: skipped whole
  EXPECT_EQ(console.keyDown(17), 0);
  fake.at(0, keyEvent(255, true, kRightAltPressed | kLeftCtrlPressed));
  EXPECT_EQ(console.keyDown(255), 1);
  EXPECT_EQ(console.keyDown(18), 1);
  EXPECT_EQ(console.keyDown(17), 1);
  EXPECT_EQ(console.keyDown(511), 1);  // codes read their low eight bits

  fake.at(0, mouseEvent(0, 0, kFromLeft1stButtonPressed | kRightmostButtonPressed));
  EXPECT_EQ(console.keyDown(kPointerColumn), 1);
  EXPECT_EQ(console.keyDown(kPointerRow), 1);
  EXPECT_EQ(console.keyDown(kLeftButton), 1);
  EXPECT_EQ(console.keyDown(kRightButton), 1);
  InputRecord focus;
  focus.eventType = kFocusEvent;
  fake.at(0, focus);
  fake.at(0, mouseEvent(40, 12, kFromLeft2ndButtonPressed));
  EXPECT_EQ(console.keyDown(kLeftButton), 0);
  EXPECT_EQ(console.keyDown(kMiddleButton), 1);
  EXPECT_EQ(console.keyDown(kPointerColumn), 41);
  EXPECT_EQ(console.keyDown(18), 1);  // mouse events leave the modifiers alone

  // A press and its release read in one poll: the key reads up.
  fake.at(0, keyEvent(13, true));
  fake.at(0, keyEvent(13, false));
  EXPECT_EQ(console.keyDown(kEnter), 0);
  // After resetKeys a held key reads up until the console reports it again.
  fake.at(0, keyEvent(40, true));
  EXPECT_EQ(console.keyDown(kDown), 1);
  console.resetKeys();
  EXPECT_EQ(console.keyDown(kDown), 0);
  EXPECT_EQ(console.keyDown(kPointerColumn), 41);

  // A failed count or read leaves the state as it was.
  fake.at(0, keyEvent(40, true));
  fake.countOk = false;
  EXPECT_EQ(console.keyDown(kDown), 0);
  fake.countOk = true;
  fake.readOk = false;
  EXPECT_EQ(console.keyDown(kDown), 0);
  fake.readOk = true;
  EXPECT_EQ(console.keyDown(kDown), 1);
}

TEST_F(ConsoleApiTest, AnIdlePollingLoopSleepsInsteadOfSpinningAndWakesForInput) {
  Console& console = open();
  tap(1000, kEnter);
  while (!console.keyDown(kEnter)) {
  }
  EXPECT_EQ(fake.clock, 1000);
  EXPECT_GT(fake.inputWaits, 0);
  EXPECT_LT(fake.inputWaits, 10);
  console.waitTicks(250);
  EXPECT_EQ(fake.clock, 1250);
}

TEST_F(ConsoleApiTest, JoysticksAreReadThroughTheConsoleAndMinusOneWhenUnreadable) {
  Console& console = open();
  fake.joystickError[1] = 0;
  fake.joystick[1] = JoyInfo{1, 2, 3, 4};
  EXPECT_EQ(console.keyDown(kJoystick1X), -1);
  EXPECT_EQ(console.keyDown(kJoystick1Buttons), -1);
  EXPECT_EQ(console.keyDown(kJoystick2X), 1);
  EXPECT_EQ(console.keyDown(kJoystick2Y), 2);
  EXPECT_EQ(console.keyDown(kJoystick2Z), 3);
  EXPECT_EQ(console.keyDown(kJoystick2Buttons), 4);
}

TEST_F(ConsoleApiTest, NamesAreTypedAtTheConsolesOwnLineInput) {
  Console& console = open();
  fake.lines = {"勇者 x", "\x1a"};
  fake.cursor = Coord{3, 4};
  EXPECT_EQ(console.readToken(10), sjis("勇者"));
  EXPECT_EQ(fake.text(3, 4, 6), "勇者 x");  // the console echoed it
  EXPECT_EQ(fake.inputMode, 0x1b1u);           // back to single events
  EXPECT_EQ(console.readToken(10), "x");      // the rest of the line waited
  // Ctrl+Z on a line, or no line at all, ends the game with the console given back.
  EXPECT_EQ(exitStatus([&] { console.readToken(10); }), 0);
  EXPECT_EQ(fake.inputMode, 0x1f7u);
}

TEST_F(ConsoleApiTest, AFatalStopDropsWhatWasTypedAndWaitsForAnEchoedLine) {
  Console& console = open();
  fake.at(0, keyEvent(65, true));
  fake.at(0, keyEvent(65, false));
  fake.lines = {"typed"};
  fake.cursor = Coord{0, 5};
  EXPECT_EQ(exitStatus([&] { console.stopAfterMessage(); }), Console::kFatalStopStatus);
  EXPECT_EQ(fake.nextArrival(), -1);  // the pending records were dropped
  EXPECT_EQ(fake.text(0, 5, 5), "typed");
  EXPECT_TRUE(fake.lines.empty());
}

TEST_F(ConsoleApiTest, SoundsPlayOnlyThroughARegisteredHandleWithADevice) {
  Console& console = open();
  EXPECT_FALSE(console.playSound(0, true));
  EXPECT_FALSE(console.stopSound(0));
  EXPECT_FALSE(console.closeSound(0));
  Sound stranger;
  stranger.deviceId = 9;
  const auto strangerHandle = reinterpret_cast<SoundHandle>(&stranger);
  EXPECT_FALSE(console.playSound(strangerHandle, true));
  EXPECT_FALSE(console.closeSound(strangerHandle));  // never touched
  EXPECT_TRUE(fake.multimedia.empty());

  auto* sound = new Sound;
  sound->deviceId = 5;
  sound->playParams.from = 77;
  const auto handle = reinterpret_cast<SoundHandle>(sound);
  console.registerSound(handle);
  console.registerSound(handle);
  EXPECT_TRUE(console.playSound(handle, true));
  EXPECT_TRUE(console.playSound(handle, false));
  EXPECT_TRUE(console.stopSound(handle));
  EXPECT_TRUE(console.closeSound(handle));  // both entries go, the sound is freed
  EXPECT_FALSE(console.playSound(handle, true));
  EXPECT_EQ(fake.multimedia, (std::vector<std::string>{"mci(5,0x806,0x10004,0)", "mci(5,0x806,0x4,0)",
                                                       "mci(5,0x808,0x2,-)"}));

  // Waveform devices are released in key order at exit, their headers freed.
  fake.multimedia.clear();
  auto header = [] {
    auto* h = new WaveHeader;
    h->data = new char[4];
    return h;
  };
  console.addWaveDevice(30, header());
  console.addWaveDevice(10, nullptr);
  console.addWaveDevice(0, header());  // no device: no call, but freed
  close();
  EXPECT_EQ(fake.multimedia, (std::vector<std::string>{"reset(10)", "close(10)", "reset(30)",
                                                       "unprepare(30," + std::to_string(sizeof(WaveHeader)) + ")",
                                                       "close(30)"}));
}

}  // namespace
}  // namespace kotodama::test
