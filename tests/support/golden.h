#pragma once
// Whole screens compared with the files under tests/golden/: one file per
// screen, the characters and the colours of every cell as libvterm shows
// them, and the caret; the README's pictures are checked the same way.
// KOTODAMA_UPDATE_GOLDEN=1 writes the files instead (then read the diff
// before committing them).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/vterm_screen.h"

namespace kotodama::test {

// The caret, then each row as "|text|", then each row's foreground and
// background colours, one hex digit a cell ("." for the terminal's default;
// the right half of a wide character repeats its left half).
inline std::string describe(const VtermScreen& screen) {
  const auto [column, row] = screen.cursor();
  std::string shown = "caret ";
  shown += std::to_string(column) + "," + std::to_string(row) + (screen.cursorVisible() ? " shown\n" : " hidden\n");
  for (int r = 1; r <= screen.rows(); ++r) shown.append("|").append(screen.row(r)).append("|\n");
  const auto digit = [](int colour) { return colour < 0 ? '.' : "0123456789abcdef"[colour & 15]; };
  for (int r = 1; r <= screen.rows(); ++r) {
    std::string fg, bg;
    for (int c = 1; c <= screen.columns(); ++c) {
      const Cell cell = screen.cell(c, r);
      const bool rightHalf = cell.width == 0 && c > 1;  // of a wide character: its left half's colours
      fg += rightHalf ? fg.back() : digit(cell.fg);
      bg += rightHalf ? bg.back() : digit(cell.bg);
    }
    shown += fg + " " + bg + "\n";
  }
  return shown;
}

// Expects the file to hold `shown` (KOTODAMA_UPDATE_GOLDEN=1: writes it).
inline void expectFileHolds(const std::filesystem::path& path, const std::string& shown) {
  if (const char* update = std::getenv("KOTODAMA_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
    std::ofstream(path, std::ios::binary) << shown;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path << " is missing: KOTODAMA_UPDATE_GOLDEN=1 writes it";
  // GoogleTest shows the lines that differ.
  EXPECT_EQ(shown, std::string(std::istreambuf_iterator<char>(in), {})) << path << " differs";
}

// Expects describe(screen) to match tests/golden/<name>.txt.
inline void expectGolden(const VtermScreen& screen, const std::string& name) {
  expectFileHolds(std::filesystem::path(__FILE__).parent_path().parent_path() / "golden" / (name + ".txt"),
                  describe(screen));
}

}  // namespace kotodama::test
