#include "platform/sheet/address.h"

#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <algorithm>

namespace dorvane::sheet {

std::u16string absoluteAddress(long row, long column) {
  std::u16string letters;
  for (long c = column; c > 0; c = (c - 1) / 26) {
    letters.push_back(static_cast<char16_t>(u'A' + (c - 1) % 26));
  }
  std::reverse(letters.begin(), letters.end());
  std::u16string out = u"$" + letters + u"$";
  for (char ch : std::to_string(row)) out.push_back(static_cast<char16_t>(ch));
  return out;
}

void requireOnSheet(long row, long column) {
  if (row >= 1 && row <= kMaxRows && column >= 1 && column <= kMaxColumns) return;
  throw RuntimeError(err::kSheetOperationFailed,
                     "The cell at row " + std::to_string(row) + ", column " +
                         std::to_string(column) +
                         " lies outside the worksheet (rows 1 to 1,048,576, columns 1 to 16,384)");
}

}  // namespace dorvane::sheet
