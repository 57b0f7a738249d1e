#pragma once
// Fighter records and slot files as the tests write and read them.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "characters/character.h"
#include "slots/slot_file.h"

namespace kotodama::test {

// A record by hand: the name field is these bytes, then zeros.
inline Character fighter(std::string_view name, int hp, int attack, int defense, int speed) {
  Character c{{}, hp, attack, defense, speed};
  name.copy(c.name, sizeof c.name);
  return c;
}

// The fighter a typed name gives (the name's bytes, then zeros).
inline Character named(std::string_view name) {
  Character c{};
  name.copy(c.name, kNameLimit);
  computeStats(c, static_cast<int>(std::min(name.size(), std::size_t{kNameLimit})));
  return c;
}

// The 28 bytes of a slot file holding the record.
inline std::string bytesOf(const Character& c) {
  const auto bytes = encodeSlot(c);
  return {bytes.begin(), bytes.end()};
}

inline void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The file's bytes, or nothing when it is not a regular file.
inline std::optional<std::string> readFile(const std::string& path) {
  if (!std::filesystem::is_regular_file(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string trimmed(std::string s) { return s.erase(s.find_last_not_of(' ') + 1); }

}  // namespace kotodama::test
