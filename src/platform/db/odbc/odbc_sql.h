// Turning an Access SQL text into a statement for a database server.
//
// The texts the merges build (select all T.* from T where T.K = 'V' and
// their like) and plain select statements over server tables are rewritten
// into standard SQL: every table and column name double-quoted in the
// server's own spelling (found case-blind, as Access finds names), tables
// under their remote names with the written name as alias, each literal
// compared with "=" sent as a parameter typed like the column it is compared
// with, [brackets] and "strings" in their standard forms, Like wildcards
// * and ? as % and _, DISTINCTROW as DISTINCT, True/False/Yes/No as TRUE/FALSE.
// What has no faithful standard form (&, #dates#, TOP, functions other than
// Count/Sum/Min/Max/Avg/UCase/LCase, parameters, ! references) is refused
// with the reason, never sent with another meaning.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/db/odbc/odbc_connection.h"
#include "platform/db/translate_error.h"

namespace dorvane::db {

// Where the translation finds the server's tables and their columns.
class ServerCatalog {
 public:
  virtual ~ServerCatalog() = default;
  // The server table a name in a FROM clause stands for. May raise a
  // RuntimeError for a name that stands for none.
  virtual RemoteTable table(const std::u16string& written) = 0;
  // Its columns (empty when the server has not told).
  virtual const std::vector<OdbcColumn>& columns(const RemoteTable& table) = 0;
};

struct ServerStatement {
  std::u16string sql;
  std::vector<OdbcParameter> params;
};

// The table names of sql's FROM and JOIN clauses, as written (brackets
// removed). Raises TranslateError for a text it cannot take apart.
std::vector<std::u16string> sourceTables(const std::u16string& sql);

// sql for the server. With parameterize false the compared literals stay
// literals (a statement that becomes part of another). Raises TranslateError
// with the reason for what it cannot translate, and whatever catalog raises.
ServerStatement translateForServer(const std::u16string& sql, ServerCatalog& catalog,
                                   bool parameterize = true);

}  // namespace dorvane::db
