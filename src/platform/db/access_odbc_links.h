// The tables of an Access file that are linked to a database server through
// ODBC (catalog type 4: the Connect string says where, ForeignName which
// remote table), and the stored queries that read only such tables.
//
// Their rows stay on the server. A linked table opened by name is a dynaset
// over the server's rows; an SQL text or stored query whose tables are all
// linked to one server is translated for that server (odbc_sql.h) and run
// there, so a lookup reads only the rows it needs; a stored query it reads
// becomes a subquery. A text that mixes such tables with local ones, or with
// tables of another server, is refused with the names: it would need a join
// of two sources here.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/db/access/access_catalog.h"
#include "platform/db/odbc/odbc_sql.h"

namespace dorvane::db {

class AccessFile;

// The remote table an ODBC link names: ForeignName "dbo.Ordrar" as schema
// and table (the link's own name when ForeignName is empty).
RemoteTable remoteTableOf(const CatalogEntry& link);

// Asks the server of link for none of its remote table's rows. Raises
// 3151 when the server cannot be reached, 3146 when it refuses the table.
void checkOdbcLink(const CatalogEntry& link);

// The Access SQL text of a stored select query from its MSysQueries rows
// (any order) and MSysObjects Flags: SELECT [DISTINCT] columns FROM tables
// and joins WHERE … GROUP BY … HAVING … ORDER BY …, names in brackets,
// expressions as stored. Raises TranslateError for what it cannot rebuild
// (other query kinds, parameters, TOP, subqueries, tables of other files).
std::u16string accessQueryText(std::vector<QueryRow> rows, int objectFlags);

class AccessOdbcLinks : public ServerCatalog {
 public:
  explicit AccessOdbcLinks(AccessFile& file) : file_(file) {}

  // The recordset for source when it reads ODBC-linked tables, or nullptr
  // when it reads none (the file's own copy then runs it). Raises 3251 when
  // source mixes sources, 3151/3146/3075 as the server and translation do.
  std::shared_ptr<Recordset> open(const std::u16string& source);

  RemoteTable table(const std::u16string& written) override;
  const std::vector<OdbcColumn>& columns(const RemoteTable& table) override;

 private:
  // The attributes of the one server whose tables alone entry reads: its
  // own for a link, the common one of a query's sources; "" otherwise.
  std::string serverOf(const CatalogEntry* entry, int depth);
  // The Access SQL text of a stored query. Raises 3075 naming the query.
  std::u16string queryText(const CatalogEntry& query);

  AccessFile& file_;
  std::shared_ptr<OdbcConnection> connection_;
};

}  // namespace dorvane::db
