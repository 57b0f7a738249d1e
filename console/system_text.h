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

// Code page 932, one character at a time.
class CodePage932 {
 public:
  CodePage932();
  ~CodePage932();
  CodePage932(const CodePage932&) = delete;
  CodePage932& operator=(const CodePage932&) = delete;

  // One character of code page 932 (one or two bytes): its UTF-8 appended
  // to `out`; false when the bytes hold none.
  bool toUtf8(const char* sjis, std::size_t size, std::string& out);

  // One Unicode character: its code appended to `out`; false, appending
  // nothing, when code page 932 cannot hold it.
  bool fromUnicode(char32_t cp, std::string& out);

 private:
  struct System;
  std::unique_ptr<System> system_;
};

// Columns a terminal gives a character: 0, 1 or 2; -1 for characters that
// have none.
int terminalColumns(char32_t cp);

}  // namespace kotodama
