#include "platform/db/odbc/odbc_database.h"

#include <dorvane/runtime_error.h>

#include "platform/convert.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/sqlite/sqlite_database.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {

std::string shown(const std::u16string& s) { return text::toUtf8(maskPasswords(s)); }

[[noreturn]] void noCurrentRecord(const std::u16string& source) {
  throw RuntimeError(err::kNoCurrentRecord, "No current record in '" + shown(source) + "'.");
}

}  // namespace

// ---- OdbcDynaset -------------------------------------------------------------

void OdbcDynaset::setIndex(const std::u16string&) {
  throw RuntimeError(err::kOperationNotSupported,
                     "Operation is not supported for this type of object: '" + shown(source_) +
                         "' is not a table of the database itself (a table on a server reached "
                         "through a link, a query or an SQL text); Index and Seek need one.");
}

void OdbcDynaset::Seek(const std::u16string& comparison, const Variant&) { setIndex(comparison); }

Variant OdbcDynaset::Fields(const std::u16string& name) const {
  int column = rows_.find(name);
  if (column < 0)
    throw RuntimeError(err::kItemNotFound, "Item not found in this collection: '" +
                                               text::toUtf8(name) + "' is no field of '" +
                                               shown(source_) + "'.");
  if (pos_ >= rows_.rows.size()) noCurrentRecord(source_);
  return rows_.rows[pos_][static_cast<size_t>(column)];
}

void OdbcDynaset::MoveFirst() {
  if (rows_.rows.empty()) noCurrentRecord(source_);
  pos_ = 0;
}

void OdbcDynaset::MoveNext() {
  if (pos_ >= rows_.rows.size()) noCurrentRecord(source_);
  ++pos_;
}

// ---- OdbcTableRecordset ------------------------------------------------------

OdbcTableRecordset::OdbcTableRecordset(std::shared_ptr<OdbcConnection> connection,
                                       RemoteTable table, std::u16string source)
    : OdbcDynaset(OdbcRows{std::make_shared<const std::vector<OdbcColumn>>(), {}},
                  std::move(source)),
      connection_(std::move(connection)),
      table_(std::move(table)) {}

void OdbcTableRecordset::readAll() const {
  if (read_) return;
  auto* self = const_cast<OdbcTableRecordset*>(this);
  self->rows_ = connection_->run(u"SELECT * FROM " + table_.quoted() + orderBy_, {});
  self->pos_ = 0;
  read_ = true;
}

void OdbcTableRecordset::setIndex(const std::u16string& name) {
  // The same index set again (before every Seek of a pass) asks nothing.
  if (!index_.empty() && name == indexName_) return;
  auto columns = connection_->indexColumns(table_, name);
  if (!columns)
    throw RuntimeError(err::kNotAnIndex, "'" + text::toUtf8(name) + "' is not an index in '" +
                                             shown(source_) + "' (the server's table " +
                                             text::toUtf8(table_.quoted()) +
                                             " has none so named).");
  index_ = *columns;
  indexName_ = name;
  orderBy_ = u" ORDER BY ";
  for (size_t i = 0; i < index_.size(); ++i)
    orderBy_ += (i ? u", " : u"") + quoteServerName(index_[i]);
  read_ = false;
}

void OdbcTableRecordset::Seek(const std::u16string& comparison, const Variant& key) {
  if (index_.empty())
    throw RuntimeError(err::kNoCurrentIndex, "Seek on '" + shown(source_) + "' without an index.");
  if (comparison != u"=")
    throw RuntimeError(err::kOperationNotSupported, "Seek supports only the comparison '=', not '" +
                                                        text::toUtf8(comparison) + "'.");
  OdbcParameter p;
  p.value = key.isNull() ? std::u16string() : toText(key);
  for (const auto& c : connection_->columns(table_))
    if (c.name == index_[0]) p.target = c;
  rows_ = connection_->run(u"SELECT * FROM " + table_.quoted() + u" WHERE " +
                               quoteServerName(index_[0]) + u" = ?" + orderBy_,
                           {p});
  pos_ = 0;
  read_ = true;
  noMatch_ = rows_.rows.empty();
}

Variant OdbcTableRecordset::Fields(const std::u16string& name) const {
  readAll();
  return OdbcDynaset::Fields(name);
}

long OdbcTableRecordset::RecordCount() const {
  readAll();
  return OdbcDynaset::RecordCount();
}

void OdbcTableRecordset::MoveFirst() {
  readAll();
  OdbcDynaset::MoveFirst();
}

void OdbcTableRecordset::MoveNext() {
  readAll();
  OdbcDynaset::MoveNext();
}

bool OdbcTableRecordset::Eof() const {
  readAll();
  return OdbcDynaset::Eof();
}

// ---- running a text on the server ----------------------------------------------

std::shared_ptr<Recordset> openOnServer(OdbcConnection& connection, ServerCatalog& catalog,
                                        const std::u16string& sql, const std::u16string& source) {
  ServerStatement statement;
  try {
    statement = translateForServer(sql, catalog);
  } catch (const TranslateError& e) {
    throw RuntimeError(err::kSyntaxError, "The SQL text cannot be run on the server '" +
                                              maskPasswords(connection.attributes()) +
                                              "': " + e.what() + ": " + text::toUtf8(sql));
  }
  return std::make_shared<OdbcDynaset>(connection.run(statement.sql, statement.params), source);
}

// ---- OdbcDatabase --------------------------------------------------------------

OdbcDatabase::OdbcDatabase(std::u16string name)
    : name_(std::move(name)),
      connection_(OdbcConnection::pooled(odbcAttributes(text::toUtf8(name_)))) {}

RemoteTable OdbcDatabase::table(const std::u16string& written) {
  if (auto t = connection_->findTable(written)) return *t;
  throw RuntimeError(err::kNoSuchTableOrQuery,
                     "The database engine cannot find the input table or query '" +
                         text::toUtf8(written) + "' on '" + shown(name_) + "'.");
}

const std::vector<OdbcColumn>& OdbcDatabase::columns(const RemoteTable& t) {
  return connection_->columns(t);
}

std::shared_ptr<Recordset> OdbcDatabase::OpenRecordset(const std::u16string& source) {
  // A source is a name when the server has a table or view of that name
  // (blanks included); anything else is SQL.
  const std::u16string name = sourceName(source);
  auto found = name.empty() ? std::nullopt : connection_->findTable(name);
  if (!found) {
    if (isSingleWord(source)) table(source);  // an unknown name: 3078
    return openOnServer(*connection_, *this, source, source);
  }
  const RemoteTable& t = *found;
  if (t.view) return openOnServer(*connection_, *this, u"SELECT * FROM " + t.quoted(), source);
  return std::make_shared<OdbcTableRecordset>(connection_, t, source);
}

}  // namespace dorvane::db
