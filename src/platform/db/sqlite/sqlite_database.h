// A database whose SQL runs on SQLite: a SQLite file opened as it is, or the
// in-memory copy of an Access file that the Access reader fills on demand.
//
// The hooks (objectKind, findIndex, importTable, isLinked) are where a reader
// that imports tables lazily plugs in; the defaults read the SQLite schema.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/sqlite/sqlite_connection.h"

namespace dorvane::db {

// An index as Seek uses it: its key columns in order with their collations.
struct IndexDef {
  std::u16string name;
  std::vector<std::u16string> columns;
  std::vector<std::u16string> collations;  // "BINARY", "NOCASE", or a registered one
};

class SqliteDatabase : public Database, public std::enable_shared_from_this<SqliteDatabase> {
 public:
  SqliteDatabase(std::shared_ptr<SqliteConnection> connection, std::u16string name)
      : connection_(std::move(connection)), name_(std::move(name)) {}

  std::shared_ptr<Recordset> OpenRecordset(const std::u16string& source) override;
  // A text of a shape the connection has prepared before runs that statement
  // with the values bound (where parameterizesAs proves it the statement the
  // text itself would run); any other goes through OpenRecordset.
  std::shared_ptr<Recordset> OpenLookup(std::u16string sql, const LiteralShape& shape) override;
  const std::u16string& name() const override { return name_; }

  SqliteConnection& connection() { return *connection_; }

  // Whether name is a table or a view of this database (names compare case-blind).
  virtual ObjectKind objectKind(const std::u16string& name);
  // The named index of table, or nothing.
  virtual std::optional<IndexDef> findIndex(const std::u16string& table,
                                            const std::u16string& index);
  // Makes table name available when it exists in the source but not yet in
  // SQLite; true when it is available afterwards. The default has nothing to import.
  virtual bool importTable(const std::u16string& name);
  // Linked tables are tables in SQLite but not table-type recordsets.
  virtual bool isLinked(const std::u16string& table);
  // Called before an SQL text (a source that names no table or query) is
  // prepared, at least once for each shape of text (its compared literals
  // taken out) on the connection: a later text of a shape prepared before
  // may run without it. The default does nothing.
  virtual void beforeSql(const std::u16string& sql);

 private:
  // The named index of table as the schema lists it, or nothing.
  std::optional<IndexDef> readIndex(const std::u16string& table, const std::u16string& index);
  // What source names: a table or a view of this database (imported first
  // when the source has it but SQLite not yet), or nothing (an SQL text).
  // A source in brackets leaves the name inside them in inBrackets.
  ObjectKind namedObject(const std::u16string& source, std::u16string& inBrackets);
  // Prepares sql, importing each missing table it names first.
  Statement prepareImporting(const std::u16string& sql);

  std::shared_ptr<SqliteConnection> connection_;
  std::u16string name_;
};

// The name a source gives when it is a name: source itself, or what stands
// between one pair of enclosing brackets ("[Order Details]").
std::u16string sourceName(const std::u16string& source);

// A source without blanks cannot be an SQL statement: an unknown one is an
// unknown name.
bool isSingleWord(const std::u16string& source);

}  // namespace dorvane::db
