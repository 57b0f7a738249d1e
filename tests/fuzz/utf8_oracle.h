#pragma once
// The fuzz targets' judge of UTF-8: glibc iconv, which takes no overlong
// forms, no surrogates and nothing past U+10FFFF.
#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kotodama {

// The code points of `utf8`, or nothing when it is not valid UTF-8.
inline std::optional<std::u32string> decodeUtf8(std::string_view utf8) {
  static const iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) __builtin_trap();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in(utf8);
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  std::string out(in.size() * 4 + 4, '\0');
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return std::nullopt;
  const std::size_t size = out.size() - outLeft;
  std::u32string points;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const auto byte = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(out[i + k])); };
    points += static_cast<char32_t>(byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24));
  }
  return points;
}

}  // namespace kotodama
