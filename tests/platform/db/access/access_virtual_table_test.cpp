// The virtual table over a column store against the plain SQLite table that
// the same rows make when they are inserted: same values and types, and same
// rows for every comparison, whether the lookup answers it or a scan does.
#include "platform/db/access/access_virtual_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/db/access/access_values.h"
#include "platform/db/access/jet_collation.h"
#include "platform/db/sqlite/sqlite_connection.h"
#include "platform/db/sqlite/sqlite_values.h"
#include "platform/text/utf.h"

namespace dorvane::db {
namespace {

JetValue integer(std::int64_t i) {
  JetValue v;
  v.kind = JetValue::Kind::Integer;
  v.i = i;
  return v;
}
JetValue real(double d) {
  JetValue v;
  v.kind = JetValue::Kind::Real;
  v.d = d;
  return v;
}
JetValue currency(std::int64_t scaled) {
  JetValue v = integer(scaled);
  v.kind = JetValue::Kind::Currency;
  return v;
}
JetValue text(const std::u16string& s, JetValue::Kind kind = JetValue::Kind::Text) {
  JetValue v;
  v.kind = kind;
  v.text = s;
  return v;
}
JetValue blob(std::vector<std::uint8_t> b) {
  JetValue v;
  v.kind = JetValue::Kind::Blob;
  v.bytes = std::move(b);
  return v;
}
const JetValue null;

// How a value was bound when tables were copied into SQLite by INSERT: the
// reference the store must match once SQLite has applied the affinity.
void bindAsInserted(sqlite3_stmt* s, int p, const JetValue& v) {
  std::string t = text::toUtf8(v.text);
  switch (v.kind) {
    case JetValue::Kind::Null:
      sqlite3_bind_null(s, p);
      return;
    case JetValue::Kind::Integer:
      sqlite3_bind_int64(s, p, v.i);
      return;
    case JetValue::Kind::Real:
      sqlite3_bind_double(s, p, v.d);
      return;
    case JetValue::Kind::Currency:
      if (std::fabs(static_cast<double>(v.i)) < 1e15)
        sqlite3_bind_double(s, p, static_cast<double>(v.i) / 10000.0);
      else
        sqlite3_bind_text(s, p, currencyText(v.i).c_str(), -1, SQLITE_TRANSIENT);
      return;
    case JetValue::Kind::Text:
      sqlite3_bind_text(s, p, t.c_str(), -1, SQLITE_TRANSIENT);
      return;
    case JetValue::Kind::Blob:
      sqlite3_bind_blob(s, p, v.bytes.data(), static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
      if (v.bytes.empty()) sqlite3_bind_zeroblob(s, p, 0);
      return;
    case JetValue::Kind::Decimal:
      if (exactDecimalText(std::strtod(t.c_str(), nullptr)) == t)
        sqlite3_bind_double(s, p, std::strtod(t.c_str(), nullptr));
      else
        sqlite3_bind_text(s, p, t.c_str(), -1, SQLITE_TRANSIENT);
      return;
  }
}

class StoreTable : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = SqliteConnection::openMemory();
    registerJetCollation(conn_->handle());
    shelf_ = registerStoreModule(conn_->handle());
    AccessTableDef def;
    for (auto [name, type] : {std::pair{"l", jet::kLong},
                              {"d", jet::kDouble},
                              {"s", jet::kSingle},
                              {"dt", jet::kDateTime},
                              {"b", jet::kBoolean},
                              {"cur", jet::kCurrency},
                              {"t", jet::kText},
                              {"bin", jet::kBinary},
                              {"dec", jet::kNumeric}}) {
      AccessColumn c;
      c.name = name;
      c.type = type;
      def.columns.push_back(c);
    }
    const JetValue dec = text(u"0.1", JetValue::Kind::Decimal);
    const JetValue longDec = text(u"12345678901234567890.5", JetValue::Kind::Decimal);
    const std::int64_t bigMoney = std::numeric_limits<std::int64_t>::max();
    const std::vector<std::vector<JetValue>> rows = {
        {integer(12), real(12), real(3), real(45000), integer(1), currency(125000), text(u"abc"),
         blob({0}), dec},
        {integer(-1), real(0.1), real(-0.0), real(45000.25), integer(0), currency(bigMoney),
         text(u"ABC"), blob({}), longDec},
        {null, real(1e300), real(std::nan("")), null, integer(0), null, text(u"ａｂｃ"), null,
         null},
        {integer(12), real(-12.5), real(0.5), real(1), integer(1), currency(-5), text(u""),
         blob({1, 2}), dec},
        {integer(0), null, null, real(2), integer(1), currency(0), null, null, null},
        {integer(3), real(12), real(12), real(3), integer(0), currency(120000), text(u"12"), null,
         null},
        {integer(4), real(4), real(4), real(4), integer(1), currency(1),
         text(u"品名1234567890 long enough to lie outside its cell"), null, null},
        {integer(5), real(5), real(5), real(5), integer(0), currency(2), text(u"abc "), null, null},
    };
    std::string create = "CREATE TABLE ref (", insert = "INSERT INTO ref VALUES (";
    for (size_t i = 0; i < def.columns.size(); ++i) {
      const AccessColumn& c = def.columns[i];
      create += std::string(i ? ", " : "") + c.name + " " + declaredType(c) +
                (isTextType(c.type) ? " COLLATE JET" : "");
      insert += i ? ", ?" : "?";
    }
    exec(create + ")");
    Statement ins = conn_->prepare(text::fromUtf8(insert + ")"));
    auto store = std::make_shared<ColumnStore>(def);
    for (const auto& row : rows) {
      for (size_t i = 0; i < row.size(); ++i)
        bindAsInserted(ins.get(), static_cast<int>(i + 1), row[i]);
      ASSERT_EQ(sqlite3_step(ins.get()), SQLITE_DONE);
      sqlite3_reset(ins.get());
      store->append(row);
    }
    createStoreTable(conn_->handle(), *shelf_, "vt", def, store);
  }
  void exec(const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(conn_->handle(), sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sql << ": " << conn_->lastError();
  }
  // Every row of sql's result as text, "|" between values.
  std::string rows(const std::string& sql) {
    Statement s = conn_->prepare(text::fromUtf8(sql));
    std::string out;
    while (s.step()) {
      for (int i = 0; i < sqlite3_column_count(s.get()); ++i) {
        auto* v = sqlite3_column_text(s.get(), i);
        out += (i ? "|" : "") + std::string(v ? reinterpret_cast<const char*>(v) : "NULL");
      }
      out += ";";
    }
    return out;
  }
  std::string over(std::string sql, const std::string& table) {
    for (size_t at; (at = sql.find("{T}")) != std::string::npos;) sql.replace(at, 3, table);
    return rows(sql);
  }

  std::shared_ptr<SqliteConnection> conn_;
  std::shared_ptr<StoreShelf> shelf_;
};

TEST_F(StoreTable, ValuesTypesAndComparisonsAreThoseOfTheInsertedTable) {
  const char* columns[] = {"l", "d", "s", "dt", "b", "cur", "t", "bin", "dec"};
  for (const char* c : columns) {
    std::string sql = std::string("SELECT rowid, typeof(") + c + "), quote(" + c + ") FROM {T}";
    EXPECT_EQ(over(sql, "vt"), over(sql, "ref")) << c;
  }
  // "=" against every kind of value, through the lookup or not; IN, IS and
  // rowid; a statement's parameters; Seek's order within equal keys.
  const char* where[] = {
      "t = 'abc'",
      "t = 'ＡＢＣ'",
      "t = 'Abc' COLLATE BINARY",
      "t = 'ABC' COLLATE NOCASE",
      "t = 'abc' COLLATE RTRIM",
      "t = ''",
      "t = 12",
      "t = '12'",
      "t = x'00'",
      "t = '品名1234567890 long enough to lie outside its cell'",
      "t IN ('abc', '12', 'x')",
      "t = NULL",
      "t IS NULL",
      "l = 12",
      "l = '12'",
      "l = ' 12 '",
      "l = '+12'",
      "d = 'nan'",
      "l = 12.0",
      "l = '0x0C'",
      "l = '12abc'",
      "d = '0.1'",
      "d = 0.1",
      "d = '1e300'",
      "d = 1.2e1",
      "s = 0",
      "s = '-0'",
      "s = 3",
      "dt = 45000",
      "dt = '45000.25'",
      "b = 1",
      "b = 'True'",
      "cur = 12.5",
      "cur = '12.5'",
      "cur = '922337203685477.5807'",
      "dec = 0.1",
      "dec = '0.1'",
      "bin = x'00'",
      "bin = x''",
      "rowid = 2",
      "rowid = '2'",
      "rowid = 2.0",
      "rowid = 99",
      "l = 12 AND t = 'ABC'",
      "t = 'abc' AND l = 12",
  };
  for (const char* w : where) {
    std::string sql = std::string("SELECT rowid FROM {T} WHERE ") + w;
    EXPECT_EQ(over(sql + " ORDER BY rowid", "vt"), over(sql + " ORDER BY rowid", "ref")) << w;
  }
  // Without ORDER BY too, the rows a key finds come in the table's order.
  EXPECT_EQ(over("SELECT * FROM {T} WHERE t = 'abc'", "vt"),
            over("SELECT * FROM {T} WHERE t = 'abc'", "ref"));
  EXPECT_NE(rows("EXPLAIN QUERY PLAN SELECT * FROM vt WHERE t = 'abc'").find("lookup on t"),
            std::string::npos);
  for (const char* value : {"ABC", "12", "", "zzz"}) {
    std::string result[2];
    for (int i = 0; i < 2; ++i) {
      Statement s = conn_->prepare(i ? u"SELECT rowid FROM ref WHERE t = ?1 OR l = ?1"
                                     : u"SELECT rowid FROM vt WHERE t = ?1 OR l = ?1");
      sqlite3_bind_text(s.get(), 1, value, -1, SQLITE_STATIC);
      while (s.step()) result[i] += std::to_string(sqlite3_column_int64(s.get(), 0)) + ",";
    }
    EXPECT_EQ(result[0], result[1]) << value;
  }
  const std::string seek =
      "SELECT rowid FROM {T} WHERE t = 'abc' COLLATE JET ORDER BY t COLLATE JET, rowid";
  EXPECT_EQ(over(seek, "vt"), over(seek, "ref"));
}

}  // namespace
}  // namespace dorvane::db
