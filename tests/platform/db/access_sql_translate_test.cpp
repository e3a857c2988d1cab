// Access expressions and stored queries translated to SQLite, judged by what
// SQLite computes from the translation.
#include "platform/db/access_sql_translate.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "platform/db/access/access_queries.h"

namespace dorvane::db {
namespace {

class Sqlite {
 public:
  Sqlite() {
    sqlite3_open(":memory:", &db_);
    exec(
        "CREATE TABLE t (a TEXT, n DOUBLE, d DATETIME);"
        "INSERT INTO t VALUES ('x', 2.5, 45292.5), (NULL, NULL, NULL);");
  }
  ~Sqlite() { sqlite3_close(db_); }
  void exec(const std::string& sql) {
    ASSERT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db_) << "\n"
        << sql;
  }
  // The first column of every row of sql, as text ("NULL" for Null).
  std::vector<std::string> column(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    std::vector<std::string> out;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << "\n" << sql;
      return out;
    }
    while (sqlite3_step(s) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      out.push_back(t ? reinterpret_cast<const char*>(t) : "NULL");
    }
    sqlite3_finalize(s);
    return out;
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST(AccessSqlTranslate, ExpressionsComputeWhatAccessComputes) {
  // Each expression is evaluated over the rows ('x', 2.5, 2024-01-01 12:00) and (Null, Null, Null).
  struct Case {
    const char* access;
    std::vector<std::string> rows;
  } cases[] = {
      {"[a] & \"-\" & [n]", {"x-2.5", "-"}},
      {"[a] & [a]", {"xx", "NULL"}},  // Null & Null stays Null
      {"IIf([n] > 2, \"big\", \"small\")", {"big", "small"}},
      {"Nz([a])", {"x", ""}},
      {"Nz([n], 0) + 1", {"3.5", "1"}},
      {"t.a Like \"X*\"", {"1", "NULL"}},
      {"[a] Like \"?\"", {"1", "NULL"}},
      {"\"50%\" Like \"50[%]\"", {"1", "1"}},
      {"\"50x\" Like \"50[%]\"", {"0", "0"}},
      {"[a] Is Null", {"0", "1"}},
      {"[a] Is Not Null And True", {"1", "0"}},
      {"[n] Between 2 And 3", {"1", "NULL"}},
      {"[n] Not In (1, 2.5)", {"0", "NULL"}},
      {"7 \\ 2", {"3", "3"}},
      {"7 Mod 4", {"3", "3"}},
      {"1 / 4", {"0.25", "0.25"}},
      {"Left(\"abcdef\", 2) & Right(\"abcdef\", 2) & Mid(\"abcdef\", 3, 2)", {"abefcd", "abefcd"}},
      {"Right(\"abc\", 0)", {"", ""}},
      {"Len(\"りんご\")", {"3", "3"}},
      {"UCase(\"ab\") & LCase(\"CD\") & Trim(\" e \")", {"ABcde", "ABcde"}},
      {"Int(-2.5) & \"/\" & Fix(-2.5) & \"/\" & Int(2.5)", {"-3/-2/2", "-3/-2/2"}},
      {"#2024-01-01#", {"45292.0", "45292.0"}},
      {"#2024-01-01# + 1", {"45293.0", "45293.0"}},
      {"#1/1/95# & \"/\" & #12/31/29#", {"34700.0/47483.0", "34700.0/47483.0"}},
      {"#1/2/2024 12:00:00 PM#", {"45293.5", "45293.5"}},
      {"Year([d]) & \"-\" & Month([d]) & \"-\" & Day([d]) & \" \" & Hour([d])",
       {"2024-1-1 12", "-- "}},  // Null parts vanish in &, as in Access
      {"Format([d], \"yyyy/mm/dd hh:nn\")", {"2024/01/01 12:00", "NULL"}},
      {"Format([n], \"0.00\")", {"2.50", "NULL"}},
      {"[n] = Yes Or [n] <> No", {"1", "NULL"}},
  };
  Sqlite db;
  for (const auto& c : cases) {
    std::string sql = translateAccessExpression(c.access);
    EXPECT_EQ(db.column("SELECT " + sql + " FROM t ORDER BY rowid"), c.rows)
        << c.access << "\n  -> " << sql;
  }
}

TEST(AccessSqlTranslate, RefusesWhatItCannotTranslate) {
  const char* cases[] = {
      "[a] Like \"[a-c]*\"",           // character lists
      "[a] Like \"##\"",               // digit wildcard
      "[a] Like [b]",                  // pattern not a literal
      "2 ^ 3",                         // power
      "[n] > (SELECT Avg(n) FROM t)",  // subquery
      "[Forms]![Orders]![OrderID]",    // form reference
      "DatePart(\"q\", [d])",          // unknown function
      "Format([d], \"dddd\")",         // unsupported format
      "First([a])",                    // aggregates Access has and SQLite lacks
      "[a",                            // broken syntax
      "\"open",
      "1 +",
      "[a] Xor [b]",
  };
  for (const char* c : cases) EXPECT_THROW(translateAccessExpression(c), TranslateError) << c;
}

TEST(AccessSqlTranslate, NamesAndColumnReferences) {
  NameUses u = namesIn("[Order Details].UnitPrice * [Quantity] + Sum(x.y) & Null");
  EXPECT_EQ(u.qualifiers, (std::vector<std::string>{"Order Details", "x"}));
  EXPECT_EQ(u.unqualified, (std::vector<std::string>{"Quantity"}));
  EXPECT_TRUE(isColumnReference("items.code"));
  EXPECT_TRUE(isColumnReference("[Product List].[ProductName]"));
  EXPECT_FALSE(isColumnReference("orders.qty*orders.amount"));
  EXPECT_FALSE(isColumnReference("True"));
}

QueryRow row(int attribute, int order, std::optional<std::int64_t> flag,
             std::optional<std::string> name1, std::optional<std::string> name2,
             std::optional<std::string> expression) {
  QueryRow r;
  r.attribute = attribute;
  r.order = {0, 0, 0, static_cast<std::uint8_t>(order)};
  r.flag = flag;
  r.name1 = std::move(name1);
  r.name2 = std::move(name2);
  r.expression = std::move(expression);
  return r;
}

SourceShape noShape(const std::string& name) {
  ADD_FAILURE() << "shape of " << name << " asked";
  return {};
}

TEST(AccessQueries, RebuildsSelectQueriesThatRun) {
  Sqlite db;
  db.exec(
      "CREATE TABLE orders (code TEXT, qty INTEGER, amount DOUBLE);"
      "INSERT INTO orders VALUES ('A01', 3, 30.5), ('A01', 5, 125), ('A02', 1, 9.99);"
      "CREATE TABLE items (code TEXT, name TEXT);"
      "INSERT INTO items VALUES ('A01', 'ねじ'), ('A03', 'x');");
  // q_orders of source.mdb, rows shuffled: the alias comes from Name1.
  std::vector<QueryRow> rows = {
      row(6, 3, 0, "total", std::nullopt, "orders.qty*orders.amount"),
      row(0, 1, 0, {}, {}, {}),
      row(5, 1, {}, "orders", {}, {}),
      row(6, 1, 0, {}, {}, "orders.code"),
      row(1, 1, 1, {}, {}, {}),
      row(3, 1, 0, {}, {}, {}),
      row(11, 1, {}, "D", {}, "total"),
      row(255, 1, {}, {}, {}, {}),
  };
  std::string sql = buildQuerySql(rows, 0, noShape);
  EXPECT_EQ(db.column("SELECT total FROM (" + sql + ")"),
            (std::vector<std::string>{"625.0", "91.5", "9.99"}));

  // A left join, DISTINCT and TOP 1.
  rows = {row(3, 1, 0x02 | 0x10, "1", {}, {}),
          row(5, 1, {}, "items", "i", {}),
          row(5, 2, {}, "orders", {}, {}),
          row(6, 1, 0, {}, {}, "i.name"),
          row(7, 1, 2, "i", "orders", "i.code = orders.code"),
          row(11, 1, {}, {}, {}, "i.name")};
  sql = buildQuerySql(rows, 0, noShape);
  EXPECT_EQ(db.column(sql), (std::vector<std::string>{"x"}));
}

TEST(AccessQueries, DistinctRowKeepsOneRowPerShownRecord) {
  Sqlite db;
  db.exec(
      "CREATE TABLE c (id INTEGER, name TEXT); CREATE TABLE o (cid INTEGER);"
      "INSERT INTO c VALUES (1, 'a'), (2, 'b'), (3, 'a');"
      "INSERT INTO o VALUES (1), (1), (3), (3);");
  auto shape = [](const std::string& name) {
    SourceShape s;
    s.isTable = true;
    s.columns =
        name == "c" ? std::vector<std::string>{"id", "name"} : std::vector<std::string>{"cid"};
    return s;
  };
  std::vector<QueryRow> rows = {row(3, 1, 0x08, {}, {}, {}), row(5, 1, {}, "c", {}, {}),
                                row(5, 2, {}, "o", {}, {}), row(6, 1, 0, {}, {}, "[name]"),
                                row(7, 1, 1, "c", "o", "c.id = o.cid")};
  // Customers 1 and 3 (both named a) each once, not once per order, not merged.
  EXPECT_EQ(db.column(buildQuerySql(rows, 0, shape)), (std::vector<std::string>{"a", "a"}));
  rows.push_back(row(6, 2, 0, {}, {}, "o.cid"));  // fields of every table: plain rows
  EXPECT_EQ(db.column(buildQuerySql(rows, 0, shape)).size(), 4u);
}

TEST(AccessQueries, RefusesOtherKindsWithTheReason) {
  std::vector<QueryRow> base = {row(5, 1, {}, "t", {}, {}), row(6, 1, 0, {}, {}, "t.a")};
  struct Case {
    int flags;
    std::vector<QueryRow> extra;
    const char* reason;
  } cases[] = {
      {16, {}, "crosstab"},
      {48, {}, "update"},
      {128, {}, "union"},
      {0, {row(2, 1, 10, "Beginning Date", {}, {})}, "parameter"},
      {0, {row(3, 1, 0x30, "10", {}, {})}, "PERCENT"},
      {0, {row(8, 1, {}, {}, {}, "t.a = [Forms]![x]")}, "forms"},
  };
  for (const auto& c : cases) {
    auto rows = base;
    rows.insert(rows.end(), c.extra.begin(), c.extra.end());
    try {
      buildQuerySql(rows, c.flags, noShape);
      ADD_FAILURE() << c.reason << ": no error";
    } catch (const TranslateError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace dorvane::db
