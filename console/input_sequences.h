#pragma once
// What a terminal's input means once InputDecoder has cut it into pieces: a
// single byte, a whole CSI or SS3 sequence (its parameter bytes and final
// byte), a mouse report. Pure functions that append events; the byte stream,
// its states and its timeouts stay in InputDecoder.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/input_decoder.h"

namespace kotodama::input {

inline constexpr std::uint8_t kVkBackspace = 8;
inline constexpr std::uint8_t kVkTab = 9;
inline constexpr std::uint8_t kVkEnter = 13;
inline constexpr std::uint8_t kVkEscape = 27;
inline constexpr std::uint8_t kVkF1 = 112;

// How a key was reported: the modifiers held and, from terminals that tell
// the event type, press or release.
struct KeyState {
  std::uint8_t modifiers = 0;
  bool pressed = true;
  bool reportsRelease = false;
};

InputEvent keyEvent(std::uint8_t vk, const KeyState& state, std::int64_t time);
InputEvent textEvent(std::string text, std::int64_t time);

// The key of a single byte below 0x80 other than ESC, typed with
// `modifiers`. False for the control bytes that are no key.
bool byteKey(unsigned char byte, std::uint8_t modifiers, std::int64_t time, std::vector<InputEvent>& out);

// A complete CSI (`body`: the bytes between ESC [ and `final`) or SS3, read
// at `time`. `heldButtons` are the mouse buttons held, kept across reports.
void decodeCsi(std::string_view body, unsigned char final, std::int64_t time, std::uint8_t& heldButtons,
               std::vector<InputEvent>& out);
void decodeSs3(std::string_view body, unsigned char final, std::int64_t time, std::vector<InputEvent>& out);

// A mouse report with 1-based x, y and the xterm button code (SGR or X10).
void mouseReport(std::uint32_t code, std::uint32_t x, std::uint32_t y, bool release, std::int64_t time,
                 std::uint8_t& heldButtons, std::vector<InputEvent>& out);

}  // namespace kotodama::input
