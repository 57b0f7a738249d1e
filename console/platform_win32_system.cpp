// The Windows platform's system calls: the clock (the performance counter,
// with waits of a millisecond's precision), sleeping, leaving, the version,
// handles and messages of kernel32, and winmm's joysticks and sounds.
#include "console/platform_win32.h"
// After windows.h:
#include <mmsystem.h>
#include <digitalv.h>
// The interface's own names, not the Windows macros of the same spelling.
#undef mciSendCommand

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kotodama {

// The portable records and numbers are the Windows ones.
static_assert(sizeof(OSVERSIONINFOA) == sizeof(VersionInfo));
static_assert(VER_PLATFORM_WIN32_NT == kPlatformWin32Nt);
static_assert(STD_INPUT_HANDLE == kStdInputHandle && STD_OUTPUT_HANDLE == kStdOutputHandle);
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

Win32System::Win32System() {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  if (frequency.QuadPart > 0) frequency_ = frequency.QuadPart;
  timeBeginPeriod(1);  // waits of a few milliseconds, not of a 15.6 ms tick
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  consoleInput_ = input != INVALID_HANDLE_VALUE && input != nullptr && GetConsoleMode(input, &mode);
}

Win32System::~Win32System() { timeEndPeriod(1); }

std::int64_t Win32System::now() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  const std::int64_t ticks = counter.QuadPart;
  const std::int64_t frequency = frequency_;
  return ticks / frequency * 1000 + ticks % frequency * 1000 / frequency;
}

void Win32System::waitForInput(std::int64_t deadline) {
  const std::int64_t wait = deadline - now();
  if (wait <= 0) return;
  const DWORD timeout = static_cast<DWORD>(wait > 60'000 ? 60'000 : wait);
  if (consoleInput_) {
    WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), timeout);
  } else {
    Sleep(timeout);
  }
}

void Win32System::sleepUntil(std::int64_t deadline) {
  for (std::int64_t wait = deadline - now(); wait > 0; wait = deadline - now()) {
    Sleep(static_cast<DWORD>(wait > 60'000 ? 60'000 : wait));
  }
}

void Win32System::exitProcess(int status) {
  // The console has been given back by the Console; what is registered
  // with atexit runs as the process ends.
  timeEndPeriod(1);
  std::exit(status);
}

bool Win32System::getVersionEx(VersionInfo& info) {
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

ConsoleHandle Win32System::getStdHandle(std::uint32_t which) { return reinterpret_cast<ConsoleHandle>(GetStdHandle(which)); }

std::uint32_t Win32System::getLastError() { return GetLastError(); }

std::uint32_t Win32System::formatMessage(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                            char** text) {
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the
  // address of the allocated text.
  return FormatMessageA(flags, nullptr, messageId, languageId, reinterpret_cast<LPSTR>(text), 0, nullptr);
}

void Win32System::localFree(char* text) { LocalFree(text); }

std::uint32_t Win32System::joyGetPos(std::uint32_t joystickId, JoyInfo& info) {
  JOYINFO reading{};
  const MMRESULT result = ::joyGetPos(joystickId, &reading);
  if (result == JOYERR_NOERROR) info = JoyInfo{reading.wXpos, reading.wYpos, reading.wZpos, reading.wButtons};
  return result;
}

std::uint32_t Win32System::mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                             MciPlayParams* params) {
  if (params == nullptr) return ::mciSendCommandA(deviceId, message, flags, 0);
  MCI_PLAY_PARMS play{params->callback, params->from, params->to};
  const MCIERROR result = ::mciSendCommandA(deviceId, message, flags, reinterpret_cast<DWORD_PTR>(&play));
  *params = MciPlayParams{play.dwCallback, play.dwFrom, play.dwTo};
  return result;
}

std::uint32_t Win32System::waveOutReset(WaveOutHandle device) {
  return ::waveOutReset(reinterpret_cast<HWAVEOUT>(device));
}

std::uint32_t Win32System::waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) {
  // The header is the WAVEHDR the device was prepared with (same layout,
  // checked above); only winmm reads it as one.
  return ::waveOutUnprepareHeader(reinterpret_cast<HWAVEOUT>(device), reinterpret_cast<LPWAVEHDR>(header), size);
}

std::uint32_t Win32System::waveOutClose(WaveOutHandle device) {
  return ::waveOutClose(reinterpret_cast<HWAVEOUT>(device));
}

}  // namespace kotodama
