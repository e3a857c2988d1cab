// Copying a table read from an Access file into the in-memory SQLite database.
#pragma once

#include <string>
#include <vector>

#include "platform/db/access/access_table.h"
#include "platform/db/sqlite/sqlite_connection.h"
#include "platform/db/sqlite/sqlite_database.h"

namespace dorvane::db {

// A table as the in-memory copy holds it.
struct ImportedTable {
  std::u16string name;            // the name SQL uses (a linked table's local name)
  AccessTableDef definition;      // as read from the file it lives in
  std::vector<IndexDef> indexes;  // Access indexes by their Access names
  long long rows = 0;
  // SQLite indexes are made when first needed (a Seek on an Access index, an
  // SQL text comparing a column), so copying a table costs only its rows.
  std::vector<std::string> indexColumns;       // per Access index: its SQLite column list
  std::vector<bool> indexCreated;              // per Access index: made in SQLite
  std::vector<std::u16string> leadingColumns;  // first columns of the SQLite indexes made
};

// Makes the SQLite index of Access index `index` of table, once. Raises 3049
// when SQLite cannot.
void ensureAccessIndex(SqliteConnection& connection, ImportedTable& table, size_t index,
                       int& indexCounter);

// Makes sure an SQLite index leads with column, so that comparing it does not
// scan the table. Returns false when table has no such column. Raises 3049
// when SQLite cannot make the index.
bool ensureColumnIndex(SqliteConnection& connection, ImportedTable& table,
                       const std::u16string& column, int& indexCounter);

// Receives a table from the reader and writes it into connection as table
// localName: every column with its declared type (access_values.h), text
// columns with the Jet collation. Its Access indexes are recorded, to be made
// in SQLite (named "dorvane_ix_N", unique in the database) by
// ensureAccessIndex. Everything happens inside a savepoint: commit() keeps it,
// and a sink destroyed without commit() leaves the database as it was.
class SqliteImportSink : public TableSink {
 public:
  SqliteImportSink(SqliteConnection& connection, std::u16string localName);
  ~SqliteImportSink() override;
  SqliteImportSink(const SqliteImportSink&) = delete;
  SqliteImportSink& operator=(const SqliteImportSink&) = delete;

  void begin(const AccessTableDef& def) override;
  void row(const std::vector<JetValue>& row) override;

  // Releases the savepoint and returns the copied table. Raises 3049 when
  // the reader sent no definition.
  ImportedTable commit();

 private:
  void exec(const std::string& sql);
  // One value of a held row as SQLite is given it: text as UTF-8 (the
  // database's own encoding, so SQLite neither converts nor copies it).
  // The held strings keep their room from one row to the next.
  struct Bound {
    enum class Kind : std::uint8_t { Null, Integer, Real, Text, Blob } kind = Kind::Null;
    std::int64_t i = 0;
    double d = 0;
    std::string text;
    std::vector<std::uint8_t> bytes;
  };
  static void hold(const JetValue& v, Bound& into);
  // Binds the held row `row` as the `at`-th row of statement s (its
  // parameters from at * columns + 1 on).
  void bind(sqlite3_stmt* s, size_t row, size_t at);
  // Inserts the rows held in pending_ (all of them with the batch statement
  // when full, else one by one).
  void flush();

  SqliteConnection& connection_;
  ImportedTable table_;
  bool begun_ = false, open_ = false;
  Statement insert_;       // one row
  Statement insertBatch_;  // kBatchRows rows: fewer statement runs for a large table
  size_t columns_ = 0;
  size_t batchRows_ = 1;        // rows pending_ holds room for
  std::vector<Bound> pending_;  // batchRows_ rows of columns_ values
  size_t pendingRows_ = 0;
};

}  // namespace dorvane::db
