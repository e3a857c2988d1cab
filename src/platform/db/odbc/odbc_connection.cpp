#include "platform/db/odbc/odbc_connection.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "platform/convert.h"
#include "platform/db/odbc/odbc_api.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "platform/worker_state.h"

namespace dorvane::db {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR must be UTF-16");

namespace {

// Prepared statements kept per connection; past this, texts are prepared
// for one use.
constexpr size_t kMaxPrepared = 512;

SQLWCHAR* w(const std::u16string& s) {
  return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(s.c_str()));
}

SQLULEN timeoutFromEnv(const char* name, SQLULEN fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  char* end = nullptr;
  long n = std::strtol(v, &end, 10);
  return (*end == '\0' && n >= 0) ? static_cast<SQLULEN>(n) : fallback;
}

// The process's one ODBC environment (the driver manager is thread-safe).
SQLHENV environment() {
  static SQLHENV env = [] {
    SQLHENV e = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(driverManager().SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e)))
      return SQLHENV(SQL_NULL_HENV);
    driverManager().SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION,
                                  reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return e;
  }();
  return env;
}

// The diagnostic records of handle: "[SQLSTATE] message; …", and whether
// one of them says the connection is gone (SQLSTATE class 08).
std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle, bool* connectionLost = nullptr) {
  std::string out;
  for (SQLSMALLINT i = 1; i <= 8; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc =
        driverManager().SQLGetDiagRecW(type, handle, i, state, &native, message,
                                       static_cast<SQLSMALLINT>(std::size(message)), &length);
    if (!SQL_SUCCEEDED(rc)) break;
    std::string s = text::toUtf8(std::u16string(reinterpret_cast<char16_t*>(state), 5));
    std::string m = text::toUtf8(reinterpret_cast<char16_t*>(message));
    while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
    if (connectionLost && s.rfind("08", 0) == 0) *connectionLost = true;
    if (!out.empty()) out += "; ";
    out += "[" + s + "] " + m;
  }
  return out.empty() ? "no diagnostic from the driver" : out;
}

// Per worker (platform/worker_state.h), by connect string.
platform::WorkerLocal<std::map<std::string, std::shared_ptr<OdbcConnection>>> pool;

// Exact decimal text to a currency scaled by 10,000, when it has at most
// four decimals and fits.
std::optional<std::int64_t> exactCurrency(const std::string& s) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  std::uint64_t v = 0;  // at most the largest int64 at every step
  int digits = 0, decimals = -1;
  for (; i < s.size(); ++i) {
    if (s[i] == '.' && decimals < 0) {
      decimals = 0;
      continue;
    }
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + static_cast<unsigned>(s[i] - '0');
    ++digits;
    if (decimals >= 0 && ++decimals > 4) return std::nullopt;
    if (v > kMax) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  for (int d = decimals < 0 ? 0 : decimals; d < 4; ++d) {
    v *= 10;
    if (v > kMax) return std::nullopt;
  }
  return negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
}

bool isTextType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_WCHAR ||
         t == SQL_WVARCHAR || t == SQL_WLONGVARCHAR;
}

}  // namespace

std::u16string quoteServerName(const std::u16string& name) {
  std::u16string out = u"\"";
  for (char16_t c : name) {
    if (c == u'"') out.push_back(u'"');
    out.push_back(c);
  }
  return out + u"\"";
}

std::u16string RemoteTable::quoted() const {
  if (!select.empty()) return u"(" + select + u")";
  return schema.empty() ? quoteServerName(name)
                        : quoteServerName(schema) + u"." + quoteServerName(name);
}

int OdbcRows::find(const std::u16string& name) const {
  for (size_t i = 0; i < columns->size(); ++i)
    if (text::equalsText((*columns)[i].name, name)) return static_cast<int>(i);
  return -1;
}

std::shared_ptr<OdbcConnection> OdbcConnection::pooled(const std::string& attributes) {
  auto it = pool->find(attributes);
  if (it != pool->end()) return it->second;
  const std::string shown = maskPasswords(attributes);
  SQLHENV env = environment();
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (env == SQL_NULL_HENV ||
      !SQL_SUCCEEDED(driverManager().SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)))
    throw RuntimeError(err::kOdbcConnectFailed,
                       "ODBC--connection to '" + shown + "' failed: no ODBC driver manager.");
  SQLULEN login = timeoutFromEnv("DORVANE_ODBC_LOGIN_TIMEOUT", 15);
  driverManager().SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                                    reinterpret_cast<SQLPOINTER>(login), 0);
  driverManager().SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                                    reinterpret_cast<SQLPOINTER>(login), 0);
  // Read only, no transactions of ours: each statement sees the data
  // committed when it starts.
  driverManager().SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE,
                                    reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
  std::u16string in = text::fromUtf8(attributes);
  SQLRETURN rc =
      driverManager().SQLDriverConnectW(dbc, nullptr, w(in), static_cast<SQLSMALLINT>(in.size()),
                                        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::string why = maskPasswords(diagnostics(SQL_HANDLE_DBC, dbc));
    driverManager().SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    throw RuntimeError(err::kOdbcConnectFailed,
                       "ODBC--connection to '" + shown + "' failed: " + why + ".");
  }
  std::shared_ptr<OdbcConnection> c(new OdbcConnection(attributes, dbc));
  (*pool)[attributes] = c;
  return c;
}

OdbcConnection::~OdbcConnection() {
  for (auto& [sql, p] : prepared_) driverManager().SQLFreeHandle(SQL_HANDLE_STMT, p.stmt);
  driverManager().SQLDisconnect(dbc_);
  driverManager().SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
}

void OdbcConnection::fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
  bool lost = false;
  std::string why = maskPasswords(diagnostics(type, handle, &lost));
  SQLUINTEGER dead = SQL_CD_FALSE;
  if (!lost && SQL_SUCCEEDED(driverManager().SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD,
                                                               &dead, 0, nullptr)))
    lost = dead == SQL_CD_TRUE;
  // Not every driver says so: a connection that cannot run a trivial
  // statement is gone as well.
  if (!lost) {
    SQLHSTMT probe = SQL_NULL_HSTMT;
    std::u16string one = u"SELECT 1";
    lost = !SQL_SUCCEEDED(driverManager().SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &probe)) ||
           !SQL_SUCCEEDED(driverManager().SQLExecDirectW(probe, w(one), SQL_NTS));
    if (probe != SQL_NULL_HSTMT) driverManager().SQLFreeHandle(SQL_HANDLE_STMT, probe);
  }
  if (lost) {
    auto it = pool->find(attributes_);
    if (it != pool->end() && it->second.get() == this) pool->erase(it);
  }
  throw RuntimeError(err::kOdbcCallFailed, "ODBC--call failed on '" + maskPasswords(attributes_) +
                                               "' (" + what + "): " + why +
                                               (lost ? " The connection is lost." : "."));
}

SQLHSTMT OdbcConnection::newStatement() {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(driverManager().SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt)))
    fail(SQL_HANDLE_DBC, dbc_, "allocating a statement");
  SQLULEN query = timeoutFromEnv("DORVANE_ODBC_QUERY_TIMEOUT", 60);
  driverManager().SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(query),
                                 0);
  return stmt;
}

namespace {

// Reads the result columns of stmt.
std::vector<OdbcColumn> describe(SQLHSTMT stmt) {
  SQLSMALLINT count = 0;
  driverManager().SQLNumResultCols(stmt, &count);
  std::vector<OdbcColumn> out(static_cast<size_t>(count));
  for (SQLSMALLINT i = 1; i <= count; ++i) {
    OdbcColumn& c = out[static_cast<size_t>(i - 1)];
    SQLWCHAR name[256] = {};
    SQLSMALLINT nameLength = 0, nullable = 0;
    driverManager().SQLDescribeColW(stmt, i, name, 256, &nameLength, &c.sqlType, &c.size, &c.digits,
                                    &nullable);
    c.name = reinterpret_cast<char16_t*>(name);
    SQLWCHAR typeName[64] = {};
    SQLSMALLINT typeLength = 0;
    driverManager().SQLColAttributeW(stmt, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                     &typeLength, nullptr);
    std::u16string t = reinterpret_cast<char16_t*>(typeName);
    c.boolean =
        c.sqlType == SQL_BIT || text::equalsText(t, u"bool") || text::equalsText(t, u"boolean");
  }
  return out;
}

// The whole text of column i of the current row, or nothing for Null.
std::optional<std::u16string> readText(SQLHSTMT stmt, SQLUSMALLINT i) {
  std::u16string out;
  char16_t buf[2048];
  for (;;) {
    SQLLEN got = 0;
    SQLRETURN rc = driverManager().SQLGetData(stmt, i, SQL_C_WCHAR, buf, sizeof buf, &got);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) return std::nullopt;
    if (got == SQL_NULL_DATA) return std::nullopt;
    size_t units = (got == SQL_NO_TOTAL || got >= static_cast<SQLLEN>(sizeof buf))
                       ? std::size(buf) - 1
                       : static_cast<size_t>(got) / sizeof(char16_t);
    out.append(buf, units);
    if (rc == SQL_SUCCESS) break;
  }
  return out;
}

Variant readValue(SQLHSTMT stmt, SQLUSMALLINT i, const OdbcColumn& c) {
  SQLLEN ind = 0;
  if (c.boolean) {
    auto t = readText(stmt, i);
    if (!t) return Variant::null();
    char16_t f = t->empty() ? u'0' : text::foldCase((*t)[0]);
    return Variant::boolean(f == u'1' || f == u't' || f == u'y' || f == u'-');
  }
  switch (c.sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      SQLBIGINT v = 0;
      driverManager().SQLGetData(stmt, i, SQL_C_SBIGINT, &v, sizeof v, &ind);
      if (ind == SQL_NULL_DATA) return Variant::null();
      if (c.sqlType == SQL_SMALLINT) return Variant::integer(static_cast<std::int16_t>(v));
      if (v >= std::numeric_limits<std::int32_t>::min() &&
          v <= std::numeric_limits<std::int32_t>::max())
        return Variant::longValue(static_cast<std::int32_t>(v));
      return Variant::dbl(static_cast<double>(v));
    }
    case SQL_REAL: {
      float v = 0;
      driverManager().SQLGetData(stmt, i, SQL_C_FLOAT, &v, sizeof v, &ind);
      return ind == SQL_NULL_DATA ? Variant::null() : Variant::single(v);
    }
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double v = 0;
      driverManager().SQLGetData(stmt, i, SQL_C_DOUBLE, &v, sizeof v, &ind);
      return ind == SQL_NULL_DATA ? Variant::null() : Variant::dbl(v);
    }
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      // Exact as Currency when it has at most four decimals, else Double.
      auto t = readText(stmt, i);
      if (!t) return Variant::null();
      std::string s = text::toUtf8(*t);
      if (auto scaled = exactCurrency(s)) return Variant::currencyScaled(*scaled);
      return Variant::dbl(std::strtod(s.c_str(), nullptr));
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts{};
      driverManager().SQLGetData(stmt, i, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind);
      if (ind == SQL_NULL_DATA) return Variant::null();
      if (c.sqlType == SQL_TYPE_TIME) ts.year = 1899, ts.month = 12, ts.day = 30;
      return Variant::date(dateFromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute,
                                         ts.second + ts.fraction / 1e9));
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      std::vector<std::uint8_t> bytes;
      std::uint8_t buf[4096];
      for (;;) {
        SQLRETURN rc = driverManager().SQLGetData(stmt, i, SQL_C_BINARY, buf, sizeof buf, &ind);
        if (rc == SQL_NO_DATA || !SQL_SUCCEEDED(rc)) break;
        if (ind == SQL_NULL_DATA) return Variant::null();
        size_t n = (ind == SQL_NO_TOTAL || ind > static_cast<SQLLEN>(sizeof buf))
                       ? sizeof buf
                       : static_cast<size_t>(ind);
        bytes.insert(bytes.end(), buf, buf + n);
        if (rc == SQL_SUCCESS) break;
      }
      return Variant::binary(std::move(bytes));
    }
    default: {
      auto t = readText(stmt, i);
      return t ? Variant::string(std::move(*t)) : Variant::null();
    }
  }
}

}  // namespace

OdbcRows OdbcConnection::run(const std::u16string& sql, const std::vector<OdbcParameter>& params) {
  SQLHSTMT stmt;
  Prepared* kept = nullptr;
  std::unique_ptr<void, void (*)(void*)> owned(nullptr, [](void* h) {
    driverManager().SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(h));
  });
  auto it = prepared_.find(sql);
  if (it != prepared_.end()) {
    kept = &it->second;
    stmt = kept->stmt;
  } else {
    stmt = newStatement();
    if (!SQL_SUCCEEDED(driverManager().SQLPrepareW(stmt, w(sql), SQL_NTS))) {
      owned.reset(stmt);
      fail(SQL_HANDLE_STMT, stmt, "preparing " + text::toUtf8(sql));
    }
    if (prepared_.size() < kMaxPrepared) {
      kept = &prepared_[sql];
      kept->stmt = stmt;
    } else {
      owned.reset(stmt);
    }
  }
  // The buffers stay put until the statement has run.
  std::vector<SQLLEN> lengths(params.size());
  for (size_t i = 0; i < params.size(); ++i) {
    const OdbcParameter& p = params[i];
    lengths[i] = static_cast<SQLLEN>(p.value.size() * sizeof(char16_t));
    SQLSMALLINT type = p.target.boolean ? SQL_WVARCHAR : p.target.sqlType;
    SQLULEN size = isTextType(type) || p.target.size == 0 ? std::max<SQLULEN>(p.value.size(), 1)
                                                          : p.target.size;
    SQLRETURN rc = driverManager().SQLBindParameter(
        stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR, type, size,
        p.target.digits, const_cast<char16_t*>(p.value.data()), lengths[i], &lengths[i]);
    if (!SQL_SUCCEEDED(rc))
      fail(SQL_HANDLE_STMT, stmt, "binding the values of " + text::toUtf8(sql));
  }
  struct Closer {
    SQLHSTMT s;
    ~Closer() {
      driverManager().SQLFreeStmt(s, SQL_CLOSE);
      driverManager().SQLFreeStmt(s, SQL_RESET_PARAMS);
    }
  } closer{stmt};
  SQLRETURN rc = driverManager().SQLExecute(stmt);
  if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
    fail(SQL_HANDLE_STMT, stmt, "running " + text::toUtf8(sql));
  OdbcRows out;
  if (kept && kept->columns) {
    out.columns = kept->columns;
  } else {
    out.columns = std::make_shared<const std::vector<OdbcColumn>>(describe(stmt));
    if (kept) kept->columns = out.columns;
  }
  const auto& columns = *out.columns;
  for (;;) {
    rc = driverManager().SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) fail(SQL_HANDLE_STMT, stmt, "reading the rows of " + text::toUtf8(sql));
    std::vector<Variant> row;
    row.reserve(columns.size());
    for (size_t i = 0; i < columns.size(); ++i)
      row.push_back(readValue(stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i]));
    out.rows.push_back(std::move(row));
  }
  return out;
}

const std::vector<RemoteTable>& OdbcConnection::tables() {
  if (tables_) return *tables_;
  SQLHSTMT stmt = newStatement();
  std::unique_ptr<void, void (*)(void*)> guard(stmt, [](void* h) {
    driverManager().SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(h));
  });
  std::u16string kinds = u"TABLE,VIEW";
  if (!SQL_SUCCEEDED(
          driverManager().SQLTablesW(stmt, nullptr, 0, nullptr, 0, nullptr, 0, w(kinds), SQL_NTS)))
    fail(SQL_HANDLE_STMT, stmt, "listing the tables");
  std::vector<RemoteTable> out;
  while (SQL_SUCCEEDED(driverManager().SQLFetch(stmt))) {
    RemoteTable t;
    t.schema = readText(stmt, 2).value_or(u"");
    t.name = readText(stmt, 3).value_or(u"");
    t.view = text::equalsText(readText(stmt, 4).value_or(u""), u"VIEW");
    out.push_back(std::move(t));
  }
  tables_ = std::move(out);
  return *tables_;
}

std::optional<RemoteTable> OdbcConnection::findTable(const std::u16string& name) {
  std::u16string schema, table = name;
  if (size_t dot = name.find(u'.'); dot != std::u16string::npos) {
    schema = name.substr(0, dot);
    table = name.substr(dot + 1);
  }
  // The list is kept; a name not in it is looked for once more in a fresh
  // list, for a table made since.
  for (bool fresh : {false, true}) {
    if (fresh) tables_.reset();
    const RemoteTable* blind = nullptr;
    for (const auto& t : tables()) {
      bool schemaExact = schema.empty() || t.schema == schema;
      if (schemaExact && t.name == table) return t;
      if (!blind && (schema.empty() || text::equalsText(t.schema, schema)) &&
          text::equalsText(t.name, table))
        blind = &t;
    }
    if (blind) return *blind;
  }
  return std::nullopt;
}

namespace {
// name as an argument of a catalog function: its pattern characters escaped.
std::u16string pattern(const std::u16string& name) {
  std::u16string out;
  for (char16_t c : name) {
    if (c == u'_' || c == u'%' || c == u'\\') out.push_back(u'\\');
    out.push_back(c);
  }
  return out;
}
}  // namespace

const std::vector<OdbcColumn>& OdbcConnection::columns(const RemoteTable& table) {
  std::u16string key = table.quoted();
  auto it = columns_.find(key);
  if (it != columns_.end()) return it->second;
  if (!table.select.empty())
    return columns_[key] = *run(u"SELECT * FROM " + key + u" AS q WHERE 1 = 0", {}).columns;
  SQLHSTMT stmt = newStatement();
  std::unique_ptr<void, void (*)(void*)> guard(stmt, [](void* h) {
    driverManager().SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(h));
  });
  std::u16string schema = pattern(table.schema), name = pattern(table.name);
  if (!SQL_SUCCEEDED(driverManager().SQLColumnsW(
          stmt, nullptr, 0, table.schema.empty() ? nullptr : w(schema),
          table.schema.empty() ? 0 : SQL_NTS, w(name), SQL_NTS, nullptr, 0)))
    fail(SQL_HANDLE_STMT, stmt, "listing the columns of " + text::toUtf8(key));
  std::vector<OdbcColumn> out;
  while (SQL_SUCCEEDED(driverManager().SQLFetch(stmt))) {
    OdbcColumn c;
    c.name = readText(stmt, 4).value_or(u"");
    SQLSMALLINT type = 0, digits = 0;
    SQLINTEGER size = 0;
    SQLLEN ind = 0;
    driverManager().SQLGetData(stmt, 5, SQL_C_SSHORT, &type, sizeof type, &ind);
    std::u16string typeName = readText(stmt, 6).value_or(u"");
    driverManager().SQLGetData(stmt, 7, SQL_C_SLONG, &size, sizeof size, &ind);
    if (ind == SQL_NULL_DATA) size = 0;
    driverManager().SQLGetData(stmt, 9, SQL_C_SSHORT, &digits, sizeof digits, &ind);
    if (ind == SQL_NULL_DATA) digits = 0;
    c.sqlType = type;
    c.size = size > 0 ? static_cast<SQLULEN>(size) : 0;
    c.digits = digits;
    c.boolean = type == SQL_BIT || text::equalsText(typeName, u"bool");
    out.push_back(std::move(c));
  }
  return columns_[key] = std::move(out);
}

std::optional<std::vector<std::u16string>> OdbcConnection::indexColumns(
    const RemoteTable& table, const std::u16string& index) {
  SQLHSTMT stmt = newStatement();
  std::unique_ptr<void, void (*)(void*)> guard(stmt, [](void* h) {
    driverManager().SQLFreeHandle(SQL_HANDLE_STMT, static_cast<SQLHSTMT>(h));
  });
  std::u16string schema = table.schema, name = table.name;
  if (!SQL_SUCCEEDED(driverManager().SQLStatisticsW(
          stmt, nullptr, 0, schema.empty() ? nullptr : w(schema), schema.empty() ? 0 : SQL_NTS,
          w(name), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK)))
    fail(SQL_HANDLE_STMT, stmt, "listing the indexes of " + text::toUtf8(table.quoted()));
  std::map<int, std::u16string> ordered;
  while (SQL_SUCCEEDED(driverManager().SQLFetch(stmt))) {
    auto indexName = readText(stmt, 6);
    if (!indexName || !text::equalsText(*indexName, index)) continue;
    SQLSMALLINT position = 0;
    SQLLEN ind = 0;
    driverManager().SQLGetData(stmt, 8, SQL_C_SSHORT, &position, sizeof position, &ind);
    if (auto column = readText(stmt, 9)) ordered[position] = *column;
  }
  if (ordered.empty()) return std::nullopt;
  std::vector<std::u16string> out;
  for (auto& [position, column] : ordered) out.push_back(column);
  return out;
}

bool OdbcConnection::answers() {
  try {
    run(u"SELECT 1", {});
    return true;
  } catch (const RuntimeError&) {
    return false;
  }
}

}  // namespace dorvane::db
