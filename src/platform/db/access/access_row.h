// Cracking a stored row into its columns. A row holds its column count, the
// fixed-length values, the variable-length values, the table of their
// offsets (Jet 3: one byte each, with a jump table for rows longer than 256
// bytes; Jet 4: two bytes each), the number of variable values and a null
// mask with one bit per column (set: a value; for Yes/No the value itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/db/access/access_table_definition.h"

namespace dorvane::db {

// Where one column's value lies in the row, or that it has none.
struct FieldSpan {
  bool present = false;  // the null mask's bit (Yes/No: the value)
  std::size_t start = 0, size = 0;
};

// Cracks the row at `row` (`size` bytes) of a table with definition def into
// one span per column of def, in its order. A column the row is too old to
// hold (its number at or past the row's column count) reads as absent.
// Returns false when the row's counts, offsets or a fixed value do not fit in
// it; every span returned lies within the row.
bool crackRow(const std::uint8_t* row, std::size_t size, const TableDefinition& def,
              const JetLayout& layout, std::vector<FieldSpan>& out);

}  // namespace dorvane::db
