// The state of one Access file: its catalog and the in-memory SQLite database
// that shows its tables, linked tables and stored queries.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/access/access_catalog.h"
#include "platform/db/access/access_import.h"
#include "platform/db/file_format.h"
#include "platform/db/sqlite/sqlite_database.h"

namespace dorvane::db {

// The state of one Access file: its catalog and the in-memory copy.
class AccessFile {
 public:
  // Reads the catalog of the file at utf8Path. Raises as openAccessDatabase.
  static std::shared_ptr<AccessFile> open(const std::string& utf8Path, FileFormat format);

  const std::string& path() const { return path_; }
  FileFormat format() const { return format_; }
  const std::shared_ptr<SqliteConnection>& connection() const { return connection_; }
  const std::vector<CatalogEntry>& catalog() const { return catalog_; }
  // The catalog entry named name (case-blind), or nullptr.
  const CatalogEntry* find(const std::u16string& name) const;

  // Makes the table, linked table or query named by entry available in the
  // copy. Raises 3049 for a damaged table, 3024 for a linked table whose file
  // is missing, 3049 for a link that is not to an Access file, 3075 for a
  // query that cannot be translated (the description names the query and the
  // reason).
  void import(const CatalogEntry& entry);
  // The copied table named name (case-blind), or nullptr.
  const ImportedTable* imported(const std::u16string& name) const;
  // The Access index `index` of the copied table `table` (names case-blind),
  // or nothing when there is no such index.
  std::optional<IndexDef> index(const std::u16string& table, const std::u16string& index) const;

  // The SELECT statement rebuilt for a stored query. Raises as import.
  std::string querySql(const CatalogEntry& entry);
  // The MSysQueries rows of a stored query, or nullptr. Raises 3049 when
  // MSysQueries cannot be read.
  const std::vector<QueryRow>* queryRows(const CatalogEntry& entry);
  // The file a linked table reads from. Raises 3024 when there is none.
  std::string linkedPath(const CatalogEntry& entry) const;

 private:
  AccessFile(std::string path, FileFormat format);
  void importTable(const CatalogEntry& entry, const std::string& file, const std::string& table);

  std::string path_;
  FileFormat format_;
  std::shared_ptr<SqliteConnection> connection_;
  std::shared_ptr<StoreShelf> shelf_;  // the copied tables' stores
  std::vector<CatalogEntry> catalog_;
  std::vector<ImportedTable> imported_;
  std::vector<std::u16string> views_;  // stored queries made into views
  std::optional<std::map<std::int32_t, std::vector<QueryRow>>> queryRows_;
};

}  // namespace dorvane::db
