#include "report/sheet_grid.h"

#include <algorithm>

#include "platform/convert.h"

namespace dorvane::report {

std::optional<std::pair<long, long>> cellOf(std::u16string_view a) {
  size_t i = 0;
  if (i < a.size() && a[i] == u'$') ++i;
  long column = 0;
  const size_t letters = i;
  while (i < a.size() && ((a[i] >= u'A' && a[i] <= u'Z') || (a[i] >= u'a' && a[i] <= u'z'))) {
    column = column * 26 + ((a[i] | 0x20) - u'a' + 1);
    if (column > 1'000'000) return std::nullopt;
    ++i;
  }
  if (i == letters) return std::nullopt;
  if (i < a.size() && a[i] == u'$') ++i;
  long row = 0;
  const size_t digits = i;
  while (i < a.size() && a[i] >= u'0' && a[i] <= u'9') {
    row = row * 10 + (a[i] - u'0');
    if (row > 100'000'000) return std::nullopt;
    ++i;
  }
  if (i == digits || i != a.size() || row == 0) return std::nullopt;
  return std::make_pair(row, column);
}

SheetGrid readSheetGrid(sheet::Worksheet& ws, const MergeRecord& record) {
  long rows = 0, columns = 0;
  auto reach = [&](long r, long c) {
    rows = std::max(rows, r);
    columns = std::max(columns, c);
  };
  for (const Occurrence& o : record.occurrences) {
    if (auto rc = cellOf(o.where)) reach(rc->first, rc->second);
  }
  for (const Block& b : record.blocks) reach(b.bottom, b.right);

  SheetGrid grid;
  grid.clipped = rows > kMaxGridRows || columns > kMaxGridColumns;
  grid.rows = std::min(rows, kMaxGridRows);
  grid.columns = std::min(columns, kMaxGridColumns);
  grid.cells.resize(static_cast<size_t>(grid.rows * grid.columns));
  for (long r = 1; r <= grid.rows; ++r) {
    for (long c = 1; c <= grid.columns; ++c) {
      std::shared_ptr<sheet::Range> cell = ws.Cells(r, c);
      GridCell& g = grid.cells[static_cast<size_t>((r - 1) * grid.columns + (c - 1))];
      const Variant v = cell->Value();
      if (v.type() == VarType::Binary) {
        g.value = u"(binary)";
      } else if (!v.isEmpty() && !v.isNull()) {
        g.value = toText(v);
      }
      if (auto note = cell->comment()) g.note = note->text();
    }
  }
  return grid;
}

}  // namespace dorvane::report
