#include "platform/db/access/access_import.h"

#include <dorvane/runtime_error.h>

#include "platform/db/access/access_column_store.h"
#include "platform/db/access/access_table_cache.h"
#include "platform/db/access/access_values.h"
#include "platform/db/access/jet_collation.h"
#include "platform/text/utf.h"

namespace dorvane::db {

ImportedTable importAccessTable(sqlite3* db, StoreShelf& shelf, const std::u16string& localName,
                                const std::string& file, const std::string& table) {
  ColumnStoreSink sink;
  readAccessTableCached(file, table, sink);
  std::shared_ptr<ColumnStore> store = sink.take();
  if (!store) {
    throw RuntimeError(err::kCannotOpenDatabase,
                       "No definition was read for table '" + text::toUtf8(localName) + "'.");
  }
  ImportedTable t;
  t.name = localName;
  t.definition = sink.definition();
  t.rows = static_cast<long long>(store->rows());
  for (const AccessIndex& x : t.definition.indexes) {
    IndexDef d;
    d.name = text::fromUtf8(x.name);
    for (int column : x.columns) {
      const AccessColumn& c = t.definition.columns[static_cast<size_t>(column)];
      d.columns.push_back(text::fromUtf8(c.name));
      d.collations.push_back(isTextType(c.type) ? text::fromUtf8(kJetCollation) : u"BINARY");
    }
    t.indexes.push_back(std::move(d));
  }
  createStoreTable(db, shelf, text::toUtf8(localName), t.definition, std::move(store));
  return t;
}

}  // namespace dorvane::db
