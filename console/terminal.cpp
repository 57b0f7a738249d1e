#include "console/terminal.h"

#include <algorithm>
#include <cstdio>

namespace kotodama {

std::string sizeNotice(TerminalSize size) {
  char notice[200];
  const int n = std::snprintf(notice, sizeof notice,
                              "\033[0m\033[H\033[2JThis game needs a terminal of %d x %d cells; this one is %d x %d."
                              "\r\nPlease make the window larger (Ctrl+C leaves).",
                              kMinColumns, kMinRows, size.columns, size.rows);
  return std::string(notice, static_cast<std::size_t>(std::max(n, 0)));
}

}  // namespace kotodama
