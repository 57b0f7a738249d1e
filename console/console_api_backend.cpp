// The console on a Windows console: every operation is a direct call on the
// standard handles through the ConsoleApi (platform_win32.cpp); input comes
// from the console's own input events, joysticks through joyGetPos and sounds
// through MCI. Every stop gives back the input mode, colours and caret the
// console had.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console_backend.h"
#include "console/display_text.h"

namespace kotodama {

namespace {

// At most this many input records are read by one poll; what is left stays
// pending in the console for the next poll (a count is untrusted and must not
// decide the size of an allocation on its own).
constexpr std::uint32_t kMaxRecordsPerPoll = 4096;
// Ctrl+Z typed at the start of a line ends the input, as Ctrl+D does on a
// terminal.
constexpr char kEndOfInput = '\x1a';

// The console attribute of a colour pair: background in the high four bits,
// foreground in the low four; only the low four bits of each count.
std::uint16_t attributeOf(int foreground, int background) {
  return static_cast<std::uint16_t>(((background & 15) << 4) | (foreground & 15));
}

// A coordinate cut to 16 bits, as COORD holds it (wrapping, never overflowing).
std::int16_t cut16(long value) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned long>(value) & 0xFFFFu));
}

// An input record as the event the console folds; false for records it
// drops (window size, menu and focus events, key codes beyond 255).
bool toEvent(const InputRecord& record, InputEvent& event) {
  if (record.eventType == kKeyEvent) {
    const KeyEventRecord& key = record.key;
    if (key.virtualKeyCode > 255) return false;
    event.kind = EventKind::Key;
    event.vk = static_cast<std::uint8_t>(key.virtualKeyCode);
    event.pressed = key.keyDown;
    const std::uint32_t state = key.controlKeyState;
    event.modifiers = static_cast<std::uint8_t>(((state & (kRightAltPressed | kLeftAltPressed)) ? kModAlt : 0) |
                                                ((state & (kRightCtrlPressed | kLeftCtrlPressed)) ? kModCtrl : 0) |
                                                ((state & kShiftPressed) ? kModShift : 0));
    return true;
  }
  if (record.eventType == kMouseEvent) {
    const MouseEventRecord& mouse = record.mouse;
    event.kind = EventKind::Mouse;
    event.x = mouse.position.x;
    event.y = mouse.position.y;
    event.buttons = static_cast<std::uint8_t>(((mouse.buttonState & kFromLeft1stButtonPressed) ? kButtonLeft : 0) |
                                              ((mouse.buttonState & kFromLeft2ndButtonPressed) ? kButtonMiddle : 0) |
                                              ((mouse.buttonState & kRightmostButtonPressed) ? kButtonRight : 0));
    return true;
  }
  return false;
}

class ConsoleApiBackend;
// The one console that the exit handler gives back.
ConsoleApiBackend* gOpenBackend = nullptr;

class ConsoleApiBackend final : public ConsoleBackend, private DisplaySink {
 public:
  explicit ConsoleApiBackend(ConsoleApi& api) : api_(api), encoder_(TerminalEncoding::ShiftJis) {
    // The platform test. Only the NT family runs this 64-bit program, and a
    // query that fails is taken as NT too: it draws through the console calls.
    VersionInfo version;
    version.size = static_cast<std::uint32_t>(sizeof(VersionInfo));  // 148
    api_.getVersionEx(version);

    // The standard handles; a missing one is reported with the system's words.
    output_ = api_.getStdHandle(kStdOutputHandle);
    if (output_ == kInvalidHandle) writeSystemError();
    input_ = api_.getStdHandle(kStdInputHandle);
    if (input_ == kInvalidHandle) writeSystemError();
    open_ = true;

    // The console as the game found it, for every stop to put back; then
    // mouse events on (they are the pointer), quick edit off (it would take
    // the mouse for selecting text) and Ctrl+C handled by the system (it ends
    // the game).
    restore_.input = input_;
    restore_.output = output_;
    if (input_ != kInvalidHandle) restore_.hasInputMode = api_.getConsoleMode(input_, restore_.inputMode);
    if (output_ != kInvalidHandle) {
      ScreenBufferInfo info;
      restore_.hasAttributes = api_.getConsoleScreenBufferInfo(output_, info);
      restore_.attributes = info.attributes;
      restore_.hasCursor = api_.getConsoleCursorInfo(output_, restore_.cursor);
    }
    api_.armRestore(restore_);
    if (restore_.hasInputMode) {
      gameInputMode_ = (restore_.inputMode | kEnableMouseInput | kEnableExtendedFlags | kEnableProcessedInput) &
                       ~(kEnableQuickEditMode | kEnableLineInput | kEnableEchoInput | kEnableVirtualTerminalInput);
      api_.setConsoleMode(input_, gameInputMode_);
    }

    // Text goes out as it is on a code page 932 console, converted elsewhere.
    encoder_ = DisplayEncoder(api_.getConsoleOutputCP() == 932 ? TerminalEncoding::ShiftJis : TerminalEncoding::Utf8);

    // Given back at exit too, when the process ends without destroying it.
    static const bool registered = std::atexit(&ConsoleApiBackend::restoreAtExit) == 0;
    (void)registered;
    gOpenBackend = this;
  }

  ~ConsoleApiBackend() override { restore(); }

  bool hasOutput() const override { return output_ != kInvalidHandle; }

  void moveCursor(long column, long row) override {
    flush();  // text printed before lands where the cursor was
    encoder_.setColumn(static_cast<int>(column + 1));
    if (output_ != kInvalidHandle) api_.setConsoleCursorPosition(output_, Coord{cut16(column), cut16(row)});
  }

  void setColor(int, int, int storedFg, int storedBg) override {
    flush();
    // Even (16, 16) sends the stored pair again.
    if (output_ != kInvalidHandle) api_.setConsoleTextAttribute(output_, attributeOf(storedFg, storedBg));
  }

  void clearScreen(int, int, int storedFg, int storedBg) override {
    flush();
    ScreenBufferInfo info;
    if (output_ != kInvalidHandle && api_.getConsoleScreenBufferInfo(output_, info)) {
      // The whole buffer, rows above and below the window included. The text
      // colours stay those of the last setColor.
      const auto columns = static_cast<std::uint32_t>(std::max<int>(info.size.x, 0));
      const auto rows = static_cast<std::uint32_t>(std::max<int>(info.size.y, 0));
      const std::uint32_t cells = columns * rows;  // at most 32767 * 32767
      std::uint32_t written = 0;
      api_.fillConsoleOutputAttribute(output_, attributeOf(storedFg, storedBg), cells, Coord{0, 0}, written);
      api_.fillConsoleOutputCharacter(output_, ' ', cells, Coord{0, 0}, written);
    }
    moveCursor(0, 0);
  }

  void setCursor(bool visible, std::uint32_t size) override {
    flush();
    api_.setConsoleCursorInfo(output_, ConsoleCursorInfo{size, visible});
  }

  void print(const char* bytes, std::size_t size) override { encoder_.put(bytes, size, *this); }

  void flush() override {
    encoder_.settle(*this);
    if (pending_.empty()) return;
    if (output_ != kInvalidHandle) {
      if (encoder_.encoding() == TerminalEncoding::ShiftJis) api_.writeConsoleA(output_, pending_.data(), pending_.size());
      else api_.writeConsoleUtf8(output_, pending_.data(), pending_.size());
    }
    pending_.clear();
  }

  Polled poll(std::vector<InputEvent>& out) override {
    std::uint32_t count = 0;
    if (!api_.getNumberOfConsoleInputEvents(input_, count) || count == 0) return Polled::Nothing;
    const std::uint32_t room = std::min(count, kMaxRecordsPerPoll);
    std::vector<InputRecord> records(room);
    std::uint32_t read = 0;
    if (!api_.readConsoleInput(input_, records.data(), room, read) || read == 0) return Polled::Nothing;
    InputEvent event;
    for (std::uint32_t i = 0; i < std::min(read, room); ++i) {
      if (toEvent(records[i], event)) out.push_back(event);
    }
    return Polled::Events;  // the records are freed here, before the answer
  }

  void idle() override { api_.waitForInput(api_.now() + kIdleSleepMs); }

  // Events that arrive meanwhile wait in the console for the next poll.
  void waitTicks(int n) override { api_.sleepUntil(api_.now() + std::max(n, 0)); }

  bool readLine(std::string& line) override {
    flush();
    // The console's own line editing and echo while the line is typed, then
    // back to single events.
    if (restore_.hasInputMode) {
      const std::uint32_t lineMode =
          gameInputMode_ | kEnableLineInput | kEnableProcessedInput | kEnableEchoInput;
      api_.setConsoleMode(input_, lineMode);
    }
    std::string typed;
    const bool read = api_.readConsoleLine(input_, typed, kLineLimit);
    if (restore_.hasInputMode) api_.setConsoleMode(input_, gameInputMode_);
    encoder_.setColumn(1);  // the console's echo ended the line
    if (!read || (!typed.empty() && typed[0] == kEndOfInput)) return false;
    line = utf8ToShiftJis(typed);
    return true;
  }

  void discardInput() override { api_.flushConsoleInputBuffer(input_); }

  JoystickReading joystick(int id) override {
    JoyInfo info;
    if (api_.joyGetPos(id == 0 ? kJoystickId1 : kJoystickId2, info) != kJoyErrNoError) return {};
    return JoystickReading{true, info.x, info.y, info.z, info.buttons};
  }

  bool playSound(std::uint32_t deviceId, MciPlayParams& params, bool loop) override {
    // From the start, without waiting: playback runs on while the game goes on.
    params.from = 0;
    const std::uint32_t flags = kMciFrom | (loop ? kMciDgvPlayRepeat : 0u);
    return api_.mciSendCommand(deviceId, kMciPlay, flags, &params) == 0;
  }

  bool stopSound(std::uint32_t deviceId) override {
    return api_.mciSendCommand(deviceId, kMciStop, kMciWait, nullptr) == 0;
  }

  void releaseWaveDevice(WaveOutHandle device, WaveHeader* header) override {
    api_.waveOutReset(device);
    if (header != nullptr) api_.waveOutUnprepareHeader(device, header, sizeof(WaveHeader));
    api_.waveOutClose(device);
  }

  void restore() override {
    if (!open_) return;
    open_ = false;
    if (gOpenBackend == this) gOpenBackend = nullptr;
    // Put back what the game changed, then close the handles.
    if (restore_.hasInputMode) api_.setConsoleMode(restore_.input, restore_.inputMode);
    if (restore_.hasAttributes) api_.setConsoleTextAttribute(restore_.output, restore_.attributes);
    if (restore_.hasCursor) api_.setConsoleCursorInfo(restore_.output, restore_.cursor);
    api_.disarmRestore();
    if (output_ != kInvalidHandle) {
      api_.closeHandle(output_);
      output_ = kInvalidHandle;
    }
    if (input_ != kInvalidHandle) {
      api_.closeHandle(input_);
      input_ = kInvalidHandle;
    }
  }

  [[noreturn]] void exitProcess(int status) override {
    api_.exitProcess(status);
    std::abort();  // exitProcess never returns
  }

 private:
  // DisplaySink: text waits for the next flush; a column move puts the
  // cursor on that column of the row it is on, so no cell moves.
  void text(const char* bytes, std::size_t size) override { pending_.append(bytes, size); }
  void moveToColumn(int column) override {
    flush();
    ScreenBufferInfo info;
    if (output_ != kInvalidHandle && api_.getConsoleScreenBufferInfo(output_, info)) {
      api_.setConsoleCursorPosition(output_, Coord{cut16(static_cast<long>(column) - 1), info.cursor.y});
    }
  }

  static void restoreAtExit() {
    if (gOpenBackend == nullptr) return;
    gOpenBackend->flush();
    gOpenBackend->restore();
  }

  void writeSystemError() {
    const std::uint32_t error = api_.getLastError();
    char* text = nullptr;
    const std::uint32_t length =
        api_.formatMessage(kFormatMessageAllocateBuffer | kFormatMessageFromSystem | kFormatMessageIgnoreInserts,
                           error, kLanguageUserDefault, &text);
    // The system's text as it is, nothing before or after it.
    if (length > 0 && text != nullptr && output_ != kInvalidHandle) api_.writeConsoleA(output_, text, length);
    if (text != nullptr) api_.localFree(text);
  }

  ConsoleApi& api_;
  ConsoleHandle output_ = kInvalidHandle;
  ConsoleHandle input_ = kInvalidHandle;
  ConsoleRestore restore_;           // the console as the game found it
  std::uint32_t gameInputMode_ = 0;  // mouse on, quick edit off
  bool open_ = false;                // not yet given back
  DisplayEncoder encoder_;
  std::string pending_;  // text not yet written
};

}  // namespace

std::unique_ptr<ConsoleBackend> makeConsoleApiBackend(ConsoleApi& api) {
  return std::make_unique<ConsoleApiBackend>(api);
}

}  // namespace kotodama
