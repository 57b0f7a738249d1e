#pragma once
// A place on the screen that answers the mouse pointer: a span of columns on
// a span of rows (one row for a button), 1-based and inclusive, as keyDown
// reports the pointer's column (257) and row (258).
#include "console/console.h"

namespace kotodama {

struct PointerArea {
  int firstColumn;
  int lastColumn;
  int firstRow;
  int lastRow;

  // A button: columns first..last of one row.
  static constexpr PointerArea onRow(int row, int first, int last) { return {first, last, row, row}; }

  constexpr bool contains(int column, int row) const {
    return column >= firstColumn && column <= lastColumn && row >= firstRow && row <= lastRow;
  }

  // Whether the pointer rests on the area now (asks for the column, then the row).
  bool pointed(Console& console) const {
    const int column = console.keyDown(kPointerColumn);
    const int row = console.keyDown(kPointerRow);
    return contains(column, row);
  }
};

}  // namespace kotodama
