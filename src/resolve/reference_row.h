// The columns of a reference row as the resolution reads them, kept while the
// reference table stands on the same row as read (Recordset::rowIdentity):
// a key met again, later in the pass or in the next pass, reads and converts
// nothing anew. Every value is what kivrs.Fields gives for the row; a column
// that raises (one the table lacks, a Null read as text) raises again at
// every read, at the same point as before.
#pragma once

#include <dorvane/engine.h>

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace dorvane::reference {

// The reference columns a resolution reads.
enum class Column : std::size_t {
  TransferPriority,
  KeyField,
  AltKeyField,
  DbName,
  FieldName,
  FieldType,
  TableOrQuery,
  TableName,
  QueryName,
  CommentField,
  Description,
  Unit,
  Rounding,
  DecimalPlaces,
  Count
};

// The column's name in the reference table.
const char16_t* columnName(Column c);

class RowMemo {
 public:
  // The memo of the row kivrs stands on: the one kept for the same row as
  // read when there is one, else an empty one (kept when kivrs promises an
  // identity, for as long as the row as read lives on in the engine). The
  // memo stays valid until the next call on this thread.
  static RowMemo& of(const Recordset& kivrs);

  // Fields(column) of the row; raises as Fields does.
  const Variant& value(const Recordset& kivrs, Column c);
  // The value as text; raises 94 naming the column and key when it is Null.
  const std::u16string& requireText(const Recordset& kivrs, Column c, const std::u16string& key);
  // The value as text, "" for Null.
  const std::u16string& joinText(const Recordset& kivrs, Column c);

  // A place for the shape of the row's SQL text with one or two conditions
  // (what the resolution derives from the row's columns alone).
  std::optional<std::u16string>& shape(bool twoConditions) { return shapes_[twoConditions]; }

 private:
  friend struct MemoStore;
  void clear();
  std::weak_ptr<const void> identity_;  // the row as read; expired once nothing holds it
  std::array<std::optional<Variant>, static_cast<std::size_t>(Column::Count)> values_;
  std::array<std::optional<std::u16string>, static_cast<std::size_t>(Column::Count)> texts_;
  std::array<std::optional<std::u16string>, 2> shapes_;
};

}  // namespace dorvane::reference
