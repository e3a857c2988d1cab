#include "platform/db/access/access_import.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <cstdlib>

#include "platform/db/access/access_values.h"
#include "platform/db/access/jet_collation.h"
#include "platform/db/sqlite_values.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
constexpr size_t kBatchRows = 64;
constexpr int kMaxParameters = 32766;         // SQLite's limit on ?NNN
constexpr double kExactCurrencyLimit = 1e15;  // scaled values below this survive a double

std::string quoted(const std::string& name) {
  return text::toUtf8(quoteName(text::fromUtf8(name)));
}
}  // namespace

SqliteImportSink::SqliteImportSink(SqliteConnection& connection, std::u16string localName)
    : connection_(connection) {
  table_.name = std::move(localName);
  exec("SAVEPOINT dorvane_import");
  open_ = true;
}

SqliteImportSink::~SqliteImportSink() {
  insert_ = Statement();
  insertBatch_ = Statement();
  if (open_) {
    sqlite3_exec(connection_.handle(), "ROLLBACK TO dorvane_import; RELEASE dorvane_import",
                 nullptr, nullptr, nullptr);
  }
}

void SqliteImportSink::exec(const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(connection_.handle(), sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string error = msg ? msg : "unknown error";
    sqlite3_free(msg);
    throw RuntimeError(err::kCannotOpenDatabase, "Cannot copy table '" + text::toUtf8(table_.name) +
                                                     "' into the engine (" + error + "): " + sql);
  }
}

void SqliteImportSink::begin(const AccessTableDef& def) {
  table_.definition = def;
  std::string sql = "CREATE TABLE " + text::toUtf8(quoteName(table_.name)) + " (";
  std::string params;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const AccessColumn& c = def.columns[i];
    if (i) sql += ", ", params += ", ";
    sql += quoted(c.name) + " " + declaredType(c);
    if (isTextType(c.type)) sql += std::string(" COLLATE ") + kJetCollation;
    params += "?" + std::to_string(i + 1);
  }
  if (def.columns.empty()) sql += "\"(no columns)\"";
  exec(sql + ")");
  if (!def.columns.empty()) {
    const std::u16string into = u"INSERT INTO " + quoteName(table_.name) + u" VALUES ";
    insert_ = connection_.prepare(into + u"(" + text::fromUtf8(params) + u")");
    if (def.columns.size() * kBatchRows <= static_cast<size_t>(kMaxParameters)) {
      std::string values;
      for (size_t r = 0; r < kBatchRows; ++r) {
        values += r ? ", (" : "(";
        for (size_t i = 0; i < def.columns.size(); ++i)
          values += (i ? ", ?" : "?") + std::to_string(r * def.columns.size() + i + 1);
        values += ")";
      }
      insertBatch_ = connection_.prepare(into + text::fromUtf8(values));
      pending_.resize(kBatchRows);
    }
  }
  begun_ = true;
}

void SqliteImportSink::row(const std::vector<JetValue>& row) {
  if (!insert_.get()) return;
  if (pending_.empty()) {  // no batch statement: one row at a time
    pending_.push_back(row);
    pendingRows_ = 1;
    flush();
    pending_.clear();
    return;
  }
  pending_[pendingRows_++] = row;  // reuses the held strings' room
  if (pendingRows_ == kBatchRows) flush();
}

void SqliteImportSink::flush() {
  auto step = [&](sqlite3_stmt* s, size_t rows) {
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) {
      throw RuntimeError(err::kCannotOpenDatabase,
                         "Cannot copy a row of table '" + text::toUtf8(table_.name) +
                             "' into the engine (" + connection_.lastError() + ").");
    }
    table_.rows += static_cast<long long>(rows);
  };
  if (pendingRows_ == kBatchRows && insertBatch_.get()) {
    for (size_t r = 0; r < pendingRows_; ++r) bind(insertBatch_.get(), pending_[r], r);
    step(insertBatch_.get(), pendingRows_);
  } else {
    for (size_t r = 0; r < pendingRows_; ++r) {
      bind(insert_.get(), pending_[r], 0);
      step(insert_.get(), 1);
    }
  }
  pendingRows_ = 0;
}

void SqliteImportSink::bind(sqlite3_stmt* s, const std::vector<JetValue>& row, size_t at) {
  for (size_t i = 0; i < row.size(); ++i) {
    const JetValue& v = row[i];
    int p = static_cast<int>(at * row.size() + i + 1);
    switch (v.kind) {
      case JetValue::Kind::Null:
        sqlite3_bind_null(s, p);
        break;
      case JetValue::Kind::Integer:
        sqlite3_bind_int64(s, p, v.i);
        break;
      case JetValue::Kind::Real:
        sqlite3_bind_double(s, p, v.d);
        break;
      case JetValue::Kind::Currency:
        // Money compares as a number; beyond what a double holds exactly it is
        // kept as exact decimal text.
        if (std::fabs(static_cast<double>(v.i)) < kExactCurrencyLimit) {
          sqlite3_bind_double(s, p, static_cast<double>(v.i) / 10000.0);
        } else {
          std::string t = currencyText(v.i);
          sqlite3_bind_text(s, p, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        }
        break;
      case JetValue::Kind::Text:
        sqlite3_bind_text16(s, p, v.text.data(), static_cast<int>(v.text.size() * 2),
                            SQLITE_STATIC);
        break;
      case JetValue::Kind::Blob:
        // An empty value stays an empty value: SQLite binds a null pointer as Null.
        if (v.bytes.empty())
          sqlite3_bind_zeroblob(s, p, 0);
        else
          sqlite3_bind_blob(s, p, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
        break;
      case JetValue::Kind::Decimal: {
        // As a number when a double gives the same digits back (so it
        // compares as a number), otherwise as its exact text.
        std::string t = text::toUtf8(v.text);
        double d = std::strtod(t.c_str(), nullptr);
        if (exactDecimalText(d) == t) {
          sqlite3_bind_double(s, p, d);
        } else {
          sqlite3_bind_text(s, p, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
        }
        break;
      }
    }
  }
}

ImportedTable SqliteImportSink::commit() {
  if (!begun_) {
    throw RuntimeError(err::kCannotOpenDatabase,
                       "No definition was read for table '" + text::toUtf8(table_.name) + "'.");
  }
  flush();
  insert_ = Statement();
  insertBatch_ = Statement();
  const AccessTableDef& def = table_.definition;
  for (const AccessIndex& x : def.indexes) {
    IndexDef d;
    d.name = text::fromUtf8(x.name);
    std::string cols;
    for (size_t k = 0; k < x.columns.size(); ++k) {
      const AccessColumn& c = def.columns[static_cast<size_t>(x.columns[k])];
      bool isText = isTextType(c.type);
      d.columns.push_back(text::fromUtf8(c.name));
      d.collations.push_back(isText ? u"JET" : u"BINARY");
      if (k) cols += ", ";
      cols += quoted(c.name) + (isText ? " COLLATE JET" : "") + (x.descending[k] ? " DESC" : "");
    }
    table_.indexes.push_back(std::move(d));
    table_.indexColumns.push_back(std::move(cols));
    table_.indexCreated.push_back(false);
  }
  exec("RELEASE dorvane_import");
  open_ = false;
  return std::move(table_);
}

namespace {
void createIndex(SqliteConnection& connection, ImportedTable& table, const std::string& columns,
                 int& indexCounter) {
  std::string sql = "CREATE INDEX dorvane_ix_" + std::to_string(++indexCounter) + " ON " +
                    text::toUtf8(quoteName(table.name)) + " (" + columns + ")";
  char* msg = nullptr;
  if (sqlite3_exec(connection.handle(), sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string error = msg ? msg : "unknown error";
    sqlite3_free(msg);
    throw RuntimeError(err::kCannotOpenDatabase, "Cannot index table '" + text::toUtf8(table.name) +
                                                     "' (" + error + "): " + sql);
  }
}
}  // namespace

void ensureAccessIndex(SqliteConnection& connection, ImportedTable& table, size_t index,
                       int& indexCounter) {
  if (table.indexCreated.at(index)) return;
  createIndex(connection, table, table.indexColumns[index], indexCounter);
  table.indexCreated[index] = true;
  table.leadingColumns.push_back(table.indexes[index].columns[0]);
}

bool ensureColumnIndex(SqliteConnection& connection, ImportedTable& table,
                       const std::u16string& column, int& indexCounter) {
  const AccessColumn* found = nullptr;
  for (const auto& c : table.definition.columns)
    if (text::equalsText(text::fromUtf8(c.name), column)) found = &c;
  if (!found) return false;
  std::u16string name = text::fromUtf8(found->name);
  for (const auto& lead : table.leadingColumns)
    if (text::equalsText(lead, name)) return true;
  // The column's own collation (Jet for text) applies, as in its comparisons.
  createIndex(connection, table, quoted(found->name), indexCounter);
  table.leadingColumns.push_back(name);
  return true;
}

}  // namespace dorvane::db
