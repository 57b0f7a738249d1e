#include "console/input_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kotodama {
namespace {

// One event as a short line, so a table can spell out what it expects:
// "key 38 +S", "key 65 'a'", "key 65 +C up rel", "text '\xe3\x81\x82'",
// "mouse 3,4 b1 wheel".
std::string show(const InputEvent& e) {
  std::string s;
  auto quoted = [](const std::string& text) {
    std::string q = "'";
    for (unsigned char c : text) {
      if (c >= 0x20 && c < 0x7F) {
        q += static_cast<char>(c);
      } else {
        static const char kHex[] = "0123456789abcdef";
        q += "\\x";
        q += kHex[c >> 4];
        q += kHex[c & 15];
      }
    }
    return q + "'";
  };
  auto modifiers = [&] {
    if (e.modifiers & kModShift) s += " +S";
    if (e.modifiers & kModAlt) s += " +A";
    if (e.modifiers & kModCtrl) s += " +C";
  };
  switch (e.kind) {
    case EventKind::Key:
      s = "key " + std::to_string(e.vk);
      modifiers();
      if (!e.pressed) s += " up";
      if (e.reportsRelease) s += " rel";
      if (!e.text.empty()) s += " " + quoted(e.text);
      break;
    case EventKind::Text:
      s = "text " + quoted(e.text);
      if (e.vk != 0) s += " vk" + std::to_string(e.vk);
      modifiers();
      break;
    case EventKind::Mouse:
      s = "mouse " + std::to_string(e.x) + "," + std::to_string(e.y) + " b" +
          std::to_string(e.buttons);
      if (e.wheel) s += " wheel";
      if (e.modifiers != 0 || !e.text.empty() || e.vk != 0) s += " ?";
      break;
  }
  return s;
}

std::string show(const std::vector<InputEvent>& events) {
  std::string s;
  for (const InputEvent& e : events) {
    if (!s.empty()) s += " | ";
    s += show(e);
  }
  return s;
}

// Feeds `bytes` in one piece at time 0 (nothing expired).
std::string decode(const std::string& bytes) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed(bytes.data(), bytes.size(), 0, out);
  return show(out);
}

// Feeds `bytes`, then lets the timeout pass.
std::string decodeAndExpire(const std::string& bytes) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed(bytes.data(), bytes.size(), 0, out);
  d.expire(InputDecoder::kEscapeTimeoutMs, out);
  EXPECT_EQ(d.pendingDeadline(), -1) << "still pending after expire";
  return show(out);
}

struct Case {
  const char* name;
  std::string input;
  std::string expected;
};

void checkTable(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(decode(c.input), c.expected) << c.name;
}

void checkTableExpired(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(decodeAndExpire(c.input), c.expected) << c.name;
}

const std::string ESC = "\x1b";
const std::string CSI = "\x1b[";
const std::string SS3 = "\x1bO";

TEST(InputDecoderKeys, SingleBytes) {
  checkTable({
      {"lower letter", "a", "key 65 'a'"},
      {"last lower letter", "z", "key 90 'z'"},
      {"upper letter has Shift", "Q", "key 81 +S 'Q'"},
      {"digits", "09", "key 48 '0' | key 57 '9'"},
      {"space", " ", "key 32 ' '"},
      {"tab", "\t", "key 9 '\\x09'"},
      {"CR", "\r", "key 13"},
      {"LF", "\n", "key 13"},
      {"CR LF is one Enter", "\r\n", "key 13"},
      {"LF CR is two", "\n\r", "key 13 | key 13"},
      {"CR CR LF", "\r\r\n", "key 13 | key 13"},
      {"CR LF LF", "\r\n\n", "key 13 | key 13"},
      {"DEL is Backspace", "\x7f", "key 8"},
      {"BS is Backspace", "\x08", "key 8"},
      {"Ctrl+A", "\x01", "key 65 +C"},
      {"Ctrl+G", "\x07", "key 71 +C"},
      {"Ctrl+K", "\x0b", "key 75 +C"},
      {"Ctrl+Z", "\x1a", "key 90 +C"},
      {"punctuation is text", ",.~!", "text ',' | text '.' | text '~' | text '!'"},
      {"NUL and FS..US dropped", std::string("\0\x1c\x1d\x1e\x1f", 5) + "a", "key 65 'a'"},
  });
}

TEST(InputDecoderKeys, CrLfSplitAcrossFeeds) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed("\r", 1, 100, out);
  d.feed("\n", 1, 101, out);
  EXPECT_EQ(show(out), "key 13");
  // An LF long after the CR is an Enter of its own (Ctrl+J).
  out.clear();
  d.feed("\r", 1, 200, out);
  d.feed("\n", 1, 900, out);
  EXPECT_EQ(show(out), "key 13 | key 13");
  EXPECT_EQ(d.pendingDeadline(), -1);
}

TEST(InputDecoderKeys, CursorAndEditingKeys) {
  checkTable({
      {"CSI arrows", CSI + "A" + CSI + "B" + CSI + "C" + CSI + "D",
       "key 38 | key 40 | key 39 | key 37"},
      {"SS3 arrows", SS3 + "A" + SS3 + "B" + SS3 + "C" + SS3 + "D",
       "key 38 | key 40 | key 39 | key 37"},
      {"Home/End letters", CSI + "H" + CSI + "F" + SS3 + "H" + SS3 + "F",
       "key 36 | key 35 | key 36 | key 35"},
      {"Home/End tilde", CSI + "1~" + CSI + "4~" + CSI + "7~" + CSI + "8~",
       "key 36 | key 35 | key 36 | key 35"},
      {"Insert Delete PageUp PageDown", CSI + "2~" + CSI + "3~" + CSI + "5~" + CSI + "6~",
       "key 45 | key 46 | key 33 | key 34"},
      {"Shift+Tab", CSI + "Z", "key 9 +S '\\x09'"},
  });
}

TEST(InputDecoderKeys, FunctionKeys) {
  checkTable({
      {"SS3 F1..F4", SS3 + "P" + SS3 + "Q" + SS3 + "R" + SS3 + "S",
       "key 112 | key 113 | key 114 | key 115"},
      {"F1..F5 tilde", CSI + "11~" + CSI + "12~" + CSI + "13~" + CSI + "14~" + CSI + "15~",
       "key 112 | key 113 | key 114 | key 115 | key 116"},
      {"F6..F10", CSI + "17~" + CSI + "18~" + CSI + "19~" + CSI + "20~" + CSI + "21~",
       "key 117 | key 118 | key 119 | key 120 | key 121"},
      {"F11 F12", CSI + "23~" + CSI + "24~", "key 122 | key 123"},
      {"gaps in the numbering are no keys", CSI + "16~" + CSI + "22~" + CSI + "25~" + CSI + "0~",
       ""},
      {"Linux console F1..F5", CSI + "[A" + CSI + "[B" + CSI + "[C" + CSI + "[D" + CSI + "[E",
       "key 112 | key 113 | key 114 | key 115 | key 116"},
  });
}

TEST(InputDecoderKeys, XtermModifiers) {
  checkTable({
      {"Shift+Up", CSI + "1;2A", "key 38 +S"},
      {"Alt+Down", CSI + "1;3B", "key 40 +A"},
      {"Shift+Alt+Right", CSI + "1;4C", "key 39 +S +A"},
      {"Ctrl+Left", CSI + "1;5D", "key 37 +C"},
      {"Shift+Alt+Ctrl+Up", CSI + "1;8A", "key 38 +S +A +C"},
      {"Meta bit is not ours", CSI + "1;9A", "key 38"},
      {"modifier 1 means none", CSI + "1;1A", "key 38"},
      {"empty first parameter", CSI + ";5A", "key 38 +C"},
      {"Ctrl+Home", CSI + "1;5H", "key 36 +C"},
      {"Shift+End", CSI + "1;2F", "key 35 +S"},
      {"Ctrl+Delete", CSI + "3;5~", "key 46 +C"},
      {"Shift+PageUp", CSI + "5;2~", "key 33 +S"},
      {"Ctrl+F5", CSI + "15;5~", "key 116 +C"},
      {"Alt+F12", CSI + "24;3~", "key 123 +A"},
      {"Shift+F1 CSI form", CSI + "1;2P", "key 112 +S"},
      {"Ctrl+F4 CSI form", CSI + "1;5S", "key 115 +C"},
      {"SS3 with modifier alone", SS3 + "5A", "key 38 +C"},
      {"SS3 with 1;m", SS3 + "1;2P", "key 112 +S"},
      {"arrow with another first parameter is no key", CSI + "2;5A", ""},
      {"three parameters is no key", CSI + "1;5;1A", ""},
  });
}

TEST(InputDecoderKeys, CursorPositionAnswerIsNoF3) {
  // CSI row;col R answers a cursor position query; it must not read as Shift+F3.
  checkTable({{"CPR", CSI + "1;2R" + CSI + "12;40R" + "x", "key 88 'x'"}});
}

TEST(InputDecoderKeys, AltPrefix) {
  checkTable({
      {"Alt+a", ESC + "a", "key 65 +A 'a'"},
      {"Alt+Shift+a", ESC + "A", "key 65 +S +A 'A'"},
      {"Alt+digit", ESC + "7", "key 55 +A '7'"},
      {"Alt+space", ESC + " ", "key 32 +A ' '"},
      {"Alt+punctuation", ESC + ",", "text ',' +A"},
      {"Alt+Backspace", ESC + "\x7f", "key 8 +A"},
      {"Alt+Enter", ESC + "\r", "key 13 +A"},
      {"Alt+Ctrl+B", ESC + "\x02", "key 66 +A +C"},
      {"only one key takes the Alt", ESC + "ab", "key 65 +A 'a' | key 66 'b'"},
      {"ESC before a dropped byte is Escape", ESC + std::string(1, '\0') + "a",
       "key 27 | key 65 'a'"},
      {"ESC before UTF-8 is Escape", ESC + "\xc3\xa9", "key 27 | text '\\xc3\\xa9'"},
  });
}

TEST(InputDecoderEscape, LoneEscapeOnlyAfterTimeout) {
  InputDecoder d;
  std::vector<InputEvent> out;
  EXPECT_EQ(d.pendingDeadline(), -1);
  d.feed("\x1b", 1, 1000, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(d.pendingDeadline(), 1000 + InputDecoder::kEscapeTimeoutMs);
  d.expire(1000 + InputDecoder::kEscapeTimeoutMs - 1, out);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(d.pendingDeadline(), 1000 + InputDecoder::kEscapeTimeoutMs);
  d.expire(1000 + InputDecoder::kEscapeTimeoutMs, out);
  ASSERT_EQ(show(out), "key 27");
  EXPECT_EQ(out[0].time, 1000);
  EXPECT_EQ(d.pendingDeadline(), -1);
  d.expire(5000, out);
  EXPECT_EQ(out.size(), 1u);
}

TEST(InputDecoderEscape, EscEscIsEscapeThenPending) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed("\x1b", 1, 10, out);
  d.feed("\x1b", 1, 20, out);
  ASSERT_EQ(show(out), "key 27");
  EXPECT_EQ(out[0].time, 10);
  EXPECT_EQ(d.pendingDeadline(), 20 + InputDecoder::kEscapeTimeoutMs);
  d.feed("[A", 2, 25, out);
  ASSERT_EQ(show(out), "key 27 | key 38");
  EXPECT_EQ(out[1].time, 20);
  EXPECT_EQ(d.pendingDeadline(), -1);
}

TEST(InputDecoderEscape, AltKeyInLaterFeedBeforeExpire) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed("\x1b", 1, 10, out);
  d.feed("x", 1, 25, out);
  ASSERT_EQ(show(out), "key 88 +A 'x'");
  EXPECT_EQ(out[0].time, 10);
}

TEST(InputDecoderEscape, ArrowSplitAtEveryByteIsOneUp) {
  const std::string up = CSI + "A";
  for (std::size_t cut1 = 0; cut1 <= up.size(); ++cut1) {
    for (std::size_t cut2 = cut1; cut2 <= up.size(); ++cut2) {
      InputDecoder d;
      std::vector<InputEvent> out;
      d.feed(up.data(), cut1, 100, out);
      d.expire(110, out);
      d.feed(up.data() + cut1, cut2 - cut1, 115, out);
      d.expire(120, out);
      d.feed(up.data() + cut2, up.size() - cut2, 125, out);
      d.expire(129, out);
      ASSERT_EQ(show(out), "key 38") << cut1 << "," << cut2;
      EXPECT_EQ(out[0].time, cut1 > 0 ? 100 : cut2 > 0 ? 115 : 125);
      EXPECT_EQ(d.pendingDeadline(), -1);
    }
  }
}

TEST(InputDecoderEscape, ExpireDropsUnfinishedSequences) {
  checkTableExpired({
      {"ESC [", CSI, ""},
      {"ESC O", SS3, ""},
      {"CSI with parameters", CSI + "1;5", ""},
      {"X10 report short of bytes", CSI + "M !", ""},
      {"OSC", ESC + "]11;rgb:", ""},
      {"lone ESC", ESC, "key 27"},
      {"keys before it stay", "ab" + CSI + "1", "key 65 'a' | key 66 'b'"},
  });
  // After the drop the decoder reads afresh.
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed("\x1b[1;", 4, 0, out);
  d.expire(InputDecoder::kEscapeTimeoutMs, out);
  d.feed("\x1b[B", 3, 100, out);
  EXPECT_EQ(show(out), "key 40");
}

TEST(InputDecoderEscape, DeadlineCountsFromFirstPendingByte) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed("\x1b[", 2, 50, out);
  d.feed("1;", 2, 70, out);
  EXPECT_EQ(d.pendingDeadline(), 50 + InputDecoder::kEscapeTimeoutMs);
  d.expire(79, out);
  d.feed("5", 1, 79, out);
  d.expire(80, out);
  EXPECT_EQ(d.pendingDeadline(), -1);
  d.feed("A", 1, 81, out);
  EXPECT_EQ(show(out), "key 65 +S 'A'");
}

TEST(InputDecoderEscape, HugeTimesDoNotOverflow) {
  InputDecoder d;
  std::vector<InputEvent> out;
  const std::int64_t late = INT64_MAX - 5;
  d.feed("\x1b", 1, late, out);
  EXPECT_EQ(d.pendingDeadline(), INT64_MAX);
  d.expire(INT64_MAX, out);
  EXPECT_EQ(show(out), "key 27");
}

TEST(InputDecoderMouse, SgrReports) {
  checkTable({
      {"left press is 1-based", CSI + "<0;1;1M", "mouse 0,0 b1"},
      {"left press and release", CSI + "<0;10;5M" + CSI + "<0;10;5m", "mouse 9,4 b1 | mouse 9,4 b0"},
      {"middle", CSI + "<1;3;4M", "mouse 2,3 b4"},
      {"right", CSI + "<2;80;25M", "mouse 79,24 b2"},
      {"two buttons held, one let go",
       CSI + "<0;1;1M" + CSI + "<2;1;1M" + CSI + "<0;1;1m",
       "mouse 0,0 b1 | mouse 0,0 b3 | mouse 0,0 b2"},
      {"motion with left held", CSI + "<32;5;6M", "mouse 4,5 b1"},
      {"motion with right held", CSI + "<34;5;6M", "mouse 4,5 b2"},
      {"motion with none held ends a held press", CSI + "<0;1;1M" + CSI + "<35;2;2M",
       "mouse 0,0 b1 | mouse 1,1 b0"},
      {"wheel keeps the held buttons", CSI + "<0;1;1M" + CSI + "<64;3;3M" + CSI + "<65;4;4M",
       "mouse 0,0 b1 | mouse 2,2 b1 wheel | mouse 3,3 b1 wheel"},
      {"shift/alt/ctrl bits ignored", CSI + "<4;1;1M" + CSI + "<24;1;1M" + CSI + "<16;1;1m",
       "mouse 0,0 b1 | mouse 0,0 b1 | mouse 0,0 b0"},
      {"release code 3 lets all go", CSI + "<0;1;1M" + CSI + "<1;1;1M" + CSI + "<3;1;1m",
       "mouse 0,0 b1 | mouse 0,0 b5 | mouse 0,0 b0"},
      {"far cells are clamped", CSI + "<0;40000;9999999M", "mouse 32767,32767 b1"},
      {"exactly int16", CSI + "<0;32768;1M", "mouse 32767,0 b1"},
  });
}

TEST(InputDecoderMouse, SgrGarbageIsDropped) {
  checkTable({
      {"x of 0", CSI + "<0;0;5M" + "a", "key 65 'a'"},
      {"y of 0", CSI + "<0;5;0M" + "a", "key 65 'a'"},
      {"missing y", CSI + "<0;5M" + "a", "key 65 'a'"},
      {"empty x", CSI + "<0;;5M" + "a", "key 65 'a'"},
      {"four fields", CSI + "<0;5;5;5M" + "a", "key 65 'a'"},
      {"sub-parameters", CSI + "<0:1;5;5M" + "a", "key 65 'a'"},
      {"number too large", CSI + "<0;99999999999999999999;5M" + "a", "key 65 'a'"},
      {"extra buttons", CSI + "<128;5;5M" + "a", "key 65 'a'"},
      {"wrong final", CSI + "<0;5;5A" + "a", "key 65 'a'"},
  });
}

TEST(InputDecoderMouse, X10Reports) {
  checkTable({
      {"left press at the corner", CSI + "M !!", "mouse 0,0 b1"},
      {"press then release all", CSI + "M\"*%" + CSI + "M#*%", "mouse 9,4 b2 | mouse 9,4 b0"},
      {"motion with left", CSI + "M@+,", "mouse 10,11 b1"},
      {"wheel", CSI + "M !!" + CSI + "M`##", "mouse 0,0 b1 | mouse 2,2 b1 wheel"},
      {"largest cell", CSI + "M \xff\xff", "mouse 222,222 b1"},
      {"x of 0 dropped", CSI + "M  !" + "a", "key 65 'a'"},
      {"cut short by a control byte", CSI + "M !\r", "key 13"},
      {"cut short by ESC", CSI + "M !" + CSI + "A", "key 38"},
  });
}

TEST(InputDecoderMouse, HeldButtonsLastAcrossFeeds) {
  InputDecoder d;
  std::vector<InputEvent> out;
  const std::string press = CSI + "<0;3;4M";
  const std::string wheel = CSI + "<65;7;8M";
  const std::string release = CSI + "<0;7;8m";
  d.feed(press.data(), press.size(), 10, out);
  d.feed("abc", 3, 20, out);
  d.feed(wheel.data(), wheel.size(), 30, out);
  d.feed(release.data(), release.size(), 40, out);
  ASSERT_EQ(show(out),
            "mouse 2,3 b1 | key 65 'a' | key 66 'b' | key 67 'c' | mouse 6,7 b1 wheel | "
            "mouse 6,7 b0");
  EXPECT_EQ(out[4].time, 30);
}

TEST(InputDecoderText, Utf8Characters) {
  checkTable({
      {"two bytes", "\xc3\xa9", "text '\\xc3\\xa9'"},
      {"three bytes", "\xe3\x81\x82", "text '\\xe3\\x81\\x82'"},
      {"four bytes", "\xf0\x9f\x98\x80", "text '\\xf0\\x9f\\x98\\x80'"},
      {"lowest three-byte", "\xe0\xa0\x80", "text '\\xe0\\xa0\\x80'"},
      {"highest code point", "\xf4\x8f\xbf\xbf", "text '\\xf4\\x8f\\xbf\\xbf'"},
      {"mixed with ASCII", "a\xe3\x82\xa2z", "key 65 'a' | text '\\xe3\\x82\\xa2' | key 90 'z'"},
  });
}

TEST(InputDecoderText, IllFormedBytesStandAlone) {
  checkTable({
      {"lone continuation", "\x80", "text '\\x80'"},
      {"overlong two-byte", "\xc0\xaf", "text '\\xc0' | text '\\xaf'"},
      {"overlong three-byte", "\xe0\x80\x80", "text '\\xe0' | text '\\x80' | text '\\x80'"},
      {"surrogate", "\xed\xa0\x80", "text '\\xed' | text '\\xa0' | text '\\x80'"},
      {"past U+10FFFF", "\xf4\x90\x80\x80",
       "text '\\xf4' | text '\\x90' | text '\\x80' | text '\\x80'"},
      {"F5..FF", "\xf5\xff", "text '\\xf5' | text '\\xff'"},
      {"truncated before ASCII", "\xe3\x81" "a", "text '\\xe3' | text '\\x81' | key 65 'a'"},
      {"truncated before a new character", "\xe3\xe3\x81\x82",
       "text '\\xe3' | text '\\xe3\\x81\\x82'"},
      {"truncated before ESC sequence", "\xc3" + CSI + "A", "text '\\xc3' | key 38"},
      {"Shift-JIS bytes", "\x82\xa0\x88\x9f", "text '\\x82' | text '\\xa0' | text '\\x88' | text '\\x9f'"},
  });
  checkTableExpired({
      {"truncated at the end: bytes kept", "\xf0\x9f\x98", "text '\\xf0' | text '\\x9f' | text '\\x98'"},
  });
}

TEST(InputDecoderText, SplitCharacterWaitsForItsRest) {
  const std::string text = "\xf0\x9f\x98\x80";
  for (std::size_t cut = 1; cut < text.size(); ++cut) {
    InputDecoder d;
    std::vector<InputEvent> out;
    d.feed(text.data(), cut, 7, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(d.pendingDeadline(), 7 + InputDecoder::kEscapeTimeoutMs);
    d.expire(8, out);
    d.feed(text.data() + cut, text.size() - cut, 9, out);
    ASSERT_EQ(show(out), "text '\\xf0\\x9f\\x98\\x80'") << cut;
    EXPECT_EQ(out[0].time, 7);
    EXPECT_EQ(d.pendingDeadline(), -1);
  }
}

TEST(InputDecoderRecovery, JunkDoesNotEatTheNextKey) {
  checkTable({
      {"device attributes answer", CSI + "?62;22c" + "a", "key 65 'a'"},
      {"kitty flags answer", CSI + "?1u" + "a", "key 65 'a'"},
      {"secondary DA", CSI + ">41;360;0c" + CSI + "A", "key 38"},
      {"unknown CSI final", CSI + "5n" + CSI + "I" + CSI + "O" + "b", "key 66 'b'"},
      {"intermediate bytes", CSI + "2 q" + "b", "key 66 'b'"},
      {"unknown SS3", SS3 + "z" + "b", "key 66 'b'"},
      {"OSC ended by BEL", ESC + "]11;rgb:0000/0000/0000\x07" + "a", "key 65 'a'"},
      {"OSC ended by ST", ESC + "]11;rgb:ffff/ffff/ffff" + ESC + "\\" + "a", "key 65 'a'"},
      {"DCS ended by ST", ESC + "P1$r0m" + ESC + "\\" + CSI + "B", "key 40"},
      {"APC", ESC + "_Gi=1;OK" + ESC + "\\" + "a", "key 65 'a'"},
      {"unterminated OSC cut by a sequence", ESC + "]11;rgb" + CSI + "A", "key 38"},
      {"CSI cut by ESC", CSI + "1;" + CSI + "B", "key 40"},
      {"CSI cut by CR", CSI + "1;\r", "key 13"},
      {"CSI cut by UTF-8", CSI + "1\xc3\xa9", "text '\\xc3\\xa9'"},
      {"SS3 cut by ESC", SS3 + ESC + "OA", "key 38"},
      {"overlong CSI skipped to its final byte", CSI + std::string(200, '1') + "A" + "b",
       "key 66 'b'"},
      {"overlong CSI cut by ESC", CSI + std::string(200, ';') + CSI + "C", "key 39"},
      {"bracketed paste markers", CSI + "200~ab" + CSI + "201~", "key 65 'a' | key 66 'b'"},
      {"Linux console junk", CSI + "[z" + "a", "key 65 'a'"},
  });
}

TEST(InputDecoderRecovery, LongAnswersAreDroppedWhole) {
  // Longer than any key sequence, but none of it is typed.
  EXPECT_EQ(decode(ESC + "]52;c;" + std::string(3000, 'Q') + "\x07" + "a"), "key 65 'a'");
  EXPECT_EQ(decode(ESC + "P>|" + std::string(300, 'v') + ESC + "\\" + "a"), "key 65 'a'");
}

TEST(InputDecoderKitty, EventTypes) {
  checkTable({
      {"plain CSI u", CSI + "97u", "key 65 'a'"},
      {"press", CSI + "97;1:1u", "key 65 rel 'a'"},
      {"repeat is a press", CSI + "97;1:2u", "key 65 rel 'a'"},
      {"release", CSI + "97;1:3u", "key 65 up rel"},
      {"empty event type", CSI + "97;1:u", "key 65 rel 'a'"},
      {"unknown event type", CSI + "97;1:4u", ""},
      {"shift", CSI + "97;2u", "key 65 +S 'A'"},
      {"shift with alternates", CSI + "97:65;2:1u", "key 65 +S rel 'A'"},
      {"ctrl types nothing", CSI + "97;5u", "key 65 +C"},
      {"ctrl release", CSI + "99;5:3u", "key 67 +C up rel"},
      {"alt", CSI + "120;3u", "key 88 +A 'x'"},
      {"digit", CSI + "51;1:1u", "key 51 rel '3'"},
      {"Enter", CSI + "13u" + CSI + "13;1:3u", "key 13 | key 13 up rel"},
      {"Escape", CSI + "27u" + CSI + "27;1:3u", "key 27 | key 27 up rel"},
      {"Tab", CSI + "9;1:1u" + CSI + "9;1:3u", "key 9 rel '\\x09' | key 9 up rel"},
      {"Backspace", CSI + "127;1:3u", "key 8 up rel"},
      {"Space", CSI + "32;1:1u", "key 32 rel ' '"},
      {"punctuation press", CSI + "44;1:1u", "text ','"},
      {"punctuation release dropped", CSI + "44;1:3u", ""},
      {"text field ignored", CSI + "97;1:1;97u", "key 65 rel 'a'"},
      {"modifier key codes dropped", CSI + "57441;2:1u" + CSI + "57441;1:3u", ""},
      {"non-ASCII code dropped", CSI + "1072u", ""},
      {"no code", CSI + "u" + CSI + ";2u", ""},
  });
}

TEST(InputDecoderKitty, CursorAndTildeForms) {
  checkTable({
      {"Up press", CSI + "1;1:1A", "key 38 rel"},
      {"Up release", CSI + "1;1:3A", "key 38 up rel"},
      {"Ctrl+Left release", CSI + "1;5:3D", "key 37 +C up rel"},
      {"Delete release", CSI + "3;1:3~", "key 46 up rel"},
      {"F5 repeat", CSI + "15;1:2~", "key 116 rel"},
      {"Home release", CSI + "1;1:3H", "key 36 up rel"},
      {"F1 release", CSI + "1;1:3P", "key 112 up rel"},
      {"too many sub-parameters", CSI + "1;1:3:5A", ""},
  });
}

// Feeding a byte string in two pieces, cut anywhere, or a byte at a time
// gives exactly what feeding it whole gives.
TEST(InputDecoderSplit, AnyCutGivesTheSameEvents) {
  const std::vector<std::string> inputs = {
      "ab" + CSI + "1;5A" + "\xe3\x81\x82" + SS3 + "P" + "\r\nZ",
      CSI + "<0;12;7M" + CSI + "<32;13;7M" + CSI + "<0;13;7m" + CSI + "M !!" + CSI + "M#!!",
      ESC + "a" + ESC + ESC + "[B" + CSI + "97;5:3u" + CSI + "15;2~",
      ESC + "]11;rgb:0/0/0" + ESC + "\\" + CSI + "?62c" + "\xe3\x81" + "x\x80\xc3\xa9",
      CSI + std::string(70, '1') + "Ax" + CSI + "[B" + ESC + "P" + ESC + "[C\x7f\t",
  };
  for (const std::string& input : inputs) {
    InputDecoder whole;
    std::vector<InputEvent> expected;
    whole.feed(input.data(), input.size(), 5, expected);
    ASSERT_FALSE(expected.empty());
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
      InputDecoder d;
      std::vector<InputEvent> out;
      d.feed(input.data(), cut, 5, out);
      d.feed(input.data() + cut, input.size() - cut, 5, out);
      ASSERT_EQ(show(out), show(expected)) << "cut at " << cut << " of " << show(expected);
      EXPECT_EQ(d.pendingDeadline(), whole.pendingDeadline());
    }
    InputDecoder bytewise;
    std::vector<InputEvent> out;
    for (char c : input) bytewise.feed(&c, 1, 5, out);
    EXPECT_EQ(show(out), show(expected));
  }
}

TEST(InputDecoderSplit, EventTimeIsFirstByteArrival) {
  InputDecoder d;
  std::vector<InputEvent> out;
  d.feed("x\x1b[<0;", 6, 100, out);
  d.feed("5;5", 3, 110, out);
  d.feed("M\xe3", 2, 120, out);
  d.feed("\x81\x82", 2, 125, out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].time, 100);
  EXPECT_EQ(out[1].time, 100);
  EXPECT_EQ(out[2].time, 120);
}

}  // namespace
}  // namespace kotodama
