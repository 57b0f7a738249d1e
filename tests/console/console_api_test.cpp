// The console on a Windows console, checked call by call through a recording
// stand-in of the Windows functions: what each operation calls, with which
// arguments, in which order; how input events fold into the key state; the
// joysticks, the sounds and what every stop gives back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/display_text.h"
#include "console/fake_console_api.h"

namespace kotodama::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ConsoleApiTest : public ::testing::Test {
 protected:
  // Builds the console on the fake; unless `keepCalls`, the calls made while
  // it was built are forgotten.
  Console& open(bool keepCalls = false) {
    console_ = std::make_unique<Console>(platform);
    if (!keepCalls) api.clearCalls();
    return *console_;
  }
  // Destroys the console, as the end of the game does.
  void close() { console_.reset(); }

  FakeApiPlatform platform;
  FakeConsoleApi& api = platform.api;

 private:
  std::unique_ptr<Console> console_;
};

// ------------------------------------------------------ start and stops

TEST_F(ConsoleApiTest, StartsInTheOrderTheConsoleIsTakenOver) {
  Console& console = open(true);
  EXPECT_TRUE(console.consoleApiMode());
  // Platform test with the 148-byte record, the two handles, what every stop
  // gives back, mouse on and quick edit / line input off, the code page, and
  // the caret at size 8. The colours are only stored.
  EXPECT_THAT(api.calls(), ElementsAre("GetVersionExA(148)", "GetStdHandle(out)", "GetStdHandle(in)",
                                       "GetConsoleMode(in)", "GetConsoleScreenBufferInfo(out)",
                                       "GetConsoleCursorInfo(out)",
                                       "armRestore(in,out,mode=0x1f7,attr=0x07,cursor=25:1)",
                                       "SetConsoleMode(in,0x1b1)", "GetConsoleOutputCP",
                                       "SetConsoleCursorInfo(out,8,1)"));
  EXPECT_EQ(console.keyDown(kPointerColumn), 0);
  EXPECT_EQ(console.keyDown(kPointerRow), 0);
  EXPECT_THAT(platform.terminalBytes, IsEmpty());
}

TEST_F(ConsoleApiTest, OnlyTheNtFamilyDrawsThroughTheConsoleCalls) {
  api.platformId = 1;  // the old Windows family: escape sequences
  Console& console = open(true);
  EXPECT_FALSE(console.consoleApiMode());
  EXPECT_THAT(api.calls(), ElementsAre("GetVersionExA(148)"));
  console.moveCursor(5, 3);
  console.flush();
  EXPECT_NE(platform.terminalBytes.find("\033[3;5H"), std::string::npos);
  EXPECT_THAT(api.calls(), ElementsAre("GetVersionExA(148)"));
}

TEST_F(ConsoleApiTest, AFailedVersionQueryStillDrawsThroughTheConsoleCalls) {
  api.versionOk = false;
  EXPECT_TRUE(open().consoleApiMode());
}

TEST_F(ConsoleApiTest, AMissingOutputHandleIsReportedAndEverythingThatNeedsItDoesNothing) {
  api.stdOutput = kInvalidHandle;
  Console& console = open(true);
  // The system's text has nowhere to go, but it is fetched and given back;
  // the caret is not touched at start.
  EXPECT_THAT(api.calls(), ElementsAre("GetVersionExA(148)", "GetStdHandle(out)", "GetLastError",
                                       "FormatMessageA(0x1300,6,0x400)", "LocalFree", "GetStdHandle(in)",
                                       "GetConsoleMode(in)", "armRestore(in,invalid,mode=0x1f7,no attr,no cursor)",
                                       "SetConsoleMode(in,0x1b1)", "GetConsoleOutputCP"));
  EXPECT_EQ(api.messagesAllocated, 0);
  api.clearCalls();
  console.moveCursor(3, 3);
  console.setColor(12, 0);
  console.clearScreen(16, 16);
  console.setCursorVisible(0, 50);
  console.print("text");
  console.flush();
  EXPECT_THAT(api.calls(), IsEmpty());
}

TEST_F(ConsoleApiTest, AMissingInputHandleIsReportedWithTheSystemsOwnText) {
  api.stdInput = kInvalidHandle;
  Console& console = open(true);
  EXPECT_THAT(api.callsTo("WriteConsoleA"), ElementsAre("WriteConsoleA(out,The handle is invalid.\r\n)"));
  EXPECT_THAT(api.callsTo("LocalFree"), ElementsAre("LocalFree"));
  EXPECT_THAT(api.callsTo("SetConsoleMode"), IsEmpty());
  api.clearCalls();
  // Every poll asks the invalid handle, fails and keeps the state.
  EXPECT_EQ(console.keyDown(kEnter), 0);
  EXPECT_THAT(api.calls(), ElementsAre("GetNumberOfConsoleInputEvents(invalid)"));
}

TEST_F(ConsoleApiTest, DestructionGivesTheConsoleBackThenClosesTheHandles) {
  Console& console = open();
  console.setColor(12, 1);
  api.clearCalls();
  close();
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleMode(in,0x1f7)", "SetConsoleTextAttribute(out,0x07)",
                                       "SetConsoleCursorInfo(out,25,1)", "disarmRestore", "CloseHandle(out)",
                                       "CloseHandle(in)"));
}

TEST_F(ConsoleApiTest, ExitGivesTheConsoleBackOnceBeforeTheProcessEnds) {
  Console& console = open();
  console.print("bye");
  try {
    console.exit(3);
    FAIL() << "exit returned";
  } catch (const FakeExit& e) {
    EXPECT_EQ(e.status, 3);
  }
  EXPECT_THAT(api.calls(), ElementsAre("WriteConsoleA(out,bye)", "SetConsoleMode(in,0x1f7)",
                                       "SetConsoleTextAttribute(out,0x07)", "SetConsoleCursorInfo(out,25,1)",
                                       "disarmRestore", "CloseHandle(out)", "CloseHandle(in)"));
  api.clearCalls();
  close();
  EXPECT_THAT(api.calls(), IsEmpty());
}

TEST_F(ConsoleApiTest, TheGamesInputModeKeepsOnlyWhatItDoesNotChange) {
  // Insert mode and window events kept; line input, echo, quick edit and
  // terminal sequences off; mouse, extended flags and Ctrl+C handling on.
  api.inputMode = kEnableInsertMode | kEnableWindowInput | kEnableLineInput | kEnableEchoInput |
                  kEnableQuickEditMode | kEnableVirtualTerminalInput;
  open(true);
  EXPECT_THAT(api.callsTo("SetConsoleMode"), ElementsAre("SetConsoleMode(in,0xb9)"));
  api.clearCalls();
  close();
  EXPECT_THAT(api.callsTo("SetConsoleMode"), ElementsAre("SetConsoleMode(in,0x26e)"));
}

TEST_F(ConsoleApiTest, PartsThatCouldNotBeReadAreNotPutBack) {
  api.modeOk = false;
  api.screenInfoOk = false;
  api.cursorInfoOk = false;
  open();
  close();
  EXPECT_THAT(api.calls(), ElementsAre("disarmRestore", "CloseHandle(out)", "CloseHandle(in)"));
}

// ------------------------------------------------------------ typed lines

TEST_F(ConsoleApiTest, ANameIsTypedAtTheConsolesOwnLineInputAndComesBackInShiftJis) {
  Console& console = open();
  api.lines = {"  勇者 rest"};
  EXPECT_EQ(console.readToken(10), utf8ToShiftJis("勇者"));
  // Line input with echo only while the line is typed, then single events.
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleMode(in,0x1b7)", "ReadConsoleW(in)", "SetConsoleMode(in,0x1b1)"));
  api.clearCalls();
  EXPECT_EQ(console.readToken(10), "rest");  // the rest of the line is still pending
  EXPECT_THAT(api.calls(), IsEmpty());
  api.lines = {"abcdefghijklmnop"};
  EXPECT_EQ(console.readToken(10), "abcdefghijk");  // cut to limit + 1
}

TEST_F(ConsoleApiTest, CtrlZOrTheEndOfInputEndsTheGameWithTheConsoleGivenBack) {
  for (const bool ctrlZ : {true, false}) {
    SCOPED_TRACE(ctrlZ);
    Console& console = open();
    if (ctrlZ) api.lines = {"\x1a"};
    int status = -1;
    try {
      console.readToken(10);
    } catch (const FakeExit& e) {
      status = e.status;
    }
    EXPECT_EQ(status, 0);
    EXPECT_THAT(api.callsTo("SetConsoleMode"),
                ElementsAre("SetConsoleMode(in,0x1b7)", "SetConsoleMode(in,0x1b1)", "SetConsoleMode(in,0x1f7)"));
    EXPECT_THAT(api.callsTo("CloseHandle"), ElementsAre("CloseHandle(out)", "CloseHandle(in)"));
    close();
  }
}

TEST_F(ConsoleApiTest, AFatalStopDropsWhatWasTypedAndWaitsForALineWithoutEcho) {
  Console& console = open();
  api.events = {keyEvent('A', true)};
  api.lines = {"anything"};
  try {
    console.stopAfterMessage();
  } catch (const FakeExit& e) {
    EXPECT_EQ(e.status, 0);
  }
  EXPECT_THAT(api.calls(), ElementsAre("FlushConsoleInputBuffer(in)", "SetConsoleMode(in,0x1b3)", "ReadConsoleW(in)",
                                       "SetConsoleMode(in,0x1b1)", "SetConsoleMode(in,0x1f7)",
                                       "SetConsoleTextAttribute(out,0x07)", "SetConsoleCursorInfo(out,25,1)",
                                       "disarmRestore", "CloseHandle(out)", "CloseHandle(in)"));
}

// ------------------------------------------------------------------ output

TEST_F(ConsoleApiTest, MoveCursorAddressesCellsFromZeroCutTo16Bits) {
  Console& console = open();
  console.moveCursor(1, 1);
  console.moveCursor(5, 3);
  console.moveCursor(0, -5);
  console.moveCursor(65538, 32769);
  console.moveCursor(INT_MIN, INT_MAX);
  EXPECT_THAT(api.calls(),
              ElementsAre("SetConsoleCursorPosition(out,0,0)", "SetConsoleCursorPosition(out,4,2)",
                          "SetConsoleCursorPosition(out,-1,-6)", "SetConsoleCursorPosition(out,1,-32768)",
                          "SetConsoleCursorPosition(out,-1,-2)"));
}

TEST_F(ConsoleApiTest, TextPrintedBeforeACallLandsBeforeIt) {
  Console& console = open();
  console.moveCursor(2, 2);
  console.print("ab");
  console.printf("%c", 'c');
  console.setColor(0, 12);
  console.print("d");
  console.moveCursor(1, 1);
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleCursorPosition(out,1,1)", "WriteConsoleA(out,abc)",
                                       "SetConsoleTextAttribute(out,0xc0)", "WriteConsoleA(out,d)",
                                       "SetConsoleCursorPosition(out,0,0)"));
}

TEST_F(ConsoleApiTest, SetColorStoresThenAppliesTheStoredPairEvenForSixteenSixteen) {
  Console& console = open();
  console.setColor(14, 1);
  console.setColor(16, 16);  // re-applies 14 on 1
  console.setColor(16, 4);   // keeps the foreground
  console.setColor(7, 16);   // keeps the background
  console.setColor(17, 0);   // stored as 17, shows as 1
  console.setColor(16, 16);
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleTextAttribute(out,0x1e)", "SetConsoleTextAttribute(out,0x1e)",
                                       "SetConsoleTextAttribute(out,0x4e)", "SetConsoleTextAttribute(out,0x47)",
                                       "SetConsoleTextAttribute(out,0x01)", "SetConsoleTextAttribute(out,0x01)"));
}

TEST_F(ConsoleApiTest, ClearScreenFillsTheWholeBufferAttributeFirstThenHomes) {
  Console& console = open();
  console.setColor(15, 0);
  api.clearCalls();
  console.clearScreen(14, 4);
  // 120 x 300 cells, not just the 80 x 25 window; no text attribute change.
  EXPECT_THAT(api.calls(), ElementsAre("GetConsoleScreenBufferInfo(out)",
                                       "FillConsoleOutputAttribute(out,0x4e,36000,0,0)",
                                       "FillConsoleOutputCharacterA(out,' ',36000,0,0)",
                                       "SetConsoleCursorPosition(out,0,0)"));
  api.clearCalls();
  console.setColor(16, 16);  // the stored pair is now the cleared one
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleTextAttribute(out,0x4e)"));
}

TEST_F(ConsoleApiTest, ClearScreenStillHomesWhenTheBufferCannotBeRead) {
  Console& console = open();
  api.screenInfoOk = false;
  console.clearScreen(16, 16);
  EXPECT_THAT(api.calls(), ElementsAre("GetConsoleScreenBufferInfo(out)", "SetConsoleCursorPosition(out,0,0)"));
  api.screenInfoOk = true;
  api.screenInfo.size = Coord{-5, 25};  // nonsense from the platform fills nothing
  api.clearCalls();
  console.clearScreen(16, 16);
  EXPECT_THAT(api.callsTo("Fill"), ElementsAre("FillConsoleOutputAttribute(out,0x0f,0,0,0)",
                                               "FillConsoleOutputCharacterA(out,' ',0,0,0)"));
}

TEST_F(ConsoleApiTest, SetCursorVisibleTakesTheLowByteAndSizesOneToNinetyNine) {
  Console& console = open();
  console.setCursorVisible(0, 100);   // hidden, size kept
  console.setCursorVisible(1, 0);     // shown at the size it had
  console.setCursorVisible(1, 99);
  console.setCursorVisible(0x100, 1);  // low byte 0: hidden
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleCursorInfo(out,8,0)", "SetConsoleCursorInfo(out,8,1)",
                                       "SetConsoleCursorInfo(out,99,1)", "SetConsoleCursorInfo(out,1,0)"));
}

TEST_F(ConsoleApiTest, ShiftJisGoesOutAsItIsOnACodePage932Console) {
  Console& console = open();
  const std::string text = utf8ToShiftJis("勇者") + "\x01" + "A";
  console.printBytes(text.data(), text.size());
  console.flush();
  // Control bytes show as a blank, as on a terminal.
  EXPECT_THAT(api.calls(), ElementsAre("WriteConsoleA(out," + utf8ToShiftJis("勇者") + " A)"));
}

TEST_F(ConsoleApiTest, OnAnotherCodePageTextIsConvertedWithoutMovingACell) {
  api.outputCodePage = 437;
  Console& console = open();
  console.moveCursor(10, 5);
  // ⊂ is two bytes and two columns in the game, one column on the console:
  // the cursor is put on column 13 of the row it is on.
  console.print(utf8ToShiftJis("勇⊂x"));
  console.flush();
  EXPECT_THAT(api.calls(), ElementsAre("SetConsoleCursorPosition(out,9,4)", "WriteConsoleW(out,勇⊂)",
                                       "GetConsoleScreenBufferInfo(out)", "SetConsoleCursorPosition(out,13,100)",
                                       "WriteConsoleW(out,x)"));
}

// ------------------------------------------------------------------- input

TEST_F(ConsoleApiTest, KeyEventsSetAndClearTheirBitsThenTheModifiersHaveTheLastWord) {
  Console& console = open();
  api.events = {keyEvent(16, true, kShiftPressed), keyEvent('A', true, kShiftPressed)};
  EXPECT_EQ(console.keyDown(16), 1);
  EXPECT_EQ(console.keyDown('A'), 1);
  // The Shift key's own press, with a state that says no Shift is down.
  api.events = {keyEvent(16, true, 0)};
  EXPECT_EQ(console.keyDown(16), 0);
  api.events = {keyEvent(16, false, kShiftPressed)};  // released, yet the state says down
  EXPECT_EQ(console.keyDown(16), 1);
  api.events = {keyEvent(13, true, kLeftCtrlPressed | kRightAltPressed)};
  EXPECT_EQ(console.keyDown(kEnter), 1);
  EXPECT_EQ(console.keyDown(17), 1);
  EXPECT_EQ(console.keyDown(18), 1);
  EXPECT_EQ(console.keyDown(16), 0);
  EXPECT_EQ(console.keyDown('A'), 1);
  api.events = {keyEvent('A', false, kRightCtrlPressed | kLeftAltPressed)};
  EXPECT_EQ(console.keyDown('A'), 0);
  EXPECT_EQ(console.keyDown(17), 1);
  EXPECT_EQ(console.keyDown(18), 1);
}

TEST_F(ConsoleApiTest, KeyEventsPastVirtualKey255AreSkippedWhole) {
  Console& console = open();
  // 269 would read as bit 13 (Enter) and its Shift state would set bit 16.
  api.events = {keyEvent(269, true, kShiftPressed), keyEvent(256, true)};
  EXPECT_EQ(console.keyDown(kEnter), 0);
  EXPECT_EQ(console.keyDown(16), 0);
  EXPECT_EQ(console.keyDown(0), 0);
  api.events = {keyEvent(255, true)};
  EXPECT_EQ(console.keyDown(255), 1);
}

TEST_F(ConsoleApiTest, MouseEventsMoveThePointerAndSetTheThreeButtonBits) {
  Console& console = open();
  api.events = {keyEvent(16, true, kShiftPressed), mouseEvent(0, 0, kFromLeft1stButtonPressed)};
  EXPECT_EQ(console.keyDown(kPointerColumn), 1);
  EXPECT_EQ(console.keyDown(kPointerRow), 1);
  EXPECT_EQ(console.keyDown(kLeftButton), 1);
  EXPECT_EQ(console.keyDown(16), 1);  // modifiers are not touched by the mouse
  api.events = {mouseEvent(79, 24, kFromLeft2ndButtonPressed | kRightmostButtonPressed, 1)};
  EXPECT_EQ(console.keyDown(kPointerColumn), 80);
  EXPECT_EQ(console.keyDown(kPointerRow), 25);
  EXPECT_EQ(console.keyDown(kLeftButton), 0);
  EXPECT_EQ(console.keyDown(kMiddleButton), 1);
  EXPECT_EQ(console.keyDown(kRightButton), 1);
  api.events = {mouseEvent(-1, 32767, 0, 4)};  // a wheel turn still moves the pointer
  EXPECT_EQ(console.keyDown(kPointerColumn), 0);
  EXPECT_EQ(console.keyDown(kPointerRow), 32768);
  EXPECT_EQ(console.keyDown(kMiddleButton), 0);
  EXPECT_EQ(console.keyDown(kRightButton), 0);
}

TEST_F(ConsoleApiTest, OtherEventsAreReadAndDropped) {
  Console& console = open();
  api.events = {otherEvent(kWindowBufferSizeEvent), otherEvent(kMenuEvent), otherEvent(kFocusEvent),
                otherEvent(0x40)};
  EXPECT_EQ(console.keyDown(kEnter), 0);
  EXPECT_THAT(api.events, IsEmpty());
  EXPECT_EQ(console.keyDown(kPointerColumn), 0);
}

TEST_F(ConsoleApiTest, EventsFoldInTheOrderRead) {
  Console& console = open();
  api.events = {keyEvent(13, true), keyEvent(13, false), keyEvent(40, true)};
  EXPECT_EQ(console.keyDown(kEnter), 0);  // pressed and released between two polls
  EXPECT_EQ(console.keyDown(kDown), 1);
  console.resetKeys();
  EXPECT_EQ(console.keyDown(kDown), 0);  // held, but no new event came
  api.events = {keyEvent(13, true), mouseEvent(3, 3, kFromLeft1stButtonPressed)};
  console.resetKeys();
  EXPECT_EQ(console.keyDown(kEnter), 1);
  console.resetKeys();
  EXPECT_EQ(console.keyDown(kLeftButton), 0);  // the button stays held, without a new event
  EXPECT_EQ(console.keyDown(kPointerColumn), 4);  // the pointer is not reset
}

TEST_F(ConsoleApiTest, APollReadsExactlyThePendingCount) {
  Console& console = open();
  api.events = {keyEvent('A', true), keyEvent('B', true), keyEvent('C', true)};
  console.keyDown('A');
  EXPECT_THAT(api.calls(), ElementsAre("GetNumberOfConsoleInputEvents(in)", "ReadConsoleInputA(in,3)"));
  api.clearCalls();
  console.keyDown('A');  // nothing pending: one call
  EXPECT_THAT(api.calls(), ElementsAre("GetNumberOfConsoleInputEvents(in)"));
  api.clearCalls();
  api.countOverride = 4'000'000'000;  // an absurd count reads a bounded batch
  console.keyDown('A');
  EXPECT_THAT(api.calls(), ElementsAre("GetNumberOfConsoleInputEvents(in)", "ReadConsoleInputA(in,4096)"));
}

TEST_F(ConsoleApiTest, AFailedCountOrReadLeavesTheStateAsItWas) {
  Console& console = open();
  api.events = {keyEvent(13, true), mouseEvent(4, 2, 0)};
  ASSERT_EQ(console.keyDown(kEnter), 1);
  api.events = {keyEvent(13, false), mouseEvent(9, 9, kFromLeft1stButtonPressed)};
  api.countOk = false;
  api.clearCalls();
  EXPECT_EQ(console.keyDown(kEnter), 1);
  EXPECT_THAT(api.calls(), ElementsAre("GetNumberOfConsoleInputEvents(in)"));  // no read after a failed count
  api.countOk = true;
  api.readOk = false;
  EXPECT_EQ(console.keyDown(kEnter), 1);
  EXPECT_EQ(console.keyDown(kPointerColumn), 5);
  api.readOk = true;
  api.countOverride = 2;
  api.events.clear();  // a read that returns no record
  EXPECT_EQ(console.keyDown(kEnter), 1);
  EXPECT_EQ(console.keyDown(kPointerRow), 3);
}

TEST_F(ConsoleApiTest, CodesPastTheKeyRangeReadTheirLowEightBits) {
  Console& console = open();
  api.events = {keyEvent(19, true), keyEvent(27, true), keyEvent(0, true)};
  EXPECT_EQ(console.keyDown(275), 1);  // not a joystick code: bit 19
  EXPECT_EQ(console.keyDown(283), 1);  // bit 27
  EXPECT_EQ(console.keyDown(256), 1);  // bit 0
  EXPECT_EQ(console.keyDown(276), 0);
}

TEST_F(ConsoleApiTest, JoysticksAreReadWithJoyGetPosAndGiveMinusOneWhenUnreadable) {
  Console& console = open();
  for (const int code : {272, 273, 274, 279, 280, 281, 282, 287}) EXPECT_EQ(console.keyDown(code), -1) << code;
  api.joystickError[1] = 0;
  api.joystick[1] = JoyInfo{100, 200, 300, 0x5};
  EXPECT_EQ(console.keyDown(kJoystick2X), 100);
  EXPECT_EQ(console.keyDown(kJoystick2Y), 200);
  EXPECT_EQ(console.keyDown(kJoystick2Z), 300);
  EXPECT_EQ(console.keyDown(kJoystick2Buttons), 5);
  EXPECT_EQ(console.keyDown(kJoystick1X), -1);
  // Joystick codes never poll the console.
  EXPECT_THAT(api.callsTo("GetNumberOfConsoleInputEvents"), IsEmpty());
  EXPECT_EQ(api.callsTo("joyGetPos(0)").size(), 5u);
  EXPECT_EQ(api.callsTo("joyGetPos(1)").size(), 8u);
}

TEST_F(ConsoleApiTest, AnIdlePollingLoopSleepsUntilInputInsteadOfSpinning) {
  Console& console = open();
  for (int i = 0; i < 1000; ++i) console.keyDown(kEnter);
  EXPECT_GT(platform.inputWaits, 0);
  EXPECT_LT(platform.inputWaits, 1000);
  // A wait lets the clock run without reading the console.
  api.clearCalls();
  const std::int64_t before = platform.clock;
  console.waitTicks(50);
  EXPECT_EQ(platform.clock, before + 50);
  EXPECT_THAT(api.calls(), IsEmpty());
}

// ------------------------------------------------------------------- sound

TEST_F(ConsoleApiTest, ARegisteredSoundWithADevicePlaysFromTheStartThroughMci) {
  Console& console = open();
  auto* sound = new Sound;
  sound->deviceId = 9;
  sound->playParams.from = 777;
  const auto handle = reinterpret_cast<SoundHandle>(sound);
  console.registerSound(handle);
  EXPECT_TRUE(console.playSound(handle, false));
  EXPECT_TRUE(console.playSound(handle, true));
  EXPECT_TRUE(console.stopSound(handle));
  api.mciResult = 263;  // MCIERR_INVALID_DEVICE_NAME
  EXPECT_FALSE(console.playSound(handle, false));
  EXPECT_FALSE(console.stopSound(handle));
  EXPECT_THAT(api.calls(), ElementsAre("mciSendCommandA(9,0x806,0x04,from=0)", "mciSendCommandA(9,0x806,0x10004,from=0)",
                                       "mciSendCommandA(9,0x808,0x02,null)", "mciSendCommandA(9,0x806,0x04,from=0)",
                                       "mciSendCommandA(9,0x808,0x02,null)"));
  EXPECT_TRUE(console.closeSound(handle));  // deletes the Sound
  EXPECT_FALSE(console.playSound(handle, false));
  EXPECT_FALSE(console.closeSound(handle));
}

TEST_F(ConsoleApiTest, SoundsWithoutADeviceOrARegistrationMakeNoCall) {
  Console& console = open();
  Sound unregistered;
  unregistered.deviceId = 4;
  const auto stranger = reinterpret_cast<SoundHandle>(&unregistered);
  auto* silent = new Sound;  // no device
  const auto handle = reinterpret_cast<SoundHandle>(silent);
  console.registerSound(handle);
  console.registerSound(handle);  // twice: one close removes both
  EXPECT_FALSE(console.playSound(0, true));
  EXPECT_FALSE(console.stopSound(0));
  EXPECT_FALSE(console.closeSound(0));
  EXPECT_FALSE(console.playSound(stranger, false));
  EXPECT_FALSE(console.stopSound(stranger));
  EXPECT_FALSE(console.closeSound(stranger));  // the object behind it is left alone
  EXPECT_FALSE(console.playSound(handle, false));
  EXPECT_FALSE(console.stopSound(handle));
  EXPECT_TRUE(console.closeSound(handle));
  EXPECT_FALSE(console.closeSound(handle));
  EXPECT_THAT(api.calls(), IsEmpty());
}

TEST_F(ConsoleApiTest, WaveformDevicesAreReleasedInKeyOrderAfterTheHandlesClose) {
  Console& console = open();
  auto header = [](std::uint32_t length, bool withData) {
    auto* h = new WaveHeader;
    h->bufferLength = length;
    if (withData) h->data = new char[length];
    return h;
  };
  console.addWaveDevice(30, header(300, true));
  console.addWaveDevice(10, header(100, true));
  console.addWaveDevice(20, nullptr);
  console.addWaveDevice(0, header(5, false));  // no device: no call, but the header is freed
  console.addWaveDevice(15, header(150, false));
  close();
  const std::string size = std::to_string(sizeof(WaveHeader));
  EXPECT_THAT(api.calls(),
              ElementsAre("SetConsoleMode(in,0x1f7)", "SetConsoleTextAttribute(out,0x07)",
                          "SetConsoleCursorInfo(out,25,1)", "disarmRestore", "CloseHandle(out)", "CloseHandle(in)",
                          "waveOutReset(10)", "waveOutUnprepareHeader(10,length=100,size=" + size + ")",
                          "waveOutClose(10)", "waveOutReset(15)",
                          "waveOutUnprepareHeader(15,length=150,size=" + size + ")", "waveOutClose(15)",
                          "waveOutReset(20)", "waveOutClose(20)", "waveOutReset(30)",
                          "waveOutUnprepareHeader(30,length=300,size=" + size + ")", "waveOutClose(30)"));
}

TEST_F(ConsoleApiTest, EmptyContainersMakeNoWaveformCallAtExit) {
  open();
  close();
  EXPECT_THAT(api.callsTo("waveOut"), IsEmpty());
}

}  // namespace
}  // namespace kotodama::test
