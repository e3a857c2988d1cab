// The two recordset types over SQLite.
//
// TableRecordset: a table opened by name. It reads rows on demand, so it sees
// the table's current data (within a snapshot: the snapshot's data, so a Seek
// of the key it stands on already is not run again); Index and Seek use the
// table's named indexes.
// Dynaset: the rows of a view, query or SQL text. Up to kBufferedRows rows are
// read when it is opened; a larger result is read row by row as the walk goes
// on, so walking a million rows holds one row at a time. Its statement keeps
// the file's read lock until the walk reaches the end or the thread's
// outermost ReadSnapshot ends; a walk left half-way then runs the statement
// again from its start when it goes on. Like every engine object, a dynaset
// is used and destroyed on the thread that opened it.
#pragma once

#include <dorvane/engine.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/db/sqlite/sqlite_database.h"
#include "platform/db/sqlite/sqlite_values.h"

namespace dorvane::db {

// Column names and kinds shared by both recordset types.
struct ColumnSet {
  std::vector<std::u16string> names;
  std::vector<ColumnKind> kinds;
  bool caseDistinct = true;  // no two names equal case-blind
  bool utf16 = false;        // the database's text is UTF-16
  // Index of the column named name (case-blind), or -1.
  int find(const std::u16string& name) const;
  // Reads columns [first, count) of stmt's current row.
  std::vector<Variant> readRow(sqlite3_stmt* stmt, int first) const;
  // The same, appended to out.
  void appendRow(sqlite3_stmt* stmt, int first, std::vector<Variant>& out) const;
  static ColumnSet fromStatement(sqlite3_stmt* stmt, int first, bool utf16);
};

class Dynaset : public Recordset {
 public:
  static constexpr size_t kBufferedRows = 256;

  // Reads the first rows of stmt. source names the recordset in errors;
  // owner (the database) is kept alive as long as the statement is; utf16:
  // the database's text is UTF-16.
  Dynaset(Statement stmt, std::u16string source, std::shared_ptr<const void> owner = nullptr,
          bool utf16 = false);
  ~Dynaset() override;
  Dynaset(const Dynaset&) = delete;
  Dynaset& operator=(const Dynaset&) = delete;

  bool isTableType() const override { return false; }
  void setIndex(const std::u16string& name) override;
  void Seek(const std::u16string& comparison, const Variant& key) override;
  bool NoMatch() const override { return false; }
  Variant Fields(const std::u16string& name) const override;
  // The rows read so far (as DAO counts a dynaset's records): 0 only when
  // there are none.
  long RecordCount() const override { return static_cast<long>(std::max(buffered_, seen_)); }
  void MoveFirst() override;
  void MoveNext() override;
  bool Eof() const override;

 private:
  // The row at pos_ beyond the buffered ones, read from stmt_; sets end_
  // when there is none.
  void streamTo(size_t pos);
  // Ends the statement's read (and with it the file's read lock).
  void suspend();
  friend void suspendDynasetReads();

  std::u16string source_;
  std::shared_ptr<const ColumnSet> columns_;  // shared by texts of one shape
  std::vector<Variant> cells_;                // the first rows, one after the other
  size_t buffered_ = 0;                       // how many rows cells_ holds
  size_t pos_ = 0;
  // Past the buffered rows: the statement, how many rows it has given since
  // it was (re)started, the current row, and where the rows end once known.
  std::shared_ptr<const void> owner_;
  Statement stmt_;
  std::unordered_set<Dynaset*>* streamingIn_ = nullptr;  // its worker's streaming ones
  size_t stepped_ = 0;
  size_t seen_ = 0;
  std::vector<Variant> row_;
  std::optional<size_t> end_;
};

// Ends the reads of every dynaset of this worker that stands half-way
// through a large result, so that no file stays locked between statements.
void suspendDynasetReads();

class TableRecordset : public Recordset {
 public:
  TableRecordset(std::shared_ptr<SqliteDatabase> db, std::u16string table);

  bool isTableType() const override { return true; }
  void setIndex(const std::u16string& name) override;
  void Seek(const std::u16string& comparison, const Variant& key) override;
  bool NoMatch() const override { return noMatch_; }
  Variant Fields(const std::u16string& name) const override;
  long RecordCount() const override;
  // The current row as read: a Seek of a key read before in the snapshot
  // (or in an earlier one over unchanged data) gives the same object.
  std::shared_ptr<const void> rowIdentity() const override {
    settle();
    return current_ ? row_ : nullptr;
  }
  void MoveFirst() override;
  void MoveNext() override;
  bool Eof() const override {
    settle();
    return !current_;
  }

 private:
  std::string selectRows() const;  // "SELECT rowid, * FROM "T""
  // Reads the first row once something looks at the position the opening
  // left; a Seek or move before that makes the read unneeded.
  void settle() const;
  // Current index order from its column `from` on, then rowid.
  std::string orderBy(size_t from = 0) const;
  // Loads the row with the given rowid; false when it no longer exists.
  bool load(sqlite3_int64 rowid);
  void loadFirst();

  std::shared_ptr<SqliteDatabase> db_;
  std::u16string table_;
  std::string quotedTable_;                   // UTF-8, quoted
  std::shared_ptr<const ColumnSet> columns_;  // kept per schema (schemaSlot)
  std::optional<IndexDef> index_;
  std::string seekSql_;  // built once per index
  // Rowids in the current order, read at the first MoveNext after an index
  // is set, and the current row's place among them.
  std::vector<sqlite3_int64> order_;
  size_t orderPos_ = 0;
  // The current row; the first one is read when first needed (settle).
  mutable bool atFirst_ = true;
  mutable std::optional<sqlite3_int64> current_;
  mutable std::shared_ptr<const std::vector<Variant>> row_;
  bool noMatch_ = false;
  // The key of the Seek that put the recordset where it stands, and the
  // snapshot it ran in; reset by every other move.
  struct LastSeek {
    std::uint64_t snapshot;
    std::u16string key;
  };
  std::optional<LastSeek> lastSeek_;
};

}  // namespace dorvane::db
