#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "characters/character.h"
#include "characters/name_entry.h"
#include "support/bench.h"
#include "support/golden.h"

namespace kotodama::test {
namespace {

const std::string kOpponentPrompt = "相手の名前を入力してください。";
const std::string kTooLong = "名前が長すぎます。";

// Runs one name entry into the name of fighter 0 on `bench`, after a pause
// of 1000 ticks (keys typed meanwhile are part of the line, as they would be
// in a console's input buffer). Gives the name stored, "exit <status>", or
// "waiting" (with what was written, if anything). Nothing past the name
// field may change, however long the typed line.
std::string enter(Bench& bench, int forOpponent = 0) {
  Fighters fighters;
  std::memset(fighters.data(), '#', sizeof fighters);
  const Outcome o = bench.run([&] {
    bench.console.waitTicks(1000);
    return enterName(bench.console, fighters[0].name, forOpponent);
  });
  const std::string name(fighters[0].name, strnlen(fighters[0].name, sizeof fighters[0].name));
  const char* bytes = reinterpret_cast<const char*>(&fighters);
  EXPECT_EQ(std::string(bytes + 12, sizeof fighters - 12), std::string(sizeof fighters - 12, '#')) << "overrun";
  if (o.kind == Outcome::Exited) return "exit " + std::to_string(o.value);
  if (o.kind == Outcome::TimedOut) return name == std::string(12, '#') ? "waiting" : "waiting, wrote " + name;
  return o.value == static_cast<int>(name.size()) ? name : name + ", length " + std::to_string(o.value);
}

// At most 10 bytes of Shift-JIS are taken (five full-width characters, not
// six); a longer name is refused in the prompt's place, the echo overdrawn,
// and asked again (the retry here types "ok").
// Typed UTF-8 is stored as Shift-JIS, with "?" for what Shift-JIS cannot
// hold. Backspace takes back whole characters (and nothing before the line);
// mouse reports and other sequences never end up in the name. Ctrl+D on an
// empty line or a closed pipe ends the game as END does; a last line without
// its line end still counts, as for scanf. Waiting for a line, the box on
// the whole screen, the echo from the caret (column 32, row 12).
TEST(NameEntry, WhatIsStored) {
  const std::string aiueo = "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49", bs(keys::kBackspace);
  const struct {  // `typed` arrives during the pause, `later` at the prompt
    std::string typed, later, stored, echo;
    bool endsInput = false;
    TerminalEncoding encoding = TerminalEncoding::Utf8;
  } cases[] = {
      {"abcdefghij\r", "", "abcdefghij", ">abcdefghij "}, {"abcdefghijk\r", "", "ok", ">ok         "},
      {"アイウエオ\r", "", aiueo, ">アイウエオ "}, {"アイウエオカ\r", "", "ok", ">ok         "},
      {"aé😀b\r", "", "a??b", ">a??b       "},
      {"a\xff\xed\xa0\x80é\r", "", "a?????", ">a?????     "},  // not UTF-8: each byte a "?"
      {"ab\x04\r", "", "ab", ">ab         "},  // Ctrl+D ends nothing on a typed name...
      {"\x04", "", "exit 0", ""},               // ...and the game on an empty one
      {"", std::string(1 << 20, 'x') + "\r", "ok", ">ok         "},  // a pasted megabyte
      {bs + "abc" + keys::mouseMove(40, 12) + keys::mousePress(40, 12) + keys::mouseRelease(40, 12),
       bs + bs + "アイ" + std::string(keys::kUp) + "\x1b[15~" + bs + "ウ\r", "a\x83\x41\x83\x45", ">aアウ      "},
      {aiueo + "\r", "", aiueo, "", false, TerminalEncoding::ShiftJis},
      {"", "", "exit 0", "", true}, {"hero", "", "hero", "", true}, {"hero", "", "waiting", ""},
  };
  for (const auto& c : cases) {
    Bench bench(c.encoding);
    bench.platform.at(100, c.typed).at(1500, c.later).whenShows(kTooLong, "ok\r", 300).limitAt(2000);
    if (c.endsInput) bench.platform.endInputAt(2000);
    EXPECT_EQ(enter(bench), c.stored) << testing::PrintToString(c.typed.substr(0, 20));
    if (!c.echo.empty()) { EXPECT_EQ(bench.screen().text(12, 31, 42), c.echo) << c.stored; }
    if (c.stored == "waiting") expectGolden(bench.screen(), "name-entry");
    EXPECT_EQ(bench.screen().text(10, 25, 58) == "[]       " + kTooLong + "     []", c.stored == "ok") << c.stored;
  }
}

// One whitespace-delimited token, as scanf("%s") reads it: blank lines do
// not answer, and the rest of the line answers the next entry at once, the
// opponent's prompt filling the box.
TEST(NameEntry, ReadsOneTokenAndKeepsTheRestOfTheLine) {
  Bench bench;
  bench.platform.at(100, "\r   \r\t\n  ab cd\r\n");
  EXPECT_EQ(enter(bench), "ab");
  const std::int64_t before = bench.platform.clock();
  bench.platform.at(before + 2500, "ef\r");
  EXPECT_EQ(enter(bench, 1), "cd");
  EXPECT_EQ(bench.platform.clock(), before + 1000);  // no wait but the pause
  EXPECT_EQ(bench.screen().text(10, 25, 58), "[]" + kOpponentPrompt + "[]");
  EXPECT_EQ(enter(bench), "ef");  // the line is used up: a third entry waits for a new one
}

}  // namespace
}  // namespace kotodama::test
