// Given to console/display_text.cpp in an Emscripten build (CMakeLists.txt).
// Emscripten's C library knows the game's Shift-JIS as "SHIFT_JIS", not by
// the Windows code page's name, so that name is asked for instead.
#pragma once
#ifdef __EMSCRIPTEN__
#include <iconv.h>
#include <cstring>
inline iconv_t kotodamaIconvOpen(const char* to, const char* from) {
  auto name = [](const char* n) { return std::strcmp(n, "CP932") == 0 ? "SHIFT_JIS" : n; };
  return ::iconv_open(name(to), name(from));
}
#define iconv_open kotodamaIconvOpen
#endif
