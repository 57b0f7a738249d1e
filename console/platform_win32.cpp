// The platform for a Windows console: the console calls of ConsoleApi handed
// to kernel32, and what Ctrl+C, Ctrl+Break and closing the window put back.
// The clock, joysticks and sounds are platform_win32_system.cpp's, text
// conversion platform_win32_text.cpp's and the slot files' calls
// slots/slot_storage_win32.cpp's.
#include "console/platform_win32.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/console_api.h"

namespace kotodama {

namespace {

// The portable records and numbers are the Windows ones.
static_assert(KEY_EVENT == kKeyEvent && MOUSE_EVENT == kMouseEvent && WINDOW_BUFFER_SIZE_EVENT == kWindowBufferSizeEvent &&
              MENU_EVENT == kMenuEvent && FOCUS_EVENT == kFocusEvent);
static_assert(RIGHT_ALT_PRESSED == kRightAltPressed && LEFT_ALT_PRESSED == kLeftAltPressed &&
              RIGHT_CTRL_PRESSED == kRightCtrlPressed && LEFT_CTRL_PRESSED == kLeftCtrlPressed &&
              SHIFT_PRESSED == kShiftPressed);
static_assert(FROM_LEFT_1ST_BUTTON_PRESSED == kFromLeft1stButtonPressed &&
              RIGHTMOST_BUTTON_PRESSED == kRightmostButtonPressed &&
              FROM_LEFT_2ND_BUTTON_PRESSED == kFromLeft2ndButtonPressed);
static_assert(ENABLE_PROCESSED_INPUT == kEnableProcessedInput && ENABLE_LINE_INPUT == kEnableLineInput &&
              ENABLE_ECHO_INPUT == kEnableEchoInput && ENABLE_WINDOW_INPUT == kEnableWindowInput &&
              ENABLE_MOUSE_INPUT == kEnableMouseInput && ENABLE_INSERT_MODE == kEnableInsertMode &&
              ENABLE_QUICK_EDIT_MODE == kEnableQuickEditMode && ENABLE_EXTENDED_FLAGS == kEnableExtendedFlags &&
              ENABLE_VIRTUAL_TERMINAL_INPUT == kEnableVirtualTerminalInput);

HANDLE toHandle(ConsoleHandle handle) { return reinterpret_cast<HANDLE>(handle); }
COORD toCoord(Coord c) { return COORD{c.x, c.y}; }
Coord fromCoord(COORD c) { return Coord{c.X, c.Y}; }

// What the control handler needs: it runs on a thread of its own while the
// game goes on, so every call that changes the console takes the lock and
// does nothing once the process is being stopped.
struct StopState {
  CRITICAL_SECTION lock;
  std::atomic<bool> stopped{false};
  std::atomic<bool> armed{false};
  ConsoleRestore restore;
};
StopState gStop;

class Locked {
 public:
  Locked() { EnterCriticalSection(&gStop.lock); }
  ~Locked() { LeaveCriticalSection(&gStop.lock); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
};

void putBack(const ConsoleRestore& restore) {
  if (restore.hasInputMode) SetConsoleMode(toHandle(restore.input), restore.inputMode);
  if (restore.hasAttributes) SetConsoleTextAttribute(toHandle(restore.output), restore.attributes);
  if (restore.hasCursor) {
    CONSOLE_CURSOR_INFO info{restore.cursor.size, restore.cursor.visible ? TRUE : FALSE};
    SetConsoleCursorInfo(toHandle(restore.output), &info);
  }
}

// Ctrl+C, Ctrl+Break, the window closed, log-off or shut-down: the console
// is put back and the system's own handler ends the process as it would
// have. A game thread stuck in a console call while holding the lock (a
// selection pauses output) is not waited for long.
BOOL WINAPI onControl(DWORD) {
  bool locked = false;
  for (int i = 0; i < 50 && !locked; ++i) {
    locked = TryEnterCriticalSection(&gStop.lock) != 0;
    if (!locked) Sleep(10);
  }
  gStop.stopped = true;
  if (gStop.armed.exchange(false)) putBack(gStop.restore);
  if (locked) LeaveCriticalSection(&gStop.lock);
  return FALSE;
}

std::string toUtf8(const wchar_t* text, int size) {
  if (size <= 0) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

// Writes all bytes to a handle that is not a console (a file or a pipe).
bool writeFileAll(HANDLE handle, const char* bytes, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

class Win32ConsoleApi final : public Win32System {
 public:
  Win32ConsoleApi() {
    InitializeCriticalSection(&gStop.lock);
    SetConsoleCtrlHandler(onControl, TRUE);
  }
  ~Win32ConsoleApi() override {
    SetConsoleCtrlHandler(onControl, FALSE);
    DeleteCriticalSection(&gStop.lock);
  }
  Win32ConsoleApi(const Win32ConsoleApi&) = delete;
  Win32ConsoleApi& operator=(const Win32ConsoleApi&) = delete;

  bool closeHandle(ConsoleHandle handle) override {
    Locked lock;
    return !gStop.stopped && CloseHandle(toHandle(handle));
  }

  bool setConsoleCursorPosition(ConsoleHandle output, Coord cell) override {
    Locked lock;
    return !gStop.stopped && SetConsoleCursorPosition(toHandle(output), toCoord(cell));
  }

  bool setConsoleTextAttribute(ConsoleHandle output, std::uint16_t attribute) override {
    Locked lock;
    return !gStop.stopped && SetConsoleTextAttribute(toHandle(output), attribute);
  }

  bool getConsoleCursorInfo(ConsoleHandle output, ConsoleCursorInfo& info) override {
    CONSOLE_CURSOR_INFO cursor{};
    if (!GetConsoleCursorInfo(toHandle(output), &cursor)) return false;
    info = ConsoleCursorInfo{cursor.dwSize, cursor.bVisible != FALSE};
    return true;
  }

  bool setConsoleCursorInfo(ConsoleHandle output, const ConsoleCursorInfo& info) override {
    Locked lock;
    CONSOLE_CURSOR_INFO cursor{info.size, info.visible ? TRUE : FALSE};
    return !gStop.stopped && SetConsoleCursorInfo(toHandle(output), &cursor);
  }

  bool getConsoleScreenBufferInfo(ConsoleHandle output, ScreenBufferInfo& info) override {
    CONSOLE_SCREEN_BUFFER_INFO buffer{};
    if (!GetConsoleScreenBufferInfo(toHandle(output), &buffer)) return false;
    info.size = fromCoord(buffer.dwSize);
    info.cursor = fromCoord(buffer.dwCursorPosition);
    info.attributes = buffer.wAttributes;
    info.window = SmallRect{buffer.srWindow.Left, buffer.srWindow.Top, buffer.srWindow.Right, buffer.srWindow.Bottom};
    info.maximumWindowSize = fromCoord(buffer.dwMaximumWindowSize);
    return true;
  }

  bool fillConsoleOutputAttribute(ConsoleHandle output, std::uint16_t attribute, std::uint32_t length, Coord first,
                                  std::uint32_t& written) override {
    Locked lock;
    DWORD count = 0;
    const bool ok = !gStop.stopped &&
                    FillConsoleOutputAttribute(toHandle(output), attribute, length, toCoord(first), &count);
    written = count;
    return ok;
  }

  bool fillConsoleOutputCharacter(ConsoleHandle output, char character, std::uint32_t length, Coord first,
                                  std::uint32_t& written) override {
    Locked lock;
    DWORD count = 0;
    const bool ok = !gStop.stopped &&
                    FillConsoleOutputCharacterA(toHandle(output), character, length, toCoord(first), &count);
    written = count;
    return ok;
  }

  std::uint32_t getConsoleOutputCP() override { return GetConsoleOutputCP(); }

  bool writeConsoleA(ConsoleHandle output, const char* bytes, std::size_t size) override {
    Locked lock;
    if (gStop.stopped) return false;
    const HANDLE handle = toHandle(output);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return writeFileAll(handle, bytes, size);  // redirected
    while (size > 0) {
      const DWORD chunk = size > 8192 ? 8192 : static_cast<DWORD>(size);
      DWORD written = 0;
      if (!WriteConsoleA(handle, bytes, chunk, &written, nullptr) || written == 0) return false;
      bytes += written;
      size -= written;
    }
    return true;
  }

  bool writeConsoleUtf8(ConsoleHandle output, const char* utf8, std::size_t size) override {
    Locked lock;
    if (gStop.stopped) return false;
    const HANDLE handle = toHandle(output);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) return writeFileAll(handle, utf8, size);  // redirected
    if (size == 0) return true;
    if (size > 1u << 24) return false;
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(size), nullptr, 0);
    if (length <= 0) return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(size), wide.data(), length);
    const wchar_t* next = wide.data();
    DWORD left = static_cast<DWORD>(length);
    while (left > 0) {
      DWORD written = 0;
      if (!WriteConsoleW(handle, next, left, &written, nullptr) || written == 0) return false;
      next += written;
      left -= written;
    }
    return true;
  }

  bool getConsoleMode(ConsoleHandle handle, std::uint32_t& mode) override {
    DWORD value = 0;
    if (!GetConsoleMode(toHandle(handle), &value)) return false;
    mode = value;
    return true;
  }

  bool setConsoleMode(ConsoleHandle handle, std::uint32_t mode) override {
    Locked lock;
    return !gStop.stopped && SetConsoleMode(toHandle(handle), mode);
  }

  bool getNumberOfConsoleInputEvents(ConsoleHandle input, std::uint32_t& count) override {
    DWORD value = 0;
    if (!GetNumberOfConsoleInputEvents(toHandle(input), &value)) return false;
    count = value;
    return true;
  }

  bool readConsoleInput(ConsoleHandle input, InputRecord* records, std::uint32_t length,
                        std::uint32_t& read) override {
    std::vector<INPUT_RECORD> raw(length);
    DWORD count = 0;
    if (length == 0 || !ReadConsoleInputA(toHandle(input), raw.data(), length, &count)) return false;
    read = count < length ? count : length;
    for (std::uint32_t i = 0; i < read; ++i) {
      const INPUT_RECORD& from = raw[i];
      InputRecord& to = records[i];
      to = InputRecord{};
      to.eventType = from.EventType;
      if (from.EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& key = from.Event.KeyEvent;
        to.key.keyDown = key.bKeyDown != FALSE;
        to.key.repeatCount = key.wRepeatCount;
        to.key.virtualKeyCode = key.wVirtualKeyCode;
        to.key.virtualScanCode = key.wVirtualScanCode;
        to.key.asciiChar = key.uChar.AsciiChar;
        to.key.controlKeyState = key.dwControlKeyState;
      } else if (from.EventType == MOUSE_EVENT) {
        const MOUSE_EVENT_RECORD& mouse = from.Event.MouseEvent;
        to.mouse.position = fromCoord(mouse.dwMousePosition);
        to.mouse.buttonState = mouse.dwButtonState;
        to.mouse.controlKeyState = mouse.dwControlKeyState;
        to.mouse.eventFlags = mouse.dwEventFlags;
      }
    }
    return true;
  }

  bool flushConsoleInputBuffer(ConsoleHandle input) override { return FlushConsoleInputBuffer(toHandle(input)); }

  bool readConsoleLine(ConsoleHandle input, std::string& utf8, std::size_t limit) override {
    // Not under the lock: the read waits for the player, and Ctrl+C must be
    // able to put the console back meanwhile.
    std::wstring line;
    wchar_t buffer[256];
    for (;;) {
      DWORD count = 0;
      if (!ReadConsoleW(toHandle(input), buffer, 256, &count, nullptr)) return !line.empty() && finish(line, utf8, limit);
      if (count == 0) return !line.empty() && finish(line, utf8, limit);
      if (count > 256) count = 256;
      const std::wstring_view chunk(buffer, count);
      const std::size_t end = chunk.find(L'\n');
      // Keep a bounded line; the rest of a very long one is read and dropped.
      if (line.size() < limit) line.append(chunk.substr(0, std::min(end, limit - line.size())));
      if (end != std::wstring_view::npos) return finish(line, utf8, limit);
    }
  }

  void armRestore(const ConsoleRestore& restore) override {
    Locked lock;
    gStop.restore = restore;
    gStop.armed = !gStop.stopped;
  }

  void disarmRestore() override {
    Locked lock;
    gStop.armed = false;
  }

 private:
  // The typed line as UTF-8, without its line end, cut to `limit` bytes at a
  // character boundary.
  static bool finish(std::wstring& line, std::string& utf8, std::size_t limit) {
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
    utf8 = toUtf8(line.data(), static_cast<int>(line.size()));
    if (utf8.size() > limit) {
      std::size_t cut = limit;
      while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
      utf8.resize(cut);
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<Host> openHost() { return std::make_unique<Win32ConsoleApi>(); }

}  // namespace kotodama
