#include "characters/name_entry.h"

#include <cstring>
#include <string>

#include "console/console.h"

namespace kotodama {

int enterName(Console& console, char (&name)[12], int /*forOpponent*/) {
  for (;;) {
    const std::string token = console.readToken(kNameLimit);
    if (token.size() <= static_cast<std::size_t>(kNameLimit)) {
      std::memcpy(name, token.data(), token.size());
      name[token.size()] = '\0';
      return static_cast<int>(token.size());
    }
  }
}

}  // namespace kotodama
