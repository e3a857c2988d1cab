// The cells of a merged worksheet around what a merge touched, for the
// report's grid.
#pragma once

#include <dorvane/sheet.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "report/merge_record.h"

namespace dorvane::report {

// The largest grid the report shows; cells beyond are left out.
inline constexpr long kMaxGridRows = 500;
inline constexpr long kMaxGridColumns = 60;

struct GridCell {
  std::u16string value;  // its value in the standard text form ("" when empty)
  std::optional<std::u16string> note;
};

// Rows 1..rows, columns 1..columns, row by row.
struct SheetGrid {
  long rows = 0, columns = 0;
  std::vector<GridCell> cells;
  bool clipped = false;  // the merge touched cells beyond the limits
  const GridCell& at(long row, long column) const {
    return cells[static_cast<size_t>((row - 1) * columns + (column - 1))];
  }
};

// Row and column of an absolute or relative A1 address ("$B$3", "B3"); none
// when address is no such address.
std::optional<std::pair<long, long>> cellOf(std::u16string_view address);

// Reads from A1 to the furthest cell record names (placeholders, written
// cells, detail blocks), within the limits above. Raises what the worksheet
// raises.
SheetGrid readSheetGrid(sheet::Worksheet& ws, const MergeRecord& record);

}  // namespace dorvane::report
