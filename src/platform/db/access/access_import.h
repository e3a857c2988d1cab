// Making a table read from an Access file a table of the file's in-memory
// SQLite database: its rows in a column store (access_column_store.h) shown
// through a virtual table (access_virtual_table.h).
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "platform/db/access/access_table.h"
#include "platform/db/access/access_virtual_table.h"
#include "platform/db/sqlite/sqlite_database.h"

namespace dorvane::db {

// A table as the in-memory database holds it.
struct ImportedTable {
  std::u16string name;            // the name SQL uses (a linked table's local name)
  AccessTableDef definition;      // as read from the file it lives in
  std::vector<IndexDef> indexes;  // Access indexes by their Access names
  long long rows = 0;
};

// Reads table `table` of the Access file at file (access_table_cache.h) and
// makes it table localName of db: every column with its declared type
// (access_values.h), text columns with the Jet collation, its Access indexes
// recorded for Seek (text keys under the Jet collation). Nothing is added to
// db when reading fails. Raises as readAccessTableCached, and 3049 when
// SQLite refuses the table or the reader sent no definition.
ImportedTable importAccessTable(sqlite3* db, StoreShelf& shelf, const std::u16string& localName,
                                const std::string& file, const std::string& table);

}  // namespace dorvane::db
