// The catalog of an Access file: its tables, linked tables and stored queries
// as MSysObjects lists them, and the clauses of the queries from MSysQueries.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/access/access_queries.h"
#include "platform/db/access/access_table.h"

namespace dorvane::db {

// MSysObjects types the engine uses.
namespace object_type {
inline constexpr int kTable = 1, kOdbcLinkedTable = 4, kQuery = 5, kLinkedTable = 6;
}

struct CatalogEntry {
  std::u16string name;
  int type = 0;
  std::int32_t id = 0;
  std::int32_t flags = 0;
  std::string database;     // a linked table's file, as stored (UTF-8)
  std::string foreignName;  // a linked table's name in that file or on its server (UTF-8)
  std::string connect;      // an ODBC link's connect string, password included (UTF-8)
  bool system() const;      // MSys… tables, hidden system objects and ~ temporaries
};

// A table held in memory: its definition and rows (the reader's output).
class CollectSink : public TableSink {
 public:
  void begin(const AccessTableDef& def) override { def_ = def; }
  void row(const std::vector<JetValue>& row) override { rows_.push_back(row); }
  const AccessTableDef& definition() const { return def_; }
  const std::vector<std::vector<JetValue>>& rows() const { return rows_; }
  // Position of the column named name (case-blind), or -1.
  int column(const char* name) const;

 private:
  AccessTableDef def_;
  std::vector<std::vector<JetValue>> rows_;
};

// The catalog from MSysObjects as read into sink. Raises 3049 when the table
// lacks the Name or Type column.
std::vector<CatalogEntry> catalogFromRows(const CollectSink& msysObjects, const std::string& path);

// The MSysQueries rows as read into sink, grouped by ObjectId.
std::map<std::int32_t, std::vector<QueryRow>> queryRowsFromRows(const CollectSink& msysQueries);

}  // namespace dorvane::db
