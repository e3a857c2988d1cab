// Cell addresses in the absolute A1 form both spreadsheet backends give
// ("$B$3"), and the check that a cell lies on the sheet.
#pragma once

#include <string>

namespace dorvane::sheet {

// "$B$3" for row 3, column 2. Rows and columns are 1-based.
std::u16string absoluteAddress(long row, long column);

// Raises 1004 naming the cell when row or column lies outside the sheet
// (1..kMaxRows, 1..kMaxColumns).
void requireOnSheet(long row, long column);

}  // namespace dorvane::sheet
