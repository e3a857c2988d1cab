// Copying a table read from an Access file into the in-memory SQLite database.
#pragma once

#include <string>
#include <vector>

#include "platform/db/access_table.h"
#include "platform/db/sqlite_connection.h"
#include "platform/db/sqlite_database.h"

namespace dorvane::db {

// A table as the in-memory copy holds it.
struct ImportedTable {
  std::u16string name;            // the name SQL uses (a linked table's local name)
  AccessTableDef definition;      // as read from the file it lives in
  std::vector<IndexDef> indexes;  // Access indexes by their Access names
  long long rows = 0;
};

// Receives a table from the reader and writes it into connection as table
// localName: every column with its declared type (access_values.h), text
// columns with the Jet collation, one SQLite index per Access index (named
// "dorvane_ix_N", unique in the database) and one per text column that no
// index leads with, so that lookups by a compared column do not scan the
// table. Everything happens inside a savepoint: commit() keeps it, and a sink
// destroyed without commit() leaves the database as it was.
class SqliteImportSink : public TableSink {
 public:
  SqliteImportSink(SqliteConnection& connection, std::u16string localName, int& indexCounter);
  ~SqliteImportSink() override;
  SqliteImportSink(const SqliteImportSink&) = delete;
  SqliteImportSink& operator=(const SqliteImportSink&) = delete;

  void begin(const AccessTableDef& def) override;
  void row(const std::vector<JetValue>& row) override;

  // Creates the indexes and releases the savepoint. Raises 3049 when the
  // reader sent no definition.
  ImportedTable commit();

 private:
  void exec(const std::string& sql);

  SqliteConnection& connection_;
  ImportedTable table_;
  int& indexCounter_;
  bool begun_ = false, open_ = false;
  Statement insert_;
};

}  // namespace dorvane::db
