// The two recordset types over SQLite.
//
// TableRecordset: a table opened by name. It reads rows on demand, so it sees
// the table's current data; Index and Seek use the table's named indexes.
// Dynaset: the rows of a view, query or SQL text, read in full when opened.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/sqlite_database.h"
#include "platform/db/sqlite_values.h"

namespace dorvane::db {

// Column names and kinds shared by both recordset types.
struct ColumnSet {
  std::vector<std::u16string> names;
  std::vector<ColumnKind> kinds;
  // Index of the column named name (case-blind), or -1.
  int find(const std::u16string& name) const;
  // Reads columns [first, count) of stmt's current row.
  std::vector<Variant> readRow(sqlite3_stmt* stmt, int first) const;
  static ColumnSet fromStatement(sqlite3_stmt* stmt, int first);
};

class Dynaset : public Recordset {
 public:
  // Runs stmt to its end and keeps the rows. source names the recordset in errors.
  Dynaset(Statement stmt, std::u16string source);

  bool isTableType() const override { return false; }
  void setIndex(const std::u16string& name) override;
  void Seek(const std::u16string& comparison, const Variant& key) override;
  bool NoMatch() const override { return false; }
  Variant Fields(const std::u16string& name) const override;
  long RecordCount() const override { return static_cast<long>(rows_.size()); }
  void MoveFirst() override;
  void MoveNext() override;
  bool Eof() const override { return pos_ >= rows_.size(); }

 private:
  std::u16string source_;
  std::shared_ptr<const ColumnSet> columns_;  // shared by texts of one shape
  std::vector<std::vector<Variant>> rows_;
  size_t pos_ = 0;
};

class TableRecordset : public Recordset {
 public:
  TableRecordset(std::shared_ptr<SqliteDatabase> db, std::u16string table);

  bool isTableType() const override { return true; }
  void setIndex(const std::u16string& name) override;
  void Seek(const std::u16string& comparison, const Variant& key) override;
  bool NoMatch() const override { return noMatch_; }
  Variant Fields(const std::u16string& name) const override;
  long RecordCount() const override;
  void MoveFirst() override;
  void MoveNext() override;
  bool Eof() const override { return !current_; }

 private:
  std::string selectRows() const;  // "SELECT rowid, * FROM "T""
  std::string orderBy() const;     // current index order, then rowid
  // Loads the row with the given rowid; false when it no longer exists.
  bool load(sqlite3_int64 rowid);
  void loadFirst();

  std::shared_ptr<SqliteDatabase> db_;
  std::u16string table_;
  std::string quotedTable_;  // UTF-8, quoted
  ColumnSet columns_;
  std::optional<IndexDef> index_;
  std::string seekSql_;  // built once per index
  // Rowids in the current order, read at the first MoveNext after an index
  // is set, and the current row's place among them.
  std::vector<sqlite3_int64> order_;
  size_t orderPos_ = 0;
  std::optional<sqlite3_int64> current_;
  std::vector<Variant> row_;
  bool noMatch_ = false;
};

}  // namespace dorvane::db
