// Given to slots/slot_file.cpp in a MinGW-w64 build (CMakeLists.txt). The
// slot files use POSIX file calls; what the Windows C runtime lacks of them
// is given its Windows meaning here:
//  - O_NONBLOCK and O_NOCTTY guard against named pipes and terminals, which a
//    file name on Windows never is: no flag;
//  - O_CLOEXEC keeps the file out of child processes: _O_NOINHERIT;
//  - O_DIRECTORY opens a folder to flush it, which Windows cannot: no flag
//    (opening "." then fails and that flush is skipped, as the slots allow);
//  - fsync is _commit;
//  - rename does not replace an existing file on Windows: replacing the slot
//    file with its new copy is MoveFileExA with MOVEFILE_REPLACE_EXISTING.
// Every file of the game is opened in binary mode (binmode.o, CMakeLists.txt),
// so a record's bytes are never translated.
#pragma once
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_NOCTTY
#define O_NOCTTY 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC _O_NOINHERIT
#endif
#ifndef O_DIRECTORY
#define O_DIRECTORY 0
#endif
#ifdef __cplusplus
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
inline int fsync(int fd) { return _commit(fd); }
inline int replaceFile(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}
#endif
#endif
