// Writes the code page 932 table of a web build (CMakeLists.txt): run on the
// build machine, it asks the C library's iconv for every double-byte code and
// every Unicode character of the basic plane, so the page converts text
// exactly as the terminal build does there. Output: two C++ arrays, the
// double-byte codes with their characters (sorted by code) and the characters
// with their codes (sorted by character), into the file named first.
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// Converts `in` from one encoding to the other; false when iconv refuses it.
bool convert(iconv_t cd, const std::string& in, std::string& out) {
  char input[8], output[16];
  for (std::size_t i = 0; i < in.size(); ++i) input[i] = in[i];
  char* inPtr = input;
  char* outPtr = output;
  std::size_t inLeft = in.size(), outLeft = sizeof output;
  const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (result == static_cast<std::size_t>(-1) || inLeft != 0) return false;
  out.assign(output, sizeof output - outLeft);
  return true;
}

std::uint32_t bigEndian(const std::string& bytes) {
  std::uint32_t value = 0;
  for (unsigned char b : bytes) value = value << 8 | b;
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::freopen(argv[1], "w", stdout) == nullptr) return 1;
  const iconv_t decode = iconv_open("UTF-32BE", "CP932");
  const iconv_t encode = iconv_open("CP932", "UTF-32BE");
  if (decode == reinterpret_cast<iconv_t>(-1) || encode == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "cp932_table: this C library's iconv does not know CP932\n");
    return 1;
  }
  std::string out;
  int count = 0;
  std::printf("// Made by cmake/cp932_table.cpp from the build machine's iconv.\n");
  std::printf("constexpr std::uint32_t kCp932Pairs[][2] = {\n");
  for (unsigned code = 0x8100; code <= 0xFCFF; ++code) {
    const std::string bytes{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    if (!convert(decode, bytes, out) || out.size() != 4) continue;
    std::printf("{0x%04X,0x%04X},%s", code, bigEndian(out), ++count % 6 == 0 ? "\n" : "");
  }
  std::printf("};\nconstexpr std::uint32_t kCp932Codes[][2] = {\n");
  count = 0;
  for (std::uint32_t cp = 0x80; cp <= 0xFFFF; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string utf32{'\0', '\0', static_cast<char>(cp >> 8), static_cast<char>(cp & 0xFF)};
    if (!convert(encode, utf32, out) || out.empty() || out.size() > 2) continue;
    std::printf("{0x%04X,0x%04X},%s", cp, bigEndian(out), ++count % 6 == 0 ? "\n" : "");
  }
  std::printf("};\n");
  return 0;
}
