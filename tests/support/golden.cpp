#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kotodama::test {

std::string describe(const VtermScreen& screen) {
  const auto [column, row] = screen.cursor();
  std::string shown = "caret " + std::to_string(column) + "," + std::to_string(row) +
                      (screen.cursorVisible() ? " shown\n" : " hidden\n");
  for (int r = 1; r <= screen.rows(); ++r) shown += "|" + screen.row(r) + "|\n";
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

void expectGolden(const VtermScreen& screen, const std::string& name) {
  const std::string shown = describe(screen);
  const auto path = std::filesystem::path(__FILE__).parent_path().parent_path() / "golden" / (name + ".txt");
  if (const char* update = std::getenv("KOTODAMA_UPDATE_GOLDEN"); update != nullptr && *update == '1') {
    std::ofstream(path, std::ios::binary) << shown;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << path << " is missing: KOTODAMA_UPDATE_GOLDEN=1 writes it";
  // GoogleTest shows the lines that differ.
  EXPECT_EQ(shown, std::string(std::istreambuf_iterator<char>(in), {})) << name;
}

}  // namespace kotodama::test
