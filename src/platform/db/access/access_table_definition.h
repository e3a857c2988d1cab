// A table's definition as the file stores it: a chain of definition pages
// (each after the first continuing the one before it past an 8-byte header)
// holding the row count, the usage map's address, the column entries, the
// column names and the indexes.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/db/access/access_page_file.h"
#include "platform/db/access/access_table.h"

namespace dorvane::db {

// A column as the rows store it.
struct StoredColumn {
  AccessColumn column;  // as handed on (Text sizes in characters)
  int storedType = 0;   // the type byte of the entry (a calculated column's differs)
  int number = 0;       // its bit in a row's null mask; rows written before it have fewer
  bool fixed = false;   // in the fixed part of the row, else in the variable part
  int fixedOffset = 0;  // fixed columns: after the row's column count
  int varIndex = 0;     // variable columns: entry in the row's offset table
  int storedSize = 0;   // fixed columns: bytes
};

struct TableDefinition {
  std::vector<StoredColumn> columns;  // ordered by number
  std::vector<AccessIndex> indexes;   // the user's indexes with their key columns
  std::uint32_t usageMap = 0;         // page << 8 | row of the usage map
  std::uint32_t rows = 0;             // the row count the definition records
  int varColumns = 0;
};

// Reads the definition that starts at page `page`. Raises AccessDamage when a
// page of its chain is outside the file or no definition page, the chain
// loops, or an entry, name or index lies beyond the definition or contradicts
// it.
TableDefinition readTableDefinition(PageFile& file, std::uint32_t page);

}  // namespace dorvane::db
