// The platform for a Windows console: the console, joystick and sound calls
// of ConsoleApi handed to kernel32 and winmm, the clock, sleeping, and what
// Ctrl+C, Ctrl+Break and closing the window put back. The only file that
// speaks to Windows itself, but for the slot files' calls
// (slots/slot_storage_win32.cpp).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h:
#include <mmsystem.h>
#include <digitalv.h>
// The interface's own names, not the Windows macros of the same spelling.
#undef mciSendCommand

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "console/console_api.h"
#include "console/platform.h"

namespace kotodama {

namespace {

// The portable records and numbers are the Windows ones.
static_assert(sizeof(OSVERSIONINFOA) == sizeof(VersionInfo));
static_assert(VER_PLATFORM_WIN32_NT == kPlatformWin32Nt);
static_assert(STD_INPUT_HANDLE == kStdInputHandle && STD_OUTPUT_HANDLE == kStdOutputHandle);
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
static_assert(FORMAT_MESSAGE_ALLOCATE_BUFFER == kFormatMessageAllocateBuffer &&
              FORMAT_MESSAGE_IGNORE_INSERTS == kFormatMessageIgnoreInserts &&
              FORMAT_MESSAGE_FROM_SYSTEM == kFormatMessageFromSystem &&
              MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) == kLanguageUserDefault);
static_assert(JOYSTICKID1 == kJoystickId1 && JOYSTICKID2 == kJoystickId2 && JOYERR_NOERROR == kJoyErrNoError);
static_assert(MCI_PLAY == kMciPlay && MCI_STOP == kMciStop && MCI_NOTIFY == kMciNotify && MCI_WAIT == kMciWait &&
              MCI_FROM == kMciFrom && MCI_TO == kMciTo && MCI_DGV_PLAY_REPEAT == kMciDgvPlayRepeat);
// A header in the device table is the WAVEHDR the device was prepared with.
static_assert(sizeof(WAVEHDR) == sizeof(WaveHeader));
static_assert(offsetof(WAVEHDR, lpData) == offsetof(WaveHeader, data) &&
              offsetof(WAVEHDR, dwBufferLength) == offsetof(WaveHeader, bufferLength) &&
              offsetof(WAVEHDR, dwBytesRecorded) == offsetof(WaveHeader, bytesRecorded) &&
              offsetof(WAVEHDR, dwUser) == offsetof(WaveHeader, user) &&
              offsetof(WAVEHDR, dwFlags) == offsetof(WaveHeader, flags) &&
              offsetof(WAVEHDR, dwLoops) == offsetof(WaveHeader, loops) &&
              offsetof(WAVEHDR, lpNext) == offsetof(WaveHeader, next) &&
              offsetof(WAVEHDR, reserved) == offsetof(WaveHeader, reserved));

HANDLE toHandle(ConsoleHandle handle) { return reinterpret_cast<HANDLE>(handle); }
ConsoleHandle fromHandle(HANDLE handle) { return reinterpret_cast<ConsoleHandle>(handle); }
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

class Win32ConsoleApi final : public ConsoleApi {
 public:
  Win32ConsoleApi() {
    InitializeCriticalSection(&gStop.lock);
    SetConsoleCtrlHandler(onControl, TRUE);
    QueryPerformanceFrequency(&frequency_);
    if (frequency_.QuadPart <= 0) frequency_.QuadPart = 1000;
    timeBeginPeriod(1);  // waits of a few milliseconds, not of a 15.6 ms tick
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    consoleInput_ = input != INVALID_HANDLE_VALUE && input != nullptr && GetConsoleMode(input, &mode);
  }
  ~Win32ConsoleApi() override {
    timeEndPeriod(1);
    SetConsoleCtrlHandler(onControl, FALSE);
    DeleteCriticalSection(&gStop.lock);
  }
  Win32ConsoleApi(const Win32ConsoleApi&) = delete;
  Win32ConsoleApi& operator=(const Win32ConsoleApi&) = delete;

  std::int64_t now() override {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    const std::int64_t ticks = counter.QuadPart;
    const std::int64_t frequency = frequency_.QuadPart;
    return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
  }

  void waitForInput(std::int64_t deadline) override {
    const std::int64_t wait = deadline - now();
    if (wait <= 0) return;
    const DWORD timeout = static_cast<DWORD>(wait > 60'000 ? 60'000 : wait);
    if (consoleInput_) {
      WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), timeout);
    } else {
      Sleep(timeout);
    }
  }

  void sleepUntil(std::int64_t deadline) override {
    for (std::int64_t wait = deadline - now(); wait > 0; wait = deadline - now()) {
      Sleep(static_cast<DWORD>(wait > 60'000 ? 60'000 : wait));
    }
  }

  [[noreturn]] void exitProcess(int status) override {
    // The console has been given back by the Console; what is registered
    // with atexit runs as the process ends.
    timeEndPeriod(1);
    std::exit(status);
  }

  bool getVersionEx(VersionInfo& info) override {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = info.size;
#if defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)  // GetVersionExA is deprecated
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    if (info.size != sizeof version || !GetVersionExA(&version)) return false;
#if defined(_MSC_VER)
#pragma warning(pop)
#else
#pragma GCC diagnostic pop
#endif
    info.major = version.dwMajorVersion;
    info.minor = version.dwMinorVersion;
    info.build = version.dwBuildNumber;
    info.platformId = version.dwPlatformId;
    std::memcpy(info.servicePack, version.szCSDVersion, sizeof info.servicePack);
    info.servicePack[sizeof info.servicePack - 1] = '\0';
    return true;
  }

  ConsoleHandle getStdHandle(std::uint32_t which) override { return fromHandle(GetStdHandle(which)); }

  bool closeHandle(ConsoleHandle handle) override {
    Locked lock;
    return !gStop.stopped && CloseHandle(toHandle(handle));
  }

  std::uint32_t getLastError() override { return GetLastError(); }

  std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                              char** text) override {
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the
    // address of the allocated text.
    return FormatMessageA(flags, nullptr, messageId, languageId, reinterpret_cast<LPSTR>(text), 0, nullptr);
  }

  void localFree(char* text) override { LocalFree(text); }

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

  std::uint32_t joyGetPos(std::uint32_t joystickId, JoyInfo& info) override {
    JOYINFO reading{};
    const MMRESULT result = ::joyGetPos(joystickId, &reading);
    if (result == JOYERR_NOERROR) info = JoyInfo{reading.wXpos, reading.wYpos, reading.wZpos, reading.wButtons};
    return result;
  }

  std::uint32_t mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                               MciPlayParams* params) override {
    if (params == nullptr) return ::mciSendCommandA(deviceId, message, flags, 0);
    MCI_PLAY_PARMS play{params->callback, params->from, params->to};
    const MCIERROR result = ::mciSendCommandA(deviceId, message, flags, reinterpret_cast<DWORD_PTR>(&play));
    *params = MciPlayParams{play.dwCallback, play.dwFrom, play.dwTo};
    return result;
  }

  std::uint32_t waveOutReset(WaveOutHandle device) override {
    return ::waveOutReset(reinterpret_cast<HWAVEOUT>(device));
  }

  std::uint32_t waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) override {
    // The header is the WAVEHDR the device was prepared with (same layout,
    // checked above); only winmm reads it as one.
    return ::waveOutUnprepareHeader(reinterpret_cast<HWAVEOUT>(device), reinterpret_cast<LPWAVEHDR>(header), size);
  }

  std::uint32_t waveOutClose(WaveOutHandle device) override {
    return ::waveOutClose(reinterpret_cast<HWAVEOUT>(device));
  }

 private:
  LARGE_INTEGER frequency_{};
  bool consoleInput_ = false;

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
