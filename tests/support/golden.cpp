#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kotodama::test {

void expectGolden(const VtermScreen& screen, const std::string& name) {
  std::string shown = "caret " + std::to_string(screen.cursorColumn()) + "," + std::to_string(screen.cursorRow()) +
                      (screen.cursorVisible() ? " shown\n" : " hidden\n");
  for (int row = 1; row <= screen.rows(); ++row) shown += "|" + screen.row(row) + "|\n";
  const auto digit = [](int colour) { return colour < 0 ? '.' : "0123456789abcdef"[colour & 15]; };
  for (int row = 1; row <= screen.rows(); ++row) {
    std::string fg, bg;
    for (int column = 1; column <= screen.columns(); ++column) {
      const Cell cell = screen.cell(column, row);
      const bool rightHalf = cell.width == 0 && column > 1;  // of a wide character: its left half's colours
      fg += rightHalf ? fg.back() : digit(cell.fg);
      bg += rightHalf ? bg.back() : digit(cell.bg);
    }
    shown += fg + " " + bg + "\n";
  }
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
