#pragma once
// UTF-8 one character at a time, and the columns of a character by its East
// Asian width alone: what the display text and every platform's text
// conversion share.
#include <cstddef>
#include <string>
#include <string_view>

namespace kotodama {

// Decodes one well-formed UTF-8 character at the start of `s` (no overlong
// forms, no surrogates, nothing past U+10FFFF). Returns its length, or 0 when
// the first byte does not start one.
std::size_t decodeUtf8(std::string_view s, char32_t& cp);

// Appends the UTF-8 form of `cp` (at most U+10FFFF).
void appendUtf8(std::string& out, char32_t cp);

// Columns by the East Asian width classes alone, for where there is no
// wcwidth to ask: wide characters two, ambiguous ones one; -1 for control
// characters.
int eastAsianColumns(char32_t cp);

}  // namespace kotodama
