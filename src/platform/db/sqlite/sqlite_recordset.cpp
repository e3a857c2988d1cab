#include "platform/db/sqlite/sqlite_recordset.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <unordered_set>

#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "platform/worker_state.h"

namespace dorvane::db {

namespace {
[[noreturn]] void throwNoField(const std::u16string& field, const std::u16string& source) {
  throw RuntimeError(err::kItemNotFound, "Item not found in this collection: '" +
                                             text::toUtf8(field) + "' is no field of '" +
                                             text::toUtf8(source) + "'.");
}

[[noreturn]] void throwNoCurrent(const std::u16string& source) {
  throw RuntimeError(err::kNoCurrentRecord, "No current record in '" + text::toUtf8(source) + "'.");
}

std::string quoted(const std::u16string& name) { return text::toUtf8(quoteName(name)); }

// An attachment, multi-value or version-history column holds a nested
// recordset in Access, which no cell or page can take.
void refuseNested(const ColumnSet& columns, int col, const std::u16string& source) {
  const char* nested = nestedColumnText(columns.kinds[static_cast<size_t>(col)]);
  if (!nested) return;
  throw RuntimeError(err::kTypeMismatch, "Type mismatch: field '" +
                                             text::toUtf8(columns.names[col]) + "' of '" +
                                             text::toUtf8(source) + "' is " + nested +
                                             ", whose value is a nested recordset, not a value.");
}

// The dynasets of this worker that read on past their buffered rows.
platform::WorkerLocal<std::unordered_set<Dynaset*>> streaming;
}  // namespace

int ColumnSet::find(const std::u16string& name) const {
  // Names are mostly asked for as the schema spells them: those first, when
  // no two names differ in case only (else the first case-blind match counts).
  if (caseDistinct)
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == name) return static_cast<int>(i);
  for (size_t i = 0; i < names.size(); ++i)
    if (text::equalsText(names[i], name)) return static_cast<int>(i);
  return -1;
}

std::vector<Variant> ColumnSet::readRow(sqlite3_stmt* stmt, int first) const {
  std::vector<Variant> row;
  row.reserve(names.size());
  appendRow(stmt, first, row);
  return row;
}

void ColumnSet::appendRow(sqlite3_stmt* stmt, int first, std::vector<Variant>& out) const {
  for (size_t i = 0; i < names.size(); ++i)
    out.push_back(columnValue(stmt, first + static_cast<int>(i), kinds[i], utf16));
}

ColumnSet ColumnSet::fromStatement(sqlite3_stmt* stmt, int first, bool utf16) {
  ColumnSet set;
  set.utf16 = utf16;
  int n = sqlite3_column_count(stmt);
  for (int i = first; i < n; ++i) {
    const void* name = sqlite3_column_name16(stmt, i);
    set.names.emplace_back(name ? static_cast<const char16_t*>(name) : u"");
    set.kinds.push_back(kindFromDeclType(sqlite3_column_decltype(stmt, i)));
  }
  for (size_t i = 0; i < set.names.size(); ++i)
    for (size_t j = 0; j < i; ++j)
      if (text::equalsText(set.names[i], set.names[j])) set.caseDistinct = false;
  return set;
}

// ---- Dynaset ---------------------------------------------------------------

Dynaset::Dynaset(Statement stmt, std::u16string source, std::shared_ptr<const void> owner,
                 bool utf16)
    : source_(std::move(source)) {
  auto* slot = stmt.slot();
  if (slot && *slot) {
    columns_ = std::static_pointer_cast<const ColumnSet>(*slot);
  } else {
    columns_ = std::make_shared<const ColumnSet>(ColumnSet::fromStatement(stmt.get(), 0, utf16));
    if (slot) *slot = columns_;
  }
  cells_.reserve(columns_->names.size());
  while (buffered_ < kBufferedRows && stmt.step()) {
    columns_->appendRow(stmt.get(), 0, cells_);
    ++buffered_;
  }
  if (buffered_ < kBufferedRows) {
    end_ = buffered_;
    return;
  }
  // Maybe more: keep the statement and read on when the walk gets there.
  owner_ = std::move(owner);
  stmt_ = std::move(stmt);
  stepped_ = buffered_;
  seen_ = buffered_;
  streamingIn_ = &*streaming;
  streamingIn_->insert(this);
}

Dynaset::~Dynaset() {
  if (streamingIn_) streamingIn_->erase(this);
}

void Dynaset::suspend() {
  if (stmt_.get() && stepped_ > 0) {
    sqlite3_reset(stmt_.get());  // the bindings stay for a rerun
    stepped_ = 0;
  }
}

void suspendDynasetReads() {
  for (Dynaset* d : *streaming) d->suspend();
}

void Dynaset::streamTo(size_t pos) {
  if (stepped_ > pos) {  // behind us (after MoveFirst): run the statement again
    sqlite3_reset(stmt_.get());
    stepped_ = 0;
  }
  while (stepped_ <= pos) {
    if (!stmt_.step()) {
      end_ = stepped_;
      sqlite3_reset(stmt_.get());  // ends the read; the bindings stay for a rerun
      stepped_ = 0;
      row_.clear();
      return;
    }
    ++stepped_;
  }
  row_ = columns_->readRow(stmt_.get(), 0);
  seen_ = std::max(seen_, pos + 1);
}

bool Dynaset::Eof() const { return end_ && pos_ >= *end_; }

void Dynaset::setIndex(const std::u16string&) {
  throw RuntimeError(err::kOperationNotSupported,
                     "Operation is not supported for this type of object: '" +
                         text::toUtf8(source_) +
                         "' is not a table of the database itself (a linked table, a query "
                         "or an SQL text has no index to set).");
}

void Dynaset::Seek(const std::u16string& comparison, const Variant& key) {
  (void)comparison;
  (void)key;
  setIndex(u"");
}

Variant Dynaset::Fields(const std::u16string& name) const {
  int col = columns_->find(name);
  if (col < 0) throwNoField(name, source_);
  if (Eof()) throwNoCurrent(source_);
  refuseNested(*columns_, col, source_);
  if (pos_ < buffered_) return cells_[pos_ * columns_->names.size() + static_cast<size_t>(col)];
  return row_[static_cast<size_t>(col)];
}

void Dynaset::MoveFirst() {
  if (buffered_ == 0) throwNoCurrent(source_);
  pos_ = 0;
}

void Dynaset::MoveNext() {
  if (Eof()) throwNoCurrent(source_);
  ++pos_;
  if (pos_ < buffered_) return;
  if (!end_ || pos_ < *end_) {
    streamTo(pos_);
  } else {
    suspend();  // the end, known from an earlier walk
  }
}

// ---- TableRecordset --------------------------------------------------------

TableRecordset::TableRecordset(std::shared_ptr<SqliteDatabase> db, std::u16string table)
    : db_(std::move(db)), table_(std::move(table)), quotedTable_(quoted(table_)) {
  std::shared_ptr<const void>* slot = db_->connection().schemaSlot("columns\x1f" + quotedTable_);
  if (slot && *slot) {
    columns_ = std::static_pointer_cast<const ColumnSet>(*slot);
  } else {
    Statement stmt = db_->connection().cachedStatement(selectRows() + " WHERE rowid = ?1");
    columns_ = std::make_shared<const ColumnSet>(
        ColumnSet::fromStatement(stmt.get(), 1, db_->connection().textIsUtf16()));
    if (slot) *slot = columns_;
  }
}

void TableRecordset::settle() const {
  if (!atFirst_) return;
  const_cast<TableRecordset*>(this)->loadFirst();
}

std::string TableRecordset::selectRows() const { return "SELECT rowid, * FROM " + quotedTable_; }

std::string TableRecordset::orderBy(size_t from) const {
  std::string order = " ORDER BY ";
  if (index_) {
    for (size_t i = from; i < index_->columns.size(); ++i)
      order += quoted(index_->columns[i]) + " COLLATE " + quoted(index_->collations[i]) + ", ";
  }
  return order + "rowid";
}

bool TableRecordset::load(sqlite3_int64 rowid) {
  atFirst_ = false;
  lastSeek_.reset();
  Statement stmt = db_->connection().cachedStatement(selectRows() + " WHERE rowid = ?1");
  sqlite3_bind_int64(stmt.get(), 1, rowid);
  if (!stmt.step()) {
    current_.reset();
    return false;
  }
  row_ = std::make_shared<const std::vector<Variant>>(columns_->readRow(stmt.get(), 1));
  current_ = rowid;
  return true;
}

void TableRecordset::loadFirst() {
  atFirst_ = false;
  lastSeek_.reset();
  Statement stmt = db_->connection().cachedStatement(selectRows() + orderBy() + " LIMIT 1");
  if (stmt.step()) {
    current_ = sqlite3_column_int64(stmt.get(), 0);
    row_ = std::make_shared<const std::vector<Variant>>(columns_->readRow(stmt.get(), 1));
  } else {
    current_.reset();
  }
}

void TableRecordset::setIndex(const std::u16string& name) {
  // The same index set again (before every Seek of a pass) needs no lookup.
  if (index_ && index_->name == name) return;
  auto def = db_->findIndex(table_, name);
  if (!def) {
    throw RuntimeError(err::kNotAnIndex,
                       "'" + text::toUtf8(name) + "' is not an index in this table ('" +
                           text::toUtf8(table_) + "' of '" + text::toUtf8(db_->name()) + "').");
  }
  index_ = std::move(def);
  seekSql_.clear();
  order_.clear();
  lastSeek_.reset();
}

void TableRecordset::Seek(const std::u16string& comparison, const Variant& key) {
  if (comparison != u"=") {
    throw RuntimeError(err::kOperationNotSupported, "Seek supports only the comparison '=', not '" +
                                                        text::toUtf8(comparison) + "'.");
  }
  if (!index_) {
    throw RuntimeError(err::kNoCurrentIndex, "Operation invalid without a current index ('" +
                                                 text::toUtf8(table_) + "').");
  }
  if (seekSql_.empty()) {
    // The rows found tie on the first column: the order is that of the others.
    seekSql_ = selectRows() + " WHERE " + quoted(index_->columns[0]) + " = ?1 COLLATE " +
               quoted(index_->collations[0]) + orderBy(1) + " LIMIT 1";
  }
  // Within one snapshot the same key finds the same row: where it stands.
  const std::uint64_t snapshot = currentSnapshot();
  if (lastSeek_ && snapshot != 0 && lastSeek_->snapshot == snapshot && key.isString() &&
      lastSeek_->key == key.asString())
    return;
  lastSeek_.reset();
  atFirst_ = false;
  // Within one snapshot a key finds the same row whichever recordset seeks
  // it: a key sought before (by an earlier pass, say) is not read again.
  struct Found {
    std::optional<sqlite3_int64> rowid;
    std::shared_ptr<const std::vector<Variant>> row;
  };
  std::shared_ptr<const void>* seen = nullptr;
  if (key.isString()) {
    seen = db_->connection().snapshotSlot(seekSql_ + '\x1f' + text::toUtf8(key.asString()));
  }
  if (seen && *seen) {
    const auto& found = *static_cast<const Found*>(seen->get());
    noMatch_ = !found.rowid;
    current_ = found.rowid;
    row_ = found.row;
  } else {
    Statement stmt = db_->connection().cachedStatement(seekSql_);
    bindVariant(stmt.get(), 1, key);
    noMatch_ = !stmt.step();
    if (noMatch_) {
      current_.reset();
      row_.reset();
    } else {
      current_ = sqlite3_column_int64(stmt.get(), 0);
      row_ = std::make_shared<const std::vector<Variant>>(columns_->readRow(stmt.get(), 1));
    }
    if (seen) *seen = std::make_shared<const Found>(Found{current_, row_});
  }
  if (snapshot != 0 && db_->connection().inSnapshot() && key.isString())
    lastSeek_ = LastSeek{snapshot, key.asString()};
}

Variant TableRecordset::Fields(const std::u16string& name) const {
  int col = columns_->find(name);
  if (col < 0) throwNoField(name, table_);
  settle();
  if (!current_) throwNoCurrent(table_);
  refuseNested(*columns_, col, table_);
  return (*row_)[static_cast<size_t>(col)];
}

long TableRecordset::RecordCount() const {
  Statement stmt =
      db_->connection().cachedStatement("SELECT EXISTS (SELECT 1 FROM " + quotedTable_ + ")");
  stmt.step();
  return static_cast<long>(sqlite3_column_int64(stmt.get(), 0));
}

void TableRecordset::MoveFirst() {
  loadFirst();
  if (!current_) throwNoCurrent(table_);
}

void TableRecordset::MoveNext() {
  settle();
  if (!current_) throwNoCurrent(table_);
  lastSeek_.reset();
  // The rowids in the current order are read once per index; the walk then
  // steps through them, skipping rows deleted since.
  if (order_.empty()) {
    Statement stmt =
        db_->connection().cachedStatement("SELECT rowid FROM " + quotedTable_ + orderBy());
    while (stmt.step()) order_.push_back(sqlite3_column_int64(stmt.get(), 0));
    orderPos_ = order_.size();
  }
  if (orderPos_ >= order_.size() || order_[orderPos_] != *current_) {
    orderPos_ =
        static_cast<size_t>(std::find(order_.begin(), order_.end(), *current_) - order_.begin());
  }
  while (++orderPos_ < order_.size()) {
    if (load(order_[orderPos_])) return;
  }
  current_.reset();
}

}  // namespace dorvane::db
