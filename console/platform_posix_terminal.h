#pragma once
// The terminal on POSIX systems while the game holds it
// (platform_posix_terminal.cpp), as the rest of the POSIX platform
// (platform_posix.cpp) uses it. Private to the two.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace kotodama {

// Takes the terminal over: the signal handlers, raw input when standard
// input is a terminal, the screen when standard output is one (only as the
// terminal's foreground process group: in the background the game waits).
void holdTerminal(bool hasInput, bool hasOutput);

// Gives the terminal back for good. Async-signal-safe; runs at most once.
void leaveTerminal();

// After any continue (`fg`, kill -CONT, also after a stop that was not the
// game's own): the terminal is taken again and the screen drawn whole.
void resumeIfContinued();

// Standard output is a terminal that shows the game's screen; standard input
// and output are one that answers queries.
bool terminalShowsScreen();
bool terminalAnswersQueries();

// The keyboard protocol's flags are pushed: a restore pops them.
void setKeyboardFlagsPushed(bool pushed);

// True once after a resize or after the terminal was given back and taken
// again; forgetResize drops a resize not yet taken.
bool takeScreenChange();
void forgetResize();

// Reads what standard input holds, waiting up to `timeoutMs` for something:
// the bytes read, 0 for none yet, -1 once input has ended.
ssize_t readInput(char* buffer, std::size_t capacity, int timeoutMs);

// Writes all bytes to `fd`, waiting while it is full.
void writeAll(int fd, const char* bytes, std::size_t size);

// Milliseconds of the monotonic clock.
std::int64_t monotonicMs();

}  // namespace kotodama
