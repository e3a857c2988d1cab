#include "platform/db/access/access_row.h"

namespace dorvane::db {

namespace {

// The offsets of the variable values (count + 1 of them, the last the end of
// the last value) from a Jet 3 row, whose one-byte offsets go with a jump
// table: one byte per 256 bytes of row, each the index of the first offset
// past that boundary. Returns false when the tables do not fit in the row.
bool jet3Offsets(const std::uint8_t* row, std::size_t size, std::size_t mask, std::size_t count,
                 std::size_t& tableStart, std::vector<std::size_t>& offsets) {
  const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(size) - 1;
  std::ptrdiff_t jumps = static_cast<std::ptrdiff_t>((size - 1) / 256);
  const std::ptrdiff_t first = end - static_cast<std::ptrdiff_t>(mask) - jumps - 1;
  // The last jump is a dummy when the offsets end before its boundary.
  if (first - static_cast<std::ptrdiff_t>(count) >= 0 &&
      (first - static_cast<std::ptrdiff_t>(count)) / 256 < jumps)
    --jumps;
  if (first - static_cast<std::ptrdiff_t>(count) < 1) return false;
  std::ptrdiff_t used = 0;
  for (std::size_t i = 0; i <= count; ++i) {
    while (used < jumps && i == row[end - static_cast<std::ptrdiff_t>(mask) - used - 1]) ++used;
    offsets[i] = row[first - static_cast<std::ptrdiff_t>(i)] + static_cast<std::size_t>(used) * 256;
  }
  tableStart = static_cast<std::size_t>(first - static_cast<std::ptrdiff_t>(count));
  return true;
}

}  // namespace

bool crackRow(const std::uint8_t* row, std::size_t size, const TableDefinition& def,
              const JetLayout& layout, std::vector<FieldSpan>& out) {
  const std::size_t countSize = layout.rowCountSize;
  if (size < countSize + 1) return false;
  const std::size_t columns = countSize == 1 ? row[0] : load16(row);
  const std::size_t mask = (columns + 7) / 8;
  if (mask + countSize > size) return false;
  const std::uint8_t* nulls = row + size - mask;
  std::size_t tableStart = size - mask;  // where the row's trailing tables begin
  std::size_t varCount = 0;
  thread_local std::vector<std::size_t> offsets;
  if (def.varColumns > 0) {
    if (layout.jet3) {
      if (mask + countSize + 1 > size) return false;
      varCount = row[size - mask - 1];
      offsets.resize(varCount + 1);
      if (!jet3Offsets(row, size, mask, varCount, tableStart, offsets)) return false;
    } else {
      if (mask + countSize + 2 > size) return false;
      varCount = load16(row + size - mask - 2);
      if (mask + countSize + 2 + 2 * (varCount + 1) > size) return false;
      offsets.resize(varCount + 1);
      for (std::size_t i = 0; i <= varCount; ++i)
        offsets[i] = load16(row + size - mask - 4 - 2 * i);
      tableStart = size - mask - 2 - 2 * (varCount + 1);
    }
    for (std::size_t i = 0; i <= varCount; ++i)
      if (offsets[i] < countSize || offsets[i] > tableStart || (i && offsets[i] < offsets[i - 1]))
        return false;
  }
  out.resize(def.columns.size());
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const StoredColumn& c = def.columns[i];
    FieldSpan& f = out[i];
    f = FieldSpan{};
    const auto number = static_cast<std::size_t>(c.number);
    if (number >= columns) continue;  // the column came after the row
    f.present = (nulls[number / 8] >> (number % 8)) & 1;
    if (c.storedType == jet::kBoolean || !f.present) continue;
    if (c.fixed) {
      f.start = countSize + static_cast<std::size_t>(c.fixedOffset);
      f.size = static_cast<std::size_t>(c.storedSize);
      if (f.start + f.size > tableStart) return false;
    } else if (static_cast<std::size_t>(c.varIndex) < varCount) {
      f.start = offsets[static_cast<std::size_t>(c.varIndex)];
      f.size = offsets[static_cast<std::size_t>(c.varIndex) + 1] - f.start;
    } else {
      f.present = false;  // a variable column the row holds no entry for
    }
  }
  return true;
}

}  // namespace dorvane::db
