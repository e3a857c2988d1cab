// Databases and recordsets on a database server, reached through ODBC.
//
// OdbcDatabase is a database named by an ODBC connect string ("ODBC;DSN=…").
// A table opened by name is table-type: Index takes the server's index of
// that name (from the driver's catalog functions), and Seek "=" runs one
// statement for the rows whose first index column equals the key, in index
// order; the recordset then holds those rows only (MoveNext reaches EOF after
// the last of them; the merges read only the row a Seek finds). A view, or an
// SQL text, gives a dynaset: the text is translated for the server (see
// odbc_sql.h) and its rows read when it is opened.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/odbc/odbc_connection.h"
#include "platform/db/odbc/odbc_sql.h"

namespace dorvane::db {

// The rows of one statement, read when it ran.
class OdbcDynaset : public Recordset {
 public:
  OdbcDynaset(OdbcRows rows, std::u16string source)
      : rows_(std::move(rows)), source_(std::move(source)) {}

  bool isTableType() const override { return false; }
  void setIndex(const std::u16string& name) override;
  void Seek(const std::u16string& comparison, const Variant& key) override;
  bool NoMatch() const override { return false; }
  Variant Fields(const std::u16string& name) const override;
  long RecordCount() const override { return static_cast<long>(rows_.rows.size()); }
  void MoveFirst() override;
  void MoveNext() override;
  bool Eof() const override { return pos_ >= rows_.rows.size(); }

 protected:
  OdbcRows rows_;
  std::u16string source_;
  size_t pos_ = 0;
};

// A server table opened by name.
class OdbcTableRecordset : public OdbcDynaset {
 public:
  // Reads no row yet: the first Seek, or the first look at a row, does.
  OdbcTableRecordset(std::shared_ptr<OdbcConnection> connection, RemoteTable table,
                     std::u16string source);

  bool isTableType() const override { return true; }
  // Raises 3800 when the server has no index of that name on the table.
  void setIndex(const std::u16string& name) override;
  // Raises 3019 before an index is set, 3146 when the server fails.
  void Seek(const std::u16string& comparison, const Variant& key) override;
  bool NoMatch() const override { return noMatch_; }
  Variant Fields(const std::u16string& name) const override;
  long RecordCount() const override;
  void MoveFirst() override;
  void MoveNext() override;
  bool Eof() const override;

 private:
  // Reads every row of the table in the current index's order, once.
  void readAll() const;

  std::shared_ptr<OdbcConnection> connection_;
  RemoteTable table_;
  std::u16string indexName_;
  std::vector<std::u16string> index_;  // the current index's columns
  std::u16string orderBy_;             // " ORDER BY …" for them
  mutable bool read_ = false;
  bool noMatch_ = false;
};

// Runs sql, translated for the server with catalog, as a dynaset named
// source. Raises 3075 for a text that cannot be translated (naming where it
// was to run), and what the connection raises.
std::shared_ptr<Recordset> openOnServer(OdbcConnection& connection, ServerCatalog& catalog,
                                        const std::u16string& sql, const std::u16string& source);

class OdbcDatabase : public Database, public ServerCatalog {
 public:
  // Connects (or takes the worker's pooled connection) for name, a connect
  // string beginning "ODBC;". Raises 3151.
  explicit OdbcDatabase(std::u16string name);

  // A table by name is table-type, a view a dynaset; anything else is SQL
  // text. Raises 3078 for a name the server lacks.
  std::shared_ptr<Recordset> OpenRecordset(const std::u16string& source) override;
  const std::u16string& name() const override { return name_; }

  RemoteTable table(const std::u16string& written) override;
  const std::vector<OdbcColumn>& columns(const RemoteTable& table) override;

 private:
  std::u16string name_;
  std::shared_ptr<OdbcConnection> connection_;
};

}  // namespace dorvane::db
