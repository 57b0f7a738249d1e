#include "console/input_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kotodama {
namespace {

// One event as a short line, so a table can spell out what it expects:
// "key 38 +S", "key 65 'a'", "key 65 +C up rel", "text 'é'", "mouse 3,4 b1 wheel",
// with "@<time>" when the event's time is not 0.
std::string show(const InputEvent& e) {
  std::string s;
  if (e.kind == EventKind::Mouse) {
    s = "mouse " + std::to_string(e.x) + "," + std::to_string(e.y) + " b" + std::to_string(e.buttons) +
        (e.wheel ? " wheel" : "");
  } else {
    if (e.kind == EventKind::Answer) return e.answer == Answer::KeyboardFlags ? "flags" : "attributes";
    s = e.kind == EventKind::Text ? "text" : "key " + std::to_string(e.vk);
    if (e.modifiers & kModShift) s += " +S";
    if (e.modifiers & kModAlt) s += " +A";
    if (e.modifiers & kModCtrl) s += " +C";
    if (!e.pressed) s += " up";
    if (e.reportsRelease) s += " rel";
    if (!e.text.empty()) s += " '" + e.text + "'";
  }
  return e.time == 0 ? s : s + "@" + std::to_string(e.time);
}

constexpr std::int64_t kTimeout = InputDecoder::kEscapeTimeoutMs;

// Feeds each piece at its time (no bytes: the timeout checked then; "^[" in
// the bytes stands for ESC); the events joined by " | ", and the deadline
// still pending after them as " ~<time>".
struct Step { std::int64_t at; std::string bytes; };
std::string decode(const std::vector<Step>& steps) {
  InputDecoder d;
  std::vector<InputEvent> out;
  for (Step step : steps) {
    for (std::size_t at; (at = step.bytes.find("^[")) != std::string::npos;) step.bytes.erase(at, 1)[at] = '\x1b';
    if (step.bytes.empty()) d.expire(step.at, out);
    else d.feed(step.bytes.data(), step.bytes.size(), step.at, out);
  }
  std::string shown;
  for (const InputEvent& e : out) shown += (shown.empty() ? "" : " | ") + show(e);
  return shown + " ~" + std::to_string(d.pendingDeadline());
}

// Each input fed in one piece at time 0, then the escape timeout let pass.
TEST(InputDecoder, KeysMouseAndText) {
  const struct { const char* name; std::string input, expected; } cases[] = {
      {"letters, Shift for capitals, digits, space, tab", "azQ09 \t", "key 65 'a' | key 90 'z' | key 81 +S 'Q' | "
       "key 48 '0' | key 57 '9' | key 32 ' ' | key 9 '\t'"},
      {"CR, LF, CR LF as one Enter", "\r.\n.\r\n.\n\r.\r\r\n.\r\n\n", "key 13 | text '.' | key 13 | text '.' | "
       "key 13 | text '.' | key 13 | key 13 | text '.' | key 13 | key 13 | text '.' | key 13 | key 13"},
      {"Backspace, Ctrl", "\x7f\x08\x01\x07\x0b\x1a", "key 8 | key 8 | key 65 +C | key 71 +C | key 75 +C | key 90 +C"},
      {"punctuation is text, NUL and FS..US dropped", std::string(",~\0\x1c\x1d\x1e\x1f", 7) + "a", "text ',' | "
       "text '~' | key 65 'a'"},
      {"CSI and SS3 arrows", "^[[A^[[B^[[C^[[D^[OA^[OD", "key 38 | key 40 | key 39 | key 37 | key 38 | key 37"},
      {"Home End Insert Delete PageUp PageDown Shift+Tab", "^[[H^[OF^[[1~^[[8~^[[2~^[[3~^[[5~^[[6~^[[Z", "key 36 | "
       "key 35 | key 36 | key 35 | key 45 | key 46 | key 33 | key 34 | key 9 +S '\t'"},
      {"function keys and keypad Enter, not the gaps", "^[OP^[OS^[OM^[[15~^[[16~^[[24~^[[25~^[[[A^[[[E^[[[z",
       "key 112 | key 115 | key 13 | key 116 | key 123 | key 112 | key 116"},
      {"modifiers; none, Meta not ours, empty first", "^[[1;2A^[[1;3B^[[1;4C^[[1;5D^[[1;8A^[[1;1A^[[1;9A^[[1;10A^[[;5A",
       "key 38 +S | key 40 +A | key 39 +S +A | key 37 +C | key 38 +S +A +C | key 38 | key 38 | key 38 +S | key 38 +C"},
      {"modified keys", "^[[1;5H^[[3;5~^[[24;3~^[[1;2P^[O5A^[O1;2P", "key 36 +C | key 46 +C | key 123 +A | "
       "key 112 +S | key 38 +C | key 112 +S"},
      {"other first parameter, three parameters", "^[[2;5A^[[1;5;1A", ""},
      {"cursor position answers are no Shift+F3", "^[[1;2R^[[12;40Rx", "key 88 'x'"},
      {"Alt prefix", "^[a^[A^[,^[\x7f^[\x02^[ab", "key 65 +A 'a' | key 65 +S +A 'A' | text +A ',' | key 8 +A | "
       "key 66 +A +C | key 65 +A 'a' | key 66 'b'"},
      {"ESC before what is no key is Escape", "^[" + std::string(1, '\0') + "a^[\xc3\xa9^[", "key 27 | key 65 'a' | "
       "key 27 | text '\xc3\xa9' | key 27"},
      // The kitty keyboard protocol, from terminals left in it: presses, repeats and releases of their own.
      {"kitty press, repeat, release, modifiers", "^[[97u^[[97;1:1u^[[97;1:2u^[[97;1:3u^[[97:65;2:1u^[[97;5u^[[120;3u",
       "key 65 'a' | key 65 rel 'a' | key 65 rel 'a' | key 65 up rel | key 65 +S rel 'A' | key 65 +C | key 88 +A 'x'"},
      {"kitty keys of their own codes, cursor and tilde forms",
       "^[[13u^[[27;1:3u^[[9;1:1u^[[127;1:3u^[[1;5:3D^[[3;1:3~^[[15;1:2~", "key 13 | key 27 up rel | "
       "key 9 rel '\t' | key 8 up rel | key 37 +C up rel | key 46 up rel | key 116 rel"},
      {"kitty dropped: punctuation released, unknown events, modifier keys, non-ASCII",
       "^[[44;1:3u^[[97;1:4u^[[1;1:3:5A^[[57441;2:1u^[[1072u^[[u^[[44;1:1u", "text rel ','"},
      // Mouse reports.
      {"SGR press and release, 1-based", "^[[<0;1;1M^[[<0;10;5m", "mouse 0,0 b1 | mouse 9,4 b0"},
      {"middle and right held, one let go", "^[[<1;3;4M^[[<2;80;25M^[[<1;80;25m", "mouse 2,3 b4 | mouse 79,24 b6 | "
       "mouse 79,24 b2"},
      {"motion carries the held button", "^[[<32;5;6M^[[<34;5;6M^[[<35;2;2M", "mouse 4,5 b1 | mouse 4,5 b2 | "
       "mouse 1,1 b0"},
      {"wheel only moves the pointer, modifier bits ignored", "^[[<4;1;1M^[[<64;3;3M^[[<65;4;4M^[[<24;1;1M^[[<16;1;1m",
       "mouse 0,0 b1 | mouse 2,2 b1 wheel | mouse 3,3 b1 wheel | mouse 0,0 b1 | mouse 0,0 b0"},
      {"far cells clamped", "^[[<0;40000;9999999M^[[<0;32768;1M", "mouse 32767,32767 b1 | mouse 32767,0 b1"},
      {"SGR garbage", "^[[<0;0;5M^[[<0;5;0M^[[<0;5M^[[<0;;5M^[[<0;5;5;5M^[[<0:1;5;5M^[[<0;99999999999999999999;5M"
       "^[[<128;5;5M^[[<0;5;5Aa", "key 65 'a'"},
      {"X10", "^[[M !!^[[M\"*%^[[M#*%^[[M@+,^[[M`##^[[M \xff\xff", "mouse 0,0 b1 | mouse 9,4 b3 | mouse 9,4 b0 | "
       "mouse 10,11 b1 | mouse 2,2 b1 wheel | mouse 222,222 b1"},
      {"X10 garbage", "^[[M  !a^[[M !\r^[[M !^[[A^[[M !", "key 65 'a' | key 13 | key 38"},
      // UTF-8, and junk that does not eat the next key.
      {"whole characters", "a\xc3\xa9\xe3\x82\xa2\xe0\xa0\x80\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf",
       "key 65 'a' | text '\xc3\xa9' | text '\xe3\x82\xa2' | text '\xe0\xa0\x80' | text '\xf0\x9f\x98\x80' | "
       "text '\xf4\x8f\xbf\xbf'"},
      {"lone, overlong, surrogate, past U+10FFFF", "\x80\xc0\xaf\xe0\x80\x80\xed\xa0\x80\xf4\x90\x80\x80\xf5",
       "text '\x80' | text '\xc0' | text '\xaf' | text '\xe0' | text '\x80' | text '\x80' | text '\xed' | "
       "text '\xa0' | text '\x80' | text '\xf4' | text '\x90' | text '\x80' | text '\x80' | text '\xf5'"},
      {"cut short", "\xe3\x81" "a\xe3\xe3\x81\x82\xc3^[[A\xf0\x9f\x98",
       "text '\xe3' | text '\x81' | key 65 'a' | text '\xe3' | text '\xe3\x81\x82' | text '\xc3' | key 38 | "
       "text '\xf0' | text '\x9f' | text '\x98'"},
      {"answers to queries", "^[[?62;22c^[[?1u^[[>41;360;0c^[[5na", "attributes | flags | key 65 'a'"},
      {"unknown CSI and SS3, paste markers", "^[[I^[[O^[[2 q^[Oz^[[200~ab^[[201~", "key 65 'a' | key 66 'b'"},
      {"strings", "^[]11;rgb:0/0/0\x07^[]11;rgb:f/f/f^[\\^[P1$r0m^[\\^[_Gi=1;OK^[\\^[]52;c;" + std::string(3000, 'Q') +
       "\x07" "a", "key 65 'a'"},
      {"unterminated string cut by a sequence", "^[]11;rgb^[[A", "key 38"},
      {"CSI cut short", "^[[1;^[[B^[[1;\r^[[1\xc3\xa9^[O^[OA", "key 40 | key 13 | text '\xc3\xa9' | key 38"},
      {"overlong CSI skipped to its final byte", "^[[" + std::string(200, '1') + "Ab^[[" + std::string(200, ';') +
       "^[[C", "key 66 'b' | key 39"},
      {"unfinished at the end", "ab^[[1^[[M !^[]11;", "key 65 'a' | key 66 'b'"},
  };
  for (const auto& c : cases) EXPECT_EQ(decode({{0, c.input}, {kTimeout, ""}}), c.expected + " ~-1") << c.name;
}

// Feeds and timeout checks at given times: events carry the arrival time of
// their first byte, and pending bytes wait exactly the timeout.
TEST(InputDecoderTiming, ArrivalTimesAndTheTimeout) {
  const struct { const char* name; std::vector<Step> steps; std::string expected; std::int64_t deadline; } cases[] = {
      {"lone ESC waits", {{1000, "^["}, {1000 + kTimeout - 1, ""}}, "", 1000 + kTimeout},
      {"lone ESC at the timeout", {{1000, "^["}, {1000 + kTimeout, ""}, {5000, ""}}, "key 27@1000", -1},
      {"ESC ESC [A", {{10, "^["}, {20, "^["}, {25, "[A"}}, "key 27@10 | key 38@20", -1},
      {"Alt key in a later feed", {{10, "^["}, {25, "x"}}, "key 88 +A 'x'@10", -1},
      {"deadline from the first byte", {{50, "^[["}, {70, "1;"}, {79, ""}, {79, "5"}, {80, ""}, {81, "A"}},
       "key 65 +S 'A'@81", -1},
      {"dropped, then read afresh", {{1, "^[[1;"}, {1 + kTimeout, ""}, {100, "^[[B"}}, "key 40@100", -1},
      {"CR LF across feeds, LF long after CR", {{100, "\r"}, {101, "\n"}, {200, "\r"}, {900, "\n"}}, "key 13@100 | "
       "key 13@200 | key 13@900", -1},
      {"time of the first byte", {{100, "x^[[<0;"}, {110, "5;5"}, {120, "M\xe3"}, {125, "\x81\x82"}},
       "key 88 'x'@100 | mouse 4,4 b1@100 | text '\xe3\x81\x82'@120", -1},
      {"huge times", {{INT64_MAX - 5, "^["}}, "", INT64_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.steps), c.expected + " ~" + std::to_string(c.deadline)) << c.name;
}

}  // namespace
}  // namespace kotodama
