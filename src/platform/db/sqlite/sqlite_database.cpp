#include "platform/db/sqlite/sqlite_database.h"

#include <dorvane/runtime_error.h>

#include "platform/db/sqlite/sqlite_recordset.h"
#include "platform/db/sqlite/sqlite_values.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
constexpr int kMaxImportsPerStatement = 64;

}  // namespace

bool isSingleWord(const std::u16string& source) {
  if (source.empty()) return false;
  for (char16_t c : source)
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == 0x3000) return false;
  return true;
}

std::u16string sourceName(const std::u16string& source) {
  if (source.size() > 2 && source.front() == u'[' && source.back() == u']' &&
      source.find_first_of(u"[]", 1) == source.size() - 1)
    return source.substr(1, source.size() - 2);
  return source;
}

ObjectKind SqliteDatabase::objectKind(const std::u16string& name) {
  if (auto known = connection_->knownKind(name)) return *known;
  Statement stmt = connection_->cachedStatement(
      "SELECT type FROM sqlite_master WHERE type IN ('table', 'view') "
      "AND name = ?1 COLLATE NOCASE LIMIT 1");
  bindVariant(stmt.get(), 1, Variant::string(name));
  if (!stmt.step()) return ObjectKind::None;
  const char* type = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
  return std::string(type ? type : "") == "table" ? ObjectKind::Table : ObjectKind::View;
}

std::optional<IndexDef> SqliteDatabase::findIndex(const std::u16string& table,
                                                  const std::u16string& index) {
  // Found once per schema: a reference table's index is set on every pass.
  std::shared_ptr<const void>* slot =
      connection_->schemaSlot("index\x1f" + text::toUtf8(table) + "\x1f" + text::toUtf8(index));
  if (slot && *slot) return *static_cast<const std::optional<IndexDef>*>(slot->get());
  auto found = std::make_shared<std::optional<IndexDef>>(readIndex(table, index));
  if (slot) *slot = found;
  return *found;
}

std::optional<IndexDef> SqliteDatabase::readIndex(const std::u16string& table,
                                                  const std::u16string& index) {
  std::u16string indexName;
  {
    Statement stmt = connection_->cachedStatement(
        "SELECT name FROM pragma_index_list(?1) WHERE name = ?2 COLLATE NOCASE LIMIT 1");
    bindVariant(stmt.get(), 1, Variant::string(table));
    bindVariant(stmt.get(), 2, Variant::string(index));
    if (!stmt.step()) return std::nullopt;
    indexName = columnText16(stmt.get(), 0, connection_->textIsUtf16());
  }
  IndexDef def;
  def.name = indexName;
  Statement stmt = connection_->cachedStatement(
      "SELECT name, coll FROM pragma_index_xinfo(?1) WHERE key = 1 AND cid >= 0 "
      "ORDER BY seqno");
  bindVariant(stmt.get(), 1, Variant::string(indexName));
  while (stmt.step()) {
    def.columns.push_back(columnText16(stmt.get(), 0));
    def.collations.push_back(columnText16(stmt.get(), 1));
  }
  // An index on expressions only cannot serve a Seek on a field.
  if (def.columns.empty()) return std::nullopt;
  return def;
}

bool SqliteDatabase::importTable(const std::u16string&) { return false; }

bool SqliteDatabase::isLinked(const std::u16string&) { return false; }

void SqliteDatabase::beforeSql(const std::u16string&) {}

Statement SqliteDatabase::prepareImporting(const std::u16string& sql) {
  std::string error;
  for (int attempt = 0; attempt < kMaxImportsPerStatement; ++attempt) {
    Statement stmt;
    if (connection_->tryPrepare(sql, stmt, error)) return stmt;
    static const std::string kNoSuchTable = "no such table: ";
    if (error.rfind(kNoSuchTable, 0) != 0) break;
    std::string missing = error.substr(kNoSuchTable.size());
    if (missing.rfind("main.", 0) == 0) missing.erase(0, 5);
    if (!importTable(text::fromUtf8(missing))) break;
  }
  throwRejected(error, text::toUtf8(sql));
}

ObjectKind SqliteDatabase::namedObject(const std::u16string& source, std::u16string& inBrackets) {
  // A source is a name when the database has a table or query of that name
  // (case-blind, blanks and punctuation included); anything else is SQL.
  if (!source.empty() && source.front() == u'[') inBrackets = sourceName(source);
  const std::u16string& name = inBrackets.empty() ? source : inBrackets;
  ObjectKind kind = name.empty() ? ObjectKind::None : objectKind(name);
  if (kind == ObjectKind::None && !name.empty() && importTable(name)) kind = objectKind(name);
  return kind;
}

std::shared_ptr<Recordset> SqliteDatabase::OpenRecordset(const std::u16string& source) {
  std::u16string inBrackets;
  const ObjectKind kind = namedObject(source, inBrackets);
  const std::u16string& name = inBrackets.empty() ? source : inBrackets;
  if (kind == ObjectKind::Table && !isLinked(name))
    return std::make_shared<TableRecordset>(shared_from_this(), name);
  if (kind != ObjectKind::None) {
    Statement stmt = prepareImporting(u"SELECT * FROM " + quoteName(name));
    return std::make_shared<Dynaset>(std::move(stmt), source, shared_from_this(),
                                     connection_->textIsUtf16());
  }
  if (isSingleWord(source))
    throw RuntimeError(err::kNoSuchTableOrQuery,
                       "The database engine cannot find the input table or query '" +
                           text::toUtf8(source) + "' in '" + text::toUtf8(name_) + "'.");
  beforeSql(source);
  Statement stmt = prepareImporting(source);
  return std::make_shared<Dynaset>(std::move(stmt), source, shared_from_this(),
                                   connection_->textIsUtf16());
}

std::shared_ptr<Recordset> SqliteDatabase::OpenLookup(std::u16string sql,
                                                      const LiteralShape& shape) {
  // The same steps as OpenRecordset(sql) up to the prepare, which the kept
  // statement of the shape stands for.
  std::u16string inBrackets;
  if (shape.shape && namedObject(sql, inBrackets) == ObjectKind::None && !isSingleWord(sql)) {
    Statement stmt;
    if (connection_->lendKnownShape(*shape.shape, shape.values, shape.count, stmt))
      return std::make_shared<Dynaset>(std::move(stmt), std::move(sql), shared_from_this(),
                                       connection_->textIsUtf16());
  }
  return OpenRecordset(sql);
}

}  // namespace dorvane::db
