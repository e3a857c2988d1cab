// The SQLite virtual tables through which the in-memory database of an
// Access file shows the tables read from it (access_column_store.h).
//
// A table shows its store read-only, with the rowids 1, 2, ... in the
// file's row order. A comparison "column = value" is answered from the
// column's lookup (built on first use) instead of a scan: the lookup gives
// candidate rows and SQLite itself still checks the comparison on each, so
// the result is the one a scan gives, with the column's affinity and
// collation. "rowid = n" reads row n alone. Every other statement scans.
#pragma once

#include <sqlite3.h>

#include <memory>
#include <string>

#include "platform/db/access/access_column_store.h"
#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Where a connection's virtual tables find their stores, from their
// creation to the connection's end.
class StoreShelf;

// Registers the module on db; the shelf lives until db is closed.
std::shared_ptr<StoreShelf> registerStoreModule(sqlite3* db);

// Creates the virtual table `name` (UTF-8) over store, with def's columns
// under their declared types, text columns with the Jet collation. Raises
// 3049 when SQLite refuses it.
void createStoreTable(sqlite3* db, StoreShelf& shelf, const std::string& name,
                      const AccessTableDef& def, std::shared_ptr<const ColumnStore> store);

}  // namespace dorvane::db
