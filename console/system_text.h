#pragma once
// Code page 932 and the columns of a character, as the system the game runs
// on knows them: each platform gives its own (platform_posix_text.cpp: iconv
// and wcwidth, also in the web page, where a table made from the build
// machine's iconv stands in for code page 932; platform_win32_text.cpp: the
// code page functions). The display text builds its tables through these.
#include <cstddef>
#include <memory>
#include <string>

namespace kotodama {

// One character of code page 932 (one or two bytes) to UTF-8.
class ShiftJisDecoder {
 public:
  ShiftJisDecoder();
  ~ShiftJisDecoder();
  ShiftJisDecoder(const ShiftJisDecoder&) = delete;
  ShiftJisDecoder& operator=(const ShiftJisDecoder&) = delete;

  // Appends the character's UTF-8 to `out`; false when the bytes hold none.
  bool convert(const char* sjis, std::size_t size, std::string& out);

 private:
  struct System;
  std::unique_ptr<System> system_;
};

// One Unicode character to code page 932.
class ShiftJisEncoder {
 public:
  ShiftJisEncoder();
  ~ShiftJisEncoder();
  ShiftJisEncoder(const ShiftJisEncoder&) = delete;
  ShiftJisEncoder& operator=(const ShiftJisEncoder&) = delete;

  // Appends the character's code to `out`; false, appending nothing, when
  // code page 932 cannot hold it.
  bool convert(char32_t cp, std::string& out);

 private:
  struct System;
  std::unique_ptr<System> system_;
};

// Columns a terminal gives a character: 0, 1 or 2; -1 for characters that
// have none.
int terminalColumns(char32_t cp);

}  // namespace kotodama
