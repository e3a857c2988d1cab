// The rows of a data page: a row count after the page header, one 16-bit
// entry per row (its start in the low 13 bits and two flags), and the rows
// packed from the page's end downwards, each ending where the one before it
// starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/db/access/access_page_file.h"

namespace dorvane::db {

struct RowSlot {
  std::size_t start = 0, size = 0;  // within the page
  // A row marked as removed from the table's scan (deleted, or an old place
  // of a row that moved): the row in its current place is read instead.
  bool removed = false;
};

// The row slots of a data page, every one checked to lie between the end of
// the offset table and the page's end, after the row before it. Raises
// AccessDamage naming the page when the row count does not fit the page or a
// row lies outside it.
std::vector<RowSlot> rowSlots(const std::vector<std::uint8_t>& page, const JetLayout& layout,
                              std::uint32_t pageNumber);

// The bytes of row `row` of page `pageNumber` (a long value or a usage map
// is addressed so: page << 8 | row), read into buf; returns the slot. Raises
// AccessDamage when the page is outside the file, is no data page, or has no
// such row; `what` names what was looked for.
RowSlot readPageRow(PageFile& file, std::uint32_t pageRow, std::vector<std::uint8_t>& buf,
                    const char* what);

}  // namespace dorvane::db
