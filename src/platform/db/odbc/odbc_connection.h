// A connection to a database server through the ODBC driver manager
// (unixODBC), with its prepared statements and what it learnt from the
// server's catalog.
//
// Connections are pooled per connect string and per worker
// (platform/worker_state.h): pooled() hands out the worker's connection for
// those attributes, connecting on first use, and keeps it for the worker's
// life. A connection the server dropped is
// left out of the pool at its first failure, so the next open connects
// afresh. Statements are prepared once per SQL text (one text per shape: the
// compared values are parameters) and kept.
//
// Login and statement time-outs bound every call: DORVANE_ODBC_LOGIN_TIMEOUT
// and DORVANE_ODBC_QUERY_TIMEOUT (seconds; defaults 15 and 60, 0 = none).
//
// Every failure raises RuntimeError 3151 (connecting) or 3146 (any later
// call) whose description carries the driver's SQLSTATE and message, with
// passwords masked. A connection is used on one thread only.
#pragma once

#include <dorvane/variant.h>
// Windows's ODBC headers need the system's types declared first.
#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::db {

// A column of a result or of a server table.
struct OdbcColumn {
  std::u16string name;
  SQLSMALLINT sqlType = SQL_WVARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  bool boolean = false;  // the server's boolean type, whatever SQL type the driver reports
};

// A value compared in a statement, sent as text and converted by the driver
// to the type of the column it is compared with.
struct OdbcParameter {
  std::u16string value;
  OdbcColumn target;  // the compared column's type, or a plain text column
};

struct OdbcRows {
  std::shared_ptr<const std::vector<OdbcColumn>> columns;
  std::vector<std::vector<Variant>> rows;
  // Position of the column named name (case-blind), or -1.
  int find(const std::u16string& name) const;
};

// A table or view of the server, spelled exactly as the server does.
struct RemoteTable {
  std::u16string schema;  // "" when the server has none
  std::u16string name;
  bool view = false;
  // A stored query standing for a table: its statement for the server, run
  // as a subquery (name is then the query's own name).
  std::u16string select;
  // "schema"."name" quoted for SQL texts, or the subquery in parentheses.
  std::u16string quoted() const;
};

class OdbcConnection {
 public:
  // The thread's connection for attributes (a connect string without its
  // "ODBC;" prefix), connected now when there is none. Raises 3151.
  static std::shared_ptr<OdbcConnection> pooled(const std::string& attributes);

  ~OdbcConnection();
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  // Runs sql (prepared once and kept) with params bound in order and reads
  // every row. Raises 3146 with the server's diagnostic.
  OdbcRows run(const std::u16string& sql, const std::vector<OdbcParameter>& params);

  // The table or view named name: "schema.table" or a bare table name, found
  // exactly first, then case-blind (the server's list is asked once, and
  // again on a miss). Nothing when the server has no such one.
  std::optional<RemoteTable> findTable(const std::u16string& name);
  // The columns of table in their order (asked once; a subquery's from its
  // result). Raises 3146.
  const std::vector<OdbcColumn>& columns(const RemoteTable& table);
  // The key columns, in order, of table's index named index (case-blind),
  // from the driver's catalog functions; nothing when there is no such index.
  std::optional<std::vector<std::u16string>> indexColumns(const RemoteTable& table,
                                                          const std::u16string& index);

  // Whether the server still answers a trivial round trip (no exception).
  bool answers();

  const std::string& attributes() const { return attributes_; }

 private:
  OdbcConnection(std::string attributes, SQLHDBC dbc)
      : attributes_(std::move(attributes)), dbc_(dbc) {}
  struct Prepared {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    std::shared_ptr<const std::vector<OdbcColumn>> columns;
  };
  // Raises 3146 for the failed call on handle, first leaving a dead
  // connection out of the pool.
  [[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what);
  SQLHSTMT newStatement();
  const std::vector<RemoteTable>& tables();

  std::string attributes_;
  SQLHDBC dbc_;
  std::map<std::u16string, Prepared> prepared_;
  std::optional<std::vector<RemoteTable>> tables_;
  std::map<std::u16string, std::vector<OdbcColumn>> columns_;
};

// "name" quoted for the server's SQL: double quotes, inner ones doubled.
std::u16string quoteServerName(const std::u16string& name);

}  // namespace dorvane::db
