// The page's script (web/kotodama.js) writes the keys it sends from tables of
// its own: every sequence it can send must decode to the key it names, and it
// must give the terminal back with the game's own bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "console/input_decoder.h"
#include "console/terminal.h"

namespace kotodama {
namespace {

std::string pageScript() {
  std::ifstream in(KOTODAMA_SOURCE_DIR "/web/kotodama.js");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What `var name = ...;` sets, as written.
std::string declared(const std::string& script, const std::string& name) {
  std::smatch match;
  if (!std::regex_search(script, match, std::regex("var " + name + " = ([^;]*);"))) return "(no " + name + ")";
  return match[1];
}

// The bytes of a quoted string literal's text (\xHH, \r and \\ escapes).
std::string unescaped(const std::string& literal) {
  std::string bytes;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (literal[i] != '\\' || i + 1 == literal.size()) {
      bytes += literal[i];
    } else if (literal[++i] == 'x') {
      bytes += static_cast<char>(std::stoi(literal.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += literal[i] == 'r' ? '\r' : literal[i];
    }
  }
  return bytes;
}

// The game's code for a browser's key name: "key 38" for ArrowUp.
std::string keyFor(const std::string& name) {
  static const std::map<std::string, int> codes = {
      {"Backspace", 8}, {"Tab", 9},   {"Enter", 13},      {"Escape", 27},   {"PageUp", 33},    {"PageDown", 34},
      {"End", 35},      {"Home", 36}, {"ArrowLeft", 37},  {"ArrowUp", 38},  {"ArrowRight", 39}, {"ArrowDown", 40},
      {"Insert", 45},   {"Delete", 46}};
  if (std::regex_match(name, std::regex("F[0-9]+"))) return "key " + std::to_string(111 + std::stoi(name.substr(1)));
  return codes.contains(name) ? "key " + std::to_string(codes.at(name)) : "(no key " + name + ")";
}

// The one key a whole sequence decodes to (a lone ESC once its wait is over).
std::string decoded(const std::string& bytes) {
  InputDecoder decoder;
  std::vector<InputEvent> out;
  decoder.feed(bytes.data(), bytes.size(), 0, out);
  decoder.expire(InputDecoder::kEscapeTimeoutMs, out);
  if (out.size() != 1 || out[0].kind != EventKind::Key) return std::to_string(out.size()) + " events";
  const InputEvent& e = out[0];
  return "key " + std::to_string(e.vk) + (e.modifiers == (kModShift | kModCtrl) ? " +SC" : e.modifiers ? " +?" : "") +
         (e.pressed ? "" : " up");
}

// Each table entry as keySequence writes it: a plain press, and a release
// with Shift+Ctrl (modifiers 6, event 3); the touch keys' plain bytes as they are.
TEST(WebPage, EveryKeyItSendsDecodesToTheKeyItNames) {
  const std::string script = pageScript();
  const std::regex entry(R"((\w+): (?:'([^']*)'|\[(\d+), '(.)'\]))");
  int entries = 0;
  for (const std::string table : {"letterKeys", "numberKeys", "plainKeys"}) {
    const std::string body = declared(script, table);
    for (std::sregex_iterator it(body.begin(), body.end(), entry), end; it != end; ++it, ++entries) {
      const std::smatch& m = *it;
      const std::string key = keyFor(m[1]);
      if (table == "plainKeys") {
        EXPECT_EQ(decoded(unescaped(m[2])), key) << table << "." << m[1];
        continue;
      }
      const bool letter = m[2].matched;  // CSI 1 ; m:e letter, else CSI number ; m:e final
      const std::string number = letter ? "" : m[3].str(), final = letter ? m[2].str() : m[4].str();
      EXPECT_EQ(decoded("\x1b[" + number + final), key) << table << "." << m[1];
      EXPECT_EQ(decoded("\x1b[" + (letter ? "1" : number) + ";6:3" + final), key + " +SC up") << table << "." << m[1];
    }
  }
  EXPECT_EQ(entries, 32);  // every entry read
}

TEST(WebPage, GivesTheTerminalBackAsTheGameDoes) {
  EXPECT_EQ(unescaped(declared(pageScript(), "leaveSequence")), "'" + std::string(kGiveBackSequence) + "'");
}

}  // namespace
}  // namespace kotodama
