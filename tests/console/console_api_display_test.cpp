// The game's Shift-JIS text converts the same on every platform: through
// iconv on Linux, through MultiByteToWideChar / WideCharToMultiByte with code
// page 932 on Windows (this file is part of the Windows tests too). The
// expected texts are written out as code points, not by either converter.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "console/display_text.h"

namespace kotodama {
namespace {

TEST(DisplayConversionEverywhere, CodePage932MeansTheSameEverywhere) {
  const std::pair<const char*, const char*> pairs[] = {  // Shift-JIS, UTF-8
      {"\x97\x45\x8e\xd2", "\xe5\x8b\x87\xe8\x80\x85"},  // 勇者
      {"\x81\xbc\x81\xbd", "\xe2\x8a\x82\xe2\x8a\x83"},  // ⊂⊃, ambiguous width
      {"\x81\x50", "\xef\xbf\xa3"},                      // ￣ U+FFE3
      {"\x81\x60", "\xef\xbd\x9e"},                      // code page 932's wave dash is U+FF5E
      {"\x81\x5f", "\xef\xbc\xbc"},                      // ＼ U+FF3C
      {"\x87\x40", "\xe2\x91\xa0"},                      // ① from the NEC row
      {"\xb1\xdf", "\xef\xbd\xb1\xef\xbe\x9f"},          // half-width ｱﾟ
      {"\\~", "\\~"},                                    // ASCII stays ASCII
  };
  for (const auto& [sjis, utf8] : pairs) {
    EXPECT_EQ(shiftJisToUtf8(sjis), utf8);
    EXPECT_EQ(utf8ToShiftJis(utf8), sjis) << utf8;
  }
  // What code page 932 cannot hold becomes a question mark.
  EXPECT_EQ(shiftJisToUtf8("\x85\x40"), "?");                       // an unassigned code
  EXPECT_EQ(utf8ToShiftJis("a\xc3\xa9z"), "a?z");                   // é has no best fit here
  EXPECT_EQ(utf8ToShiftJis("\xf0\x9f\x98\x80"), "?");               // outside the BMP
  EXPECT_EQ(utf8ToShiftJis("\xe3\x81"), "??");                      // cut UTF-8, byte by byte
}

}  // namespace
}  // namespace kotodama
