#pragma once
// The Windows platform's system calls (platform_win32_system.cpp): the clock,
// sleeping and leaving, the version, handles and messages of kernel32, and
// winmm's joysticks and sounds. The console's own calls and what a stop puts
// back complete it in platform_win32.cpp. Private to the Windows platform's
// files, which include windows.h through it, without the min and max macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>

#include "console/console_api.h"

namespace kotodama {

class Win32System : public ConsoleApi {
 public:
  Win32System();
  ~Win32System() override;

  std::int64_t now() override;
  void waitForInput(std::int64_t deadline) override;
  void sleepUntil(std::int64_t deadline) override;
  [[noreturn]] void exitProcess(int status) override;

  bool getVersionEx(VersionInfo& info) override;
  ConsoleHandle getStdHandle(std::uint32_t which) override;
  std::uint32_t getLastError() override;
  std::uint32_t formatMessage(std::uint32_t flags, std::uint32_t messageId, std::uint32_t languageId,
                              char** text) override;
  void localFree(char* text) override;

  std::uint32_t joyGetPos(std::uint32_t joystickId, JoyInfo& info) override;
  std::uint32_t mciSendCommand(std::uint32_t deviceId, std::uint32_t message, std::uintptr_t flags,
                               MciPlayParams* params) override;
  std::uint32_t waveOutReset(WaveOutHandle device) override;
  std::uint32_t waveOutUnprepareHeader(WaveOutHandle device, WaveHeader* header, std::uint32_t size) override;
  std::uint32_t waveOutClose(WaveOutHandle device) override;

 private:
  std::int64_t frequency_ = 1000;  // of the performance counter, in counts a second
  bool consoleInput_ = false;      // standard input is a console: waits end when input arrives
};

}  // namespace kotodama
