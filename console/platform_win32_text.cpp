// Text on Windows: code page 932 through the system's code page functions,
// and the columns of a character by its East Asian width (Windows has no
// wcwidth to ask).
#include "console/platform_win32.h"

#include "console/system_text.h"
#include "console/utf8.h"

namespace kotodama {

int terminalColumns(char32_t cp) { return eastAsianColumns(cp); }

struct CodePage932::System {};
CodePage932::CodePage932() = default;
CodePage932::~CodePage932() = default;

bool CodePage932::toUtf8(const char* sjis, std::size_t size, std::string& out) {
  wchar_t wide[4];
  const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, sjis, static_cast<int>(size), wide, 4);
  if (n <= 0) return false;
  for (int i = 0; i < n; ++i) {
    char32_t cp = static_cast<char16_t>(wide[i]);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00u);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      return false;
    }
    appendUtf8(out, cp);
  }
  return true;
}

bool CodePage932::fromUnicode(char32_t cp, std::string& out) {
  wchar_t wide[2];
  int n = 1;
  if (cp >= 0x10000) {
    wide[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    n = 2;
  } else {
    wide[0] = static_cast<wchar_t>(cp);
  }
  char sjis[8];
  BOOL usedDefault = FALSE;
  const int size = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide, n, sjis, sizeof sjis, nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  out.append(sjis, static_cast<std::size_t>(size));
  return true;
}

}  // namespace kotodama
