#include "platform/db/access/access_virtual_table.h"

#include <dorvane/runtime_error.h>

#include <charconv>
#include <map>
#include <vector>

#include "platform/db/access/access_values.h"
#include "platform/db/access/jet_collation.h"
#include "platform/db/sqlite/sqlite_connection.h"

namespace dorvane::db {

class StoreShelf {
 public:
  struct Entry {
    std::string declaration;  // CREATE TABLE x(...) for sqlite3_declare_vtab
    std::vector<std::string> names;
    std::shared_ptr<const ColumnStore> store;
  };
  std::map<std::string, Entry> entries;  // by table name
};

namespace {

constexpr const char* kModule = "dorvane_access";

struct Table : sqlite3_vtab {
  const StoreShelf::Entry* entry = nullptr;
  const ColumnStore& store() const { return *entry->store; }
};

struct Cursor : sqlite3_vtab_cursor {
  bool scan = false;
  std::vector<std::uint32_t> rows;  // the candidates when not scanning
  std::size_t pos = 0;
  // The current row's values, read at its first column asked for.
  std::vector<ColumnStore::Value> values;
  bool read = false;
  const ColumnStore& store() const { return static_cast<Table*>(pVtab)->store(); }
  std::size_t count() const { return scan ? store().rows() : rows.size(); }
  std::size_t row() const { return scan ? pos : rows[pos]; }
};

int connectTable(sqlite3* db, void* aux, int argc, const char* const* argv, sqlite3_vtab** out,
                 char** error) {
  const auto& shelf = *static_cast<std::shared_ptr<StoreShelf>*>(aux);
  auto it = argc > 2 ? shelf->entries.find(argv[2]) : shelf->entries.end();
  if (it == shelf->entries.end()) {
    *error = sqlite3_mprintf("no table was read for %s", argc > 2 ? argv[2] : "?");
    return SQLITE_ERROR;
  }
  int rc = sqlite3_declare_vtab(db, it->second.declaration.c_str());
  if (rc != SQLITE_OK) return rc;
  sqlite3_vtab_config(db, SQLITE_VTAB_INNOCUOUS);
  auto* table = new Table();
  table->entry = &it->second;
  *out = table;
  return SQLITE_OK;
}

int disconnectTable(sqlite3_vtab* table) {
  delete static_cast<Table*>(table);
  return SQLITE_OK;
}

// A comparison the lookup can answer: on a text column, under a collation
// whose equal texts the Jet collation calls equal too.
bool lookupCollation(const char* name) {
  return name && (sqlite3_stricmp(name, kJetCollation) == 0 ||
                  sqlite3_stricmp(name, "BINARY") == 0 || sqlite3_stricmp(name, "NOCASE") == 0);
}

int bestIndex(sqlite3_vtab* vtab, sqlite3_index_info* info) {
  const auto* table = static_cast<Table*>(vtab);
  const ColumnStore& store = table->store();
  int rowid = -1, column = -1;
  for (int i = 0; i < info->nConstraint; ++i) {
    const auto& c = info->aConstraint[i];
    if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (c.iColumn < 0) {
      rowid = i;
    } else if (column < 0 && static_cast<std::size_t>(c.iColumn) < store.columns() &&
               (store.affinity(static_cast<std::size_t>(c.iColumn)) != Affinity::Text ||
                lookupCollation(sqlite3_vtab_collation(info, i)))) {
      column = i;
    }
  }
  const double rows = static_cast<double>(store.rows());
  // Rows come in rowid order, whichever way they are found.
  if (info->nOrderBy == 1 && info->aOrderBy[0].iColumn < 0 && !info->aOrderBy[0].desc)
    info->orderByConsumed = 1;
  // SQLite checks every comparison again on the rows given (omit stays 0).
  if (rowid >= 0) {
    info->aConstraintUsage[rowid].argvIndex = 1;
    info->idxNum = 1;
    info->estimatedCost = 1;
    info->estimatedRows = 1;
    info->idxFlags = SQLITE_INDEX_SCAN_UNIQUE;
  } else if (column >= 0) {
    const int col = info->aConstraint[column].iColumn;
    info->aConstraintUsage[column].argvIndex = 1;
    info->idxNum = 2 + col;
    info->idxStr =
        sqlite3_mprintf("lookup on %s", table->entry->names[static_cast<std::size_t>(col)].c_str());
    info->needToFreeIdxStr = 1;
    info->estimatedCost = 10;
    info->estimatedRows = 10;
  } else {
    info->idxNum = 0;
    info->estimatedCost = rows + 10;
    info->estimatedRows = static_cast<sqlite3_int64>(rows);
  }
  return SQLITE_OK;
}

int openCursor(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = new Cursor();
  return SQLITE_OK;
}

int closeCursor(sqlite3_vtab_cursor* cursor) {
  delete static_cast<Cursor*>(cursor);
  return SQLITE_OK;
}

// The number a text stands for when all of it is one (blanks around and a
// leading "+" allowed, as SQLite reads numbers in texts), whatever the locale.
bool number(std::string_view text, double& out) {
  auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

int filterRows(sqlite3_vtab_cursor* vcursor, int idxNum, const char*, int argc,
               sqlite3_value** argv) {
  auto* cursor = static_cast<Cursor*>(vcursor);
  const ColumnStore& store = cursor->store();
  cursor->rows.clear();
  cursor->pos = 0;
  cursor->read = false;
  cursor->scan = idxNum == 0 || argc < 1;
  if (cursor->scan) return SQLITE_OK;
  sqlite3_value* v = argv[0];
  const int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return SQLITE_OK;  // "= Null" holds for no row
  if (idxNum == 1) {
    const sqlite3_int64 rowid = sqlite3_value_int64(v);
    if (type != SQLITE_INTEGER)
      cursor->scan = true;
    else if (rowid >= 1 && static_cast<std::uint64_t>(rowid) <= store.rows())
      cursor->rows.push_back(static_cast<std::uint32_t>(rowid - 1));
    return SQLITE_OK;
  }
  const auto column = static_cast<std::size_t>(idxNum - 2);
  const bool textColumn = store.affinity(column) == Affinity::Text;
  double x = 0;
  if (type == SQLITE_TEXT && textColumn) {
    const auto* text = sqlite3_value_text(v);
    store.textCandidates(column,
                         std::string_view(reinterpret_cast<const char*>(text),
                                          static_cast<std::size_t>(sqlite3_value_bytes(v))),
                         cursor->rows);
  } else if (type == SQLITE_TEXT &&
             number(std::string_view(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                     static_cast<std::size_t>(sqlite3_value_bytes(v))),
                    x)) {
    store.numberCandidates(column, x, cursor->rows);
  } else if ((type == SQLITE_INTEGER || type == SQLITE_FLOAT) && !textColumn) {
    store.numberCandidates(column, sqlite3_value_double(v), cursor->rows);
  } else {
    // A number compared with text, a text that is no number, a blob: the
    // lookup cannot tell, so every row is a candidate.
    cursor->scan = true;
  }
  for (std::uint32_t row : cursor->rows) store.prefetch(row);
  return SQLITE_OK;
}

int nextRow(sqlite3_vtab_cursor* vcursor) {
  auto* cursor = static_cast<Cursor*>(vcursor);
  ++cursor->pos;
  cursor->read = false;
  return SQLITE_OK;
}

int atEnd(sqlite3_vtab_cursor* vcursor) {
  auto* cursor = static_cast<Cursor*>(vcursor);
  return cursor->pos >= cursor->count();
}

int columnOf(sqlite3_vtab_cursor* vcursor, sqlite3_context* ctx, int i) {
  auto* cursor = static_cast<Cursor*>(vcursor);
  const ColumnStore& store = cursor->store();
  if (i < 0 || static_cast<std::size_t>(i) >= store.columns()) {
    sqlite3_result_null(ctx);
    return SQLITE_OK;
  }
  if (!cursor->read) {
    store.read(cursor->row(), cursor->values);
    cursor->read = true;
  }
  const ColumnStore::Value& v = cursor->values[static_cast<std::size_t>(i)];
  switch (v.kind) {
    case ColumnStore::Kind::Null:
      sqlite3_result_null(ctx);
      break;
    case ColumnStore::Kind::Integer:
      sqlite3_result_int64(ctx, v.integer);
      break;
    case ColumnStore::Kind::Real:
      sqlite3_result_double(ctx, v.real);
      break;
    case ColumnStore::Kind::Text:
      // The store outlives every statement over it: no copy.
      sqlite3_result_text(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
      break;
    case ColumnStore::Kind::Blob:
      // An empty value stays an empty value, not Null.
      if (v.bytes.empty())
        sqlite3_result_zeroblob(ctx, 0);
      else
        sqlite3_result_blob(ctx, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
      break;
  }
  return SQLITE_OK;
}

int rowidOf(sqlite3_vtab_cursor* vcursor, sqlite3_int64* out) {
  *out = static_cast<sqlite3_int64>(static_cast<Cursor*>(vcursor)->row()) + 1;
  return SQLITE_OK;
}

sqlite3_module makeModule() {
  sqlite3_module m{};
  m.iVersion = 0;
  m.xCreate = connectTable;
  m.xConnect = connectTable;
  m.xBestIndex = bestIndex;
  m.xDisconnect = disconnectTable;
  m.xDestroy = disconnectTable;
  m.xOpen = openCursor;
  m.xClose = closeCursor;
  m.xFilter = filterRows;
  m.xNext = nextRow;
  m.xEof = atEnd;
  m.xColumn = columnOf;
  m.xRowid = rowidOf;
  return m;
}

const sqlite3_module kStoreModule = makeModule();

}  // namespace

std::shared_ptr<StoreShelf> registerStoreModule(sqlite3* db) {
  auto shelf = std::make_shared<StoreShelf>();
  // SQLite holds the shelf until the connection closes.
  sqlite3_create_module_v2(db, kModule, &kStoreModule, new std::shared_ptr<StoreShelf>(shelf),
                           [](void* p) { delete static_cast<std::shared_ptr<StoreShelf>*>(p); });
  return shelf;
}

void createStoreTable(sqlite3* db, StoreShelf& shelf, const std::string& name,
                      const AccessTableDef& def, std::shared_ptr<const ColumnStore> store) {
  StoreShelf::Entry entry;
  entry.declaration = "CREATE TABLE x(";
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const AccessColumn& c = def.columns[i];
    if (i) entry.declaration += ", ";
    entry.declaration += quoteName(c.name) + " " + declaredType(c);
    if (isTextType(c.type)) entry.declaration += std::string(" COLLATE ") + kJetCollation;
    entry.names.push_back(c.name);
  }
  if (def.columns.empty()) entry.declaration += "\"(no columns)\"";
  entry.declaration += ")";
  entry.store = std::move(store);
  auto [at, added] = shelf.entries.insert_or_assign(name, std::move(entry));
  (void)added;
  const std::string sql = "CREATE VIRTUAL TABLE " + quoteName(name) + " USING " + kModule;
  char* msg = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string error = msg ? msg : "unknown error";
    sqlite3_free(msg);
    shelf.entries.erase(at);
    throw RuntimeError(err::kCannotOpenDatabase,
                       "Cannot copy table '" + name + "' into the engine (" + error + "): " + sql);
  }
}

}  // namespace dorvane::db
