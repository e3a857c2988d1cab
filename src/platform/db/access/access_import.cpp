#include "platform/db/access/access_import.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <cstdlib>

#include "platform/db/access/access_values.h"
#include "platform/db/access/jet_collation.h"
#include "platform/db/sqlite/sqlite_values.h"
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
      batchRows_ = kBatchRows;
    }
  }
  columns_ = def.columns.size();
  pending_.resize(batchRows_ * columns_);
  begun_ = true;
}

void SqliteImportSink::row(const std::vector<JetValue>& row) {
  if (!insert_.get()) return;
  Bound* into = pending_.data() + pendingRows_ * columns_;
  for (size_t i = 0; i < columns_; ++i) hold(row[i], into[i]);
  if (++pendingRows_ == batchRows_) flush();
}

void SqliteImportSink::hold(const JetValue& v, Bound& into) {
  using Kind = Bound::Kind;
  switch (v.kind) {
    case JetValue::Kind::Null:
      into.kind = Kind::Null;
      return;
    case JetValue::Kind::Integer:
      into.kind = Kind::Integer;
      into.i = v.i;
      return;
    case JetValue::Kind::Real:
      into.kind = Kind::Real;
      into.d = v.d;
      return;
    case JetValue::Kind::Currency:
      // Money compares as a number; beyond what a double holds exactly it is
      // kept as exact decimal text.
      if (std::fabs(static_cast<double>(v.i)) < kExactCurrencyLimit) {
        into.kind = Kind::Real;
        into.d = static_cast<double>(v.i) / 10000.0;
      } else {
        into.kind = Kind::Text;
        into.text = currencyText(v.i);
      }
      return;
    case JetValue::Kind::Text:
      into.kind = Kind::Text;
      text::toUtf8(v.text, into.text);
      return;
    case JetValue::Kind::Blob:
      into.kind = Kind::Blob;
      into.bytes.assign(v.bytes.begin(), v.bytes.end());
      return;
    case JetValue::Kind::Decimal: {
      // As a number when a double gives the same digits back (so it
      // compares as a number), otherwise as its exact text.
      text::toUtf8(v.text, into.text);
      const double d = std::strtod(into.text.c_str(), nullptr);
      if (exactDecimalText(d) == into.text) {
        into.kind = Kind::Real;
        into.d = d;
      } else {
        into.kind = Kind::Text;
      }
      return;
    }
  }
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
    for (size_t r = 0; r < pendingRows_; ++r) bind(insertBatch_.get(), r, r);
    step(insertBatch_.get(), pendingRows_);
  } else {
    for (size_t r = 0; r < pendingRows_; ++r) {
      bind(insert_.get(), r, 0);
      step(insert_.get(), 1);
    }
  }
  pendingRows_ = 0;
}

void SqliteImportSink::bind(sqlite3_stmt* s, size_t row, size_t at) {
  const Bound* values = pending_.data() + row * columns_;
  for (size_t i = 0; i < columns_; ++i) {
    const Bound& v = values[i];
    const int p = static_cast<int>(at * columns_ + i + 1);
    switch (v.kind) {
      case Bound::Kind::Null:
        sqlite3_bind_null(s, p);
        break;
      case Bound::Kind::Integer:
        sqlite3_bind_int64(s, p, v.i);
        break;
      case Bound::Kind::Real:
        sqlite3_bind_double(s, p, v.d);
        break;
      case Bound::Kind::Text:
        sqlite3_bind_text(s, p, v.text.data(), static_cast<int>(v.text.size()), SQLITE_STATIC);
        break;
      case Bound::Kind::Blob:
        // An empty value stays an empty value: SQLite binds a null pointer as Null.
        if (v.bytes.empty())
          sqlite3_bind_zeroblob(s, p, 0);
        else
          sqlite3_bind_blob(s, p, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_STATIC);
        break;
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
