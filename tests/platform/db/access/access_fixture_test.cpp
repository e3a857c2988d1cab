// The Access reader on the fixture files: exact values, named indexes with
// the Jet comparison, linked tables, stored queries, real files made by
// Access, damaged input, and the per-file cache.
#include "platform/db/access/access_fixture.h"

#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/convert.h"
#include "platform/db/access/access_database.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::shared_ptr<Database> open(const std::string& path) {
  return Engine::instance().OpenDatabase(text::fromUtf8(path));
}

int errorNumber(const std::function<void()>& f, std::string* description = nullptr) {
  try {
    f();
  } catch (const RuntimeError& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

long countRows(Recordset& rs) {
  long n = 0;
  for (; !rs.Eof(); rs.MoveNext()) ++n;
  return n;
}

Variant scalar(Database& db, const std::string& sql, const char* field = "n") {
  auto rs = db.OpenRecordset(text::fromUtf8(sql));
  return rs->Fields(text::fromUtf8(field));
}

TEST(AccessFixtures, EveryJetTypeReadsExactly) {
  DORVANE_ENTER_FIXTURES("access");
  auto db = open("types.mdb");
  auto rs = db->OpenRecordset(u"types");
  ASSERT_TRUE(rs->isTableType());
  auto f = [&](const char16_t* name) { return rs->Fields(name); };

  EXPECT_EQ(f(u"c_bool"), Variant::boolean(true));
  EXPECT_EQ(f(u"c_byte"), Variant::byte(255));
  EXPECT_EQ(f(u"c_int"), Variant::integer(-32768));
  EXPECT_EQ(f(u"c_long"), Variant::longValue(INT32_MIN));
  EXPECT_EQ(f(u"c_currency"), Variant::currencyScaled(-12345678));
  EXPECT_EQ(f(u"c_single"), Variant::single(3.14159f));
  EXPECT_EQ(f(u"c_double"), Variant::dbl(0.1 + 0.2));
  EXPECT_EQ(f(u"c_date").type(), VarType::Date);
  EXPECT_DOUBLE_EQ(f(u"c_date").asDouble(), dateFromParts(9999, 12, 31, 23, 59, 59));
  EXPECT_EQ(f(u"c_decimal"), Variant::decimal(*parseDecimal("12345678901234.5678")));
  EXPECT_EQ(f(u"c_memo"), Variant::string(u"短いメモ ｶﾀｶﾅ memo"));
  EXPECT_EQ(f(u"c_ole"), Variant::binary({0x01, 0x02, 0x03, 0x00, 0xFF}));
  EXPECT_EQ(f(u"c_guid"), Variant::string(u"{6B29FC40-CA47-1067-B31D-00DD010662DA}"));
  EXPECT_EQ(f(u"c_text"), Variant::string(u"全角カナ・ﾊﾝｶｸ・ASCII"));

  rs->MoveNext();
  EXPECT_EQ(f(u"c_bool"), Variant::boolean(false));
  EXPECT_EQ(f(u"c_currency"), Variant::currencyScaled(INT64_MAX));
  EXPECT_EQ(f(u"c_single"), Variant::single(-0.1f));
  EXPECT_EQ(f(u"c_double"), Variant::dbl(0.0000001));
  EXPECT_EQ(f(u"c_date"), Variant::date(-1.25));  // before 1899-12-30
  EXPECT_EQ(f(u"c_decimal"), Variant::decimal(*parseDecimal("-0.0001")));
  std::u16string memo;
  for (int i = 0; i < 3000; ++i) memo += u"メモ" + std::u16string(1, char16_t(u'0' + i % 10));
  EXPECT_EQ(f(u"c_memo"), Variant::string(memo));  // 9000 characters over several pages
  std::vector<std::uint8_t> ole(300);
  for (int i = 0; i < 300; ++i) ole[i] = static_cast<std::uint8_t>(i % 256);
  EXPECT_EQ(f(u"c_ole"), Variant::binary(ole));
  EXPECT_EQ(f(u"c_guid"), Variant::string(u"{00000000-0000-0000-C000-000000000046}"));
  EXPECT_EQ(f(u"c_text"), Variant::string(u""));  // zero-length, not Null

  rs->MoveNext();
  EXPECT_EQ(f(u"c_bool"), Variant::boolean(false));
  for (const char16_t* c : {u"c_byte", u"c_int", u"c_long", u"c_currency", u"c_single", u"c_double",
                            u"c_date", u"c_decimal", u"c_memo", u"c_ole", u"c_guid", u"c_text"})
    EXPECT_TRUE(f(c).isNull()) << text::toUtf8(c);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
}

TEST(AccessFixtures, NullAndZeroLengthTextStayApart) {
  DORVANE_ENTER_FIXTURES("access");
  auto db = open("source.mdb");
  auto rs = db->OpenRecordset(u"select all items.* from items where items.code = 'A03'");
  EXPECT_TRUE(rs->Fields(u"name").isNull());
  EXPECT_TRUE(rs->Fields(u"price").isNull());
  EXPECT_EQ(rs->Fields(u"note"), Variant::string(u""));
}

TEST(AccessFixtures, SeekAndEqualsCompareLikeJet) {
  DORVANE_ENTER_FIXTURES("access");
  auto ref = open("ref.mdb");
  auto rs = ref->OpenRecordset(u"参照ﾃｰﾌﾞﾙ");
  ASSERT_TRUE(rs->isTableType());
  rs->setIndex(u"ｷｰ");
  struct Case {
    std::u16string key;
    bool found;
  } cases[] = {
      {u"!!price", true},   {u"!!PRICE", true},
      {u"!!Price_K", true}, {u"!!ｐｒｉｃｅ", false},  // full-width letters are other characters
      {u"!!price ", false}, {u"&&orders", true},
  };
  for (const auto& c : cases) {
    rs->Seek(u"=", Variant::string(c.key));
    EXPECT_EQ(!rs->NoMatch(), c.found) << text::toUtf8(c.key);
    if (c.found) {
      EXPECT_TRUE(text::equalsText(rs->Fields(u"ｷｰ").asString(), c.key)) << text::toUtf8(c.key);
    }
  }
  auto src = open("source.mdb");
  auto items = src->OpenRecordset(u"select all items.* from items where items.code = 'a01'");
  EXPECT_EQ(countRows(*items), 2);
  auto stock = src->OpenRecordset(
      u"select all stock.* from stock where stock.code = 's1' and stock.lot = '2'");
  EXPECT_EQ(countRows(*stock), 2);
}

// The plan SQLite makes for sql in the in-memory copy behind db.
std::string queryPlan(Database& db, const std::string& sql) {
  auto& conn = dynamic_cast<db::AccessDatabase&>(db).file().connection();
  db::Statement stmt = conn->prepare(text::fromUtf8("EXPLAIN QUERY PLAN " + sql));
  std::string plan;
  while (stmt.step()) plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 3));
  return plan;
}

TEST(AccessFixtures, ComparedColumnsAreLookedUpNotScanned) {
  DORVANE_ENTER_FIXTURES("access");
  auto db = open("source.mdb");
  // orders has no Access index: its code is looked up all the same.
  const std::string sql = "select all orders.* from orders where orders.code = 'A01'";
  EXPECT_EQ(countRows(*db->OpenRecordset(text::fromUtf8(sql))), 3);
  EXPECT_NE(queryPlan(*db, sql).find("lookup on code"), std::string::npos) << queryPlan(*db, sql);
  // Through a query, the table column the query shows.
  const std::string viaQuery = "select all q_items.* from q_items where q_items.code = 'A01'";
  EXPECT_EQ(countRows(*db->OpenRecordset(text::fromUtf8(viaQuery))), 2);
  EXPECT_NE(queryPlan(*db, viaQuery).find("lookup on code"), std::string::npos)
      << queryPlan(*db, viaQuery);
  // The same for a Seek on an Access index.
  auto big = open("big.mdb");
  auto rs = big->OpenRecordset(u"big");
  rs->setIndex(u"code");
  const std::string seek = "SELECT * FROM big WHERE code = 'C000001' COLLATE JET";
  EXPECT_NE(queryPlan(*big, seek).find("lookup on code"), std::string::npos)
      << queryPlan(*big, seek);
}

TEST(AccessFixtures, SqlTextsDifferingInTheirValuesGetTheirOwnRows) {
  DORVANE_ENTER_FIXTURES("access");
  auto db = open("source.mdb");
  struct Case {
    const char* sql;
    long rows;
  } cases[] = {
      {"select all items.* from items where items.code = 'A01'", 2},
      {"select all items.* from items where items.code = 'A02'", 1},
      {"select all items.* from items where items.code = 'Z''9'", 0},
      {"select all stock.* from stock where stock.code = 'S1' and stock.lot = '2'", 2},
      {"select all stock.* from stock where stock.code = 'S1' and stock.lot = '1'", 1},
      {"select \"code\" from [stock] where lot = '1' and 'x' = 'x'", 2},
      {"select 'it''s' as t from items where items.code = 'A01'", 2},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      EXPECT_EQ(countRows(*db->OpenRecordset(text::fromUtf8(c.sql))), c.rows) << c.sql;
    }
  }
  auto quoted = db->OpenRecordset(u"select 'it''s' as t from items where items.code = 'A02'");
  EXPECT_EQ(quoted->Fields(u"t"), Variant::string(u"it's"));
}

TEST(AccessFixtures, IndexesKeepTheirAccessNames) {
  DORVANE_ENTER_FIXTURES("access");
  auto big = open("big.mdb");
  auto rs = big->OpenRecordset(u"big");
  rs->setIndex(u"PrimaryKey");
  rs->Seek(u"=", Variant::longValue(54321));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Fields(u"name"), Variant::string(u"品名54321"));
  rs->setIndex(u"code");
  rs->Seek(u"=", Variant::string(u"c014321"));
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Fields(u"id"), Variant::longValue(14321));  // the first in index order
  EXPECT_EQ(errorNumber([&] { rs->setIndex(u"ｷｰ"); }), err::kNotAnIndex);

  // The reference table whose only index is the primary key has no ｷｰ.
  auto pk = open("layout_pk.mdb")->OpenRecordset(u"参照ﾃｰﾌﾞﾙ");
  EXPECT_EQ(errorNumber([&] { pk->setIndex(u"ｷｰ"); }), err::kNotAnIndex);
  pk->setIndex(u"PrimaryKey");
  pk->Seek(u"=", Variant::string(u"!!price"));
  EXPECT_FALSE(pk->NoMatch());
}

TEST(AccessFixtures, LinkedTableReadsItsFileButIsNoTableType) {
  DORVANE_ENTER_FIXTURES("access");
  auto db = open("layout_linked.mdb");
  auto rs = db->OpenRecordset(u"参照ﾃｰﾌﾞﾙ");
  EXPECT_FALSE(rs->isTableType());
  EXPECT_EQ(errorNumber([&] { rs->setIndex(u"ｷｰ"); }), err::kOperationNotSupported);
  EXPECT_EQ(countRows(*rs), 16);  // ref.mdb's rows
}

TEST(AccessFixtures, StoredQueriesAreViews) {
  DORVANE_ENTER_FIXTURES("access");
  auto db = open("source.mdb");
  auto q = db->OpenRecordset(u"q_items");
  EXPECT_FALSE(q->isTableType());
  std::vector<std::u16string> codes;
  for (; !q->Eof(); q->MoveNext()) codes.push_back(q->Fields(u"code").asString());
  EXPECT_EQ(codes, (std::vector<std::u16string>{u"A01", u"A01", u"A02", u"B01", u"C01"}));

  auto o = db->OpenRecordset(u"select all q_orders.* from q_orders where q_orders.code = 'A01'");
  double total = 0;
  for (; !o->Eof(); o->MoveNext()) total += toDouble(o->Fields(u"total"));
  EXPECT_DOUBLE_EQ(total, 3 * 30.5 + 5 * 125 + 7 * 0.75);
  auto a03 = db->OpenRecordset(u"select all q_orders.* from q_orders where q_orders.code = 'A03'");
  EXPECT_TRUE(a03->Fields(u"total").isNull());
}

struct PublicTable {
  const char* file;
  const char* table;
  long rows;
};

TEST(AccessFixtures, PublicFilesReadWithTheirRowCounts) {
  DORVANE_ENTER_FIXTURES("public");
  const PublicTable cases[] = {
      {"queryTestV2000.mdb", "Table1", 0},
      {"queryTestV2000.mdb", "Table3", 0},
      {"testV2000.mdb", "Table1", 2},
      {"testV2000.mdb", "Table4", 0},
      {"indexTestV2000.mdb", "Table1", 4},
      {"indexTestV2000.mdb", "Table2", 3},
      {"indexTestV2000.mdb", "Table3", 4},
      {"testUnicodeCompV2003.mdb", "Table", 8},
      {"queryTestV2007.accdb", "Table2", 0},
      {"queryTestV2007.accdb", "MSysCompactError", 1},
      {"testV1997.mdb", "Table1", 2},
      {"testV1997.mdb", "Table2", 0},
      {"nwind.mdb", "Categories", 8},
      {"nwind.mdb", "Customers", 91},
      {"nwind.mdb", "Employees", 9},
      {"nwind.mdb", "Order Details", 2155},
      {"nwind.mdb", "Orders", 830},
      {"nwind.mdb", "Products", 77},
      {"nwind.mdb", "Shippers", 3},
      {"nwind.mdb", "Suppliers", 29},
      {"nwind.mdb", "Umsätze", 830},
      {"ASampleDatabase.accdb", "Asset Items", 65},
      {"DateTestDatabase.mdb", "DateTest", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + c.table);
    auto db = open(c.file);
    Variant n = scalar(*db, std::string("SELECT count(*) AS n FROM \"") + c.table + "\"");
    EXPECT_EQ(n, Variant::longValue(c.rows));
  }
}

TEST(AccessFixtures, PublicFilesKeepTextAndDates) {
  DORVANE_ENTER_FIXTURES("public");
  auto dates = open("DateTestDatabase.mdb");
  // Row 4 holds dates before the year 1000, row 2 the year 9999: read as stored.
  auto rs = dates->OpenRecordset(u"DateTest");
  std::vector<int> years;
  for (; !rs->Eof(); rs->MoveNext())
    years.push_back(dateToParts(rs->Fields(u"DateCol").asDouble()).year);
  EXPECT_EQ(years, (std::vector<int>{2021, 9999, 1899, 633, 2021, 2021}));

  // Text as Access writes it with Unicode compression, switching runs.
  auto unicode = open("testUnicodeCompV2003.mdb");
  auto all = unicode->OpenRecordset(u"Table");
  bool kana = false, cyrillic = false, greek = false, ascii = false;
  for (; !all->Eof(); all->MoveNext()) {
    Variant v = all->Fields(u"Unicode");
    if (!v.isString()) continue;
    for (char16_t c : v.asString()) {
      EXPECT_NE(c, 0xFFFD);
      kana = kana || (c >= 0x3040 && c <= 0x30FF);
      cyrillic = cyrillic || (c >= 0x0400 && c <= 0x04FF);
      greek = greek || (c >= 0x0370 && c <= 0x03FF);
      ascii = ascii || (c >= u'a' && c <= u'z');
    }
  }
  EXPECT_TRUE(kana && cyrillic && greek && ascii);
}

// "6/14/2021 10:45:12.3456789 PM" (how Access shows a date) as a serial date.
double shownDate(const std::string& s) {
  int m = 0, d = 0, y = 0, h = 0, mi = 0, n = 0;
  double sec = 0;
  char ampm[3] = "";
  if (std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%lf %2s%n", &m, &d, &y, &h, &mi, &sec, ampm, &n) >= 7)
    h = h % 12 + (ampm[0] == 'P' ? 12 : 0);
  return dateFromParts(y, m, d, h, mi, sec);
}

TEST(AccessFixtures, NewerColumnKindsReadAsAccessShowsThem) {
  DORVANE_ENTER_FIXTURES("public");
  // Date/Time Extended: each row's text column says what Access shows, back
  // to the year 100 and to 100 ns; the Date keeps it to a microsecond.
  auto rs = open("extDateTestV2019.accdb")->OpenRecordset(u"Table1");
  int rows = 0;
  for (; !rs->Eof(); rs->MoveNext(), ++rows) {
    Variant ext = rs->Fields(u"DateExt"), shown = rs->Fields(u"DateExtStr");
    if (shown.isNull()) {
      EXPECT_TRUE(ext.isNull());
      continue;
    }
    ASSERT_EQ(ext.type(), VarType::Date) << text::toUtf8(shown.asString());
    EXPECT_NEAR(ext.asDouble(), shownDate(text::toUtf8(shown.asString())), 1e-6 / 86400)
        << text::toUtf8(shown.asString());
  }
  EXPECT_EQ(rows, 9);

  // Attachment and multi-value columns hold nested recordsets: refused by name.
  auto complex = open("complexDataTestV2007.accdb")->OpenRecordset(u"Table1");
  for (auto [name, kind] : {std::pair{u"attach-data", "an attachment column"},
                            std::pair{u"multi-value-data", "a multi-value column"}}) {
    std::string why;
    const std::u16string column = name;  // clang 14 lambdas cannot capture a binding
    EXPECT_EQ(errorNumber([&] { complex->Fields(column); }, &why), err::kTypeMismatch);
    EXPECT_NE(why.find(text::toUtf8(column)), std::string::npos) << why;
    EXPECT_NE(why.find(kind), std::string::npos) << why;
  }
  EXPECT_EQ(complex->Fields(u"id"), Variant::string(u"row1"));

  // Jet 3 text in code page 1252: its five undefined bytes come back as
  // Windows gives them; characters 1252 lacks were stored as "?".
  auto codes = open("testIndexCodesV1997.mdb")->OpenRecordset(u"Table1");
  int checked = 0;
  for (; !codes->Eof(); codes->MoveNext()) {
    int n = std::stoi(text::toUtf8(codes->Fields(u"name").asString()).substr(3));
    if (n < 0x80 || n > 0xFF) continue;
    const bool hole = n == 0x81 || n == 0x8D || n == 0x8F || n == 0x90 || n == 0x9D;
    const char16_t c = n >= 0xA0 || hole ? static_cast<char16_t>(n) : u'?';
    EXPECT_EQ(codes->Fields(u"data"), Variant::string(std::u16string(u"AA") + c + u"AA")) << n;
    ++checked;
  }
  EXPECT_EQ(checked, 128);
}

TEST(AccessFixtures, Jet3AndJet4FilesHoldTheSameRows) {
  DORVANE_ENTER_FIXTURES("public");
  auto rowsOf = [](const std::string& file) {
    auto rs = open(file)->OpenRecordset(u"SELECT * FROM Table1 ORDER BY A");
    std::vector<std::vector<Variant>> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      std::vector<Variant> row;
      for (const char16_t* c : {u"A", u"B", u"C", u"D", u"E", u"F", u"G", u"H", u"I"})
        row.push_back(rs->Fields(c));
      rows.push_back(row);
    }
    return rows;
  };
  auto jet3 = rowsOf("testV1997.mdb"), jet4 = rowsOf("testV2000.mdb");
  ASSERT_EQ(jet3.size(), 2u);
  EXPECT_EQ(jet3, jet4);
  EXPECT_EQ(jet4[0][6].type(), VarType::Date);
  EXPECT_EQ(jet4[0][7].type(), VarType::Currency);
  EXPECT_EQ(jet4[0][8].type(), VarType::Boolean);
}

// Stored select queries of the public files against SQL written by hand from
// the queries' text as Access shows it (dates as serial numbers: #1/1/95# is
// 34700, #12/31/95# is 35064).
TEST(AccessFixtures, PublicStoredQueriesReturnTheirRows) {
  DORVANE_ENTER_FIXTURES("public");
  auto nwind = open("nwind.mdb");
  struct Case {
    const char* query;
    const char* handSql;
  } cases[] = {
      {"Current Product List", "SELECT ProductID FROM Products WHERE Discontinued = 0"},
      {"Alphabetical List of Products",
       "SELECT p.ProductID FROM Categories c JOIN Products p ON c.CategoryID = p.CategoryID "
       "WHERE p.Discontinued = 0"},
      {"Order Subtotals", "SELECT DISTINCT OrderID FROM \"Order Details\""},
      {"Ten Most Expensive Products", "SELECT 1 FROM Products LIMIT 10"},
      {"Quarterly Orders",
       "SELECT DISTINCT c.rowid FROM Customers c RIGHT JOIN Orders o ON c.CustomerID = "
       "o.CustomerID WHERE o.OrderDate BETWEEN 34700 AND 35064"},
      {"Orders Qry", "SELECT 1 FROM Customers c JOIN Orders o ON c.CustomerID = o.CustomerID"},
      {"Product Sales for 1995",
       "SELECT DISTINCT c.CategoryName, p.ProductName FROM Categories c JOIN Products p ON "
       "c.CategoryID = p.CategoryID JOIN \"Order Details\" d ON p.ProductID = d.ProductID "
       "JOIN Orders o ON o.OrderID = d.OrderID WHERE o.ShippedDate BETWEEN 34700 AND 35064"},
      {"Invoices",
       "SELECT 1 FROM Shippers s JOIN Orders o ON s.ShipperID = o.ShipVia JOIN Customers c "
       "ON c.CustomerID = o.CustomerID JOIN Employees e ON e.EmployeeID = o.EmployeeID JOIN "
       "\"Order Details\" d ON o.OrderID = d.OrderID JOIN Products p ON p.ProductID = "
       "d.ProductID"},
      {"Summary of Sales by Quarter",
       "SELECT DISTINCT o.OrderID FROM Orders o JOIN \"Order Details\" d ON o.OrderID = "
       "d.OrderID WHERE o.ShippedDate IS NOT NULL"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.query);
    Variant got = scalar(*nwind, std::string("SELECT count(*) AS n FROM \"") + c.query + "\"");
    Variant want = scalar(*nwind, std::string("SELECT count(*) AS n FROM (") + c.handSql + ")");
    EXPECT_EQ(got, want);
    EXPECT_GT(want.asInt(), 0);
  }
  // Names with blanks are SQL text to the engine, so they are quoted there.
  auto top = nwind->OpenRecordset(u"SELECT * FROM \"Ten Most Expensive Products\"");
  EXPECT_EQ(top->Fields(u"UnitPrice"), Variant::currencyScaled(2635000));

  auto queries = open("queryTestV2000.mdb");
  EXPECT_EQ(scalar(*queries, "SELECT count(*) AS n FROM SelectQuery"), Variant::longValue(0));
}

TEST(AccessFixtures, QueriesThatCannotRunSayWhyWhenOpened) {
  DORVANE_ENTER_FIXTURES("public");
  auto db = open("queryTestV2000.mdb");  // opening does not translate anything
  struct Case {
    const char16_t* query;
    const char* reason;
  } cases[] = {
      {u"CrosstabQuery", "crosstab"},
      {u"UnionQuery", "union"},
      {u"UpdateQuery", "update"},
      {u"DataDefinitionQuery", "data-definition"},
  };
  for (const auto& c : cases) {
    std::string description;
    EXPECT_EQ(errorNumber([&] { db->OpenRecordset(c.query); }, &description), err::kSyntaxError);
    EXPECT_NE(description.find(text::toUtf8(c.query)), std::string::npos) << description;
    EXPECT_NE(description.find(c.reason), std::string::npos) << description;
  }
  std::string description;
  auto nwind = open("nwind.mdb");
  EXPECT_EQ(
      errorNumber([&] { nwind->OpenRecordset(u"SELECT * FROM \"Employee Sales by Country\""); },
                  &description),
      err::kSyntaxError);
  EXPECT_NE(description.find("parameter"), std::string::npos) << description;
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string jetHeader(size_t size) {
  std::string b(size, '\0');
  b[1] = 1;
  std::memcpy(&b[4], "Standard Jet DB", 15);
  b[0x14] = 1;
  return b;
}

TEST(AccessBadInput, EveryFailureIsARuntimeErrorThatNamesTheFile) {
  TempDir dir;
  std::string fixtures = testing::fixturesDir();
  std::string refBytes;
  if (!fixtures.empty()) {
    std::ifstream in(fixtures + "/access/ref.mdb", std::ios::binary);
    refBytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  struct Case {
    const char* name;
    std::string bytes;
    int number;
  } cases[] = {
      {"empty.mdb", "", err::kUnrecognizedFormat},
      {"text.mdb", "hello, this is no database", err::kUnrecognizedFormat},
      // An Access header on a damaged body: recognised, but cannot be opened.
      {"header-only.mdb", jetHeader(100), err::kCannotOpenDatabase},
      {"zero-pages.mdb", jetHeader(4096 * 4), err::kCannotOpenDatabase},
      {"odd-size.mdb", jetHeader(4096 * 4 + 100), err::kCannotOpenDatabase},
  };
  for (const auto& c : cases) {
    std::string path = dir.file(c.name), description;
    writeFile(path, c.bytes);
    EXPECT_EQ(errorNumber([&] { open(path)->OpenRecordset(u"参照ﾃｰﾌﾞﾙ"); }, &description), c.number)
        << c.name;
    EXPECT_NE(description.find(path), std::string::npos) << description;
  }
  EXPECT_EQ(errorNumber([&] { open(dir.path().string()); }), err::kUnrecognizedFormat);
  EXPECT_EQ(errorNumber([&] { open(dir.file("missing.mdb")); }), err::kFileNotFound);
  if (refBytes.empty()) return;

  // Truncated: cut inside the data, and cut to whole pages.
  for (size_t keep : {size_t{50000}, size_t{4096 * 3}}) {
    std::string path = dir.file("cut" + std::to_string(keep) + ".mdb");
    writeFile(path, refBytes.substr(0, keep));
    EXPECT_EQ(errorNumber([&] {
                auto rs = open(path)->OpenRecordset(u"参照ﾃｰﾌﾞﾙ");
                countRows(*rs);
              }),
              err::kCannotOpenDatabase)
        << keep;
  }
  // A database password (the masked bytes at 0x42 no longer unmask to zero).
  std::string locked = refBytes;
  locked[0x44] = static_cast<char>(locked[0x44] ^ 0x55);
  writeFile(dir.file("locked.mdb"), locked);
  std::string why;
  EXPECT_EQ(errorNumber([&] { open(dir.file("locked.mdb")); }, &why), err::kNotValidPassword);
  EXPECT_NE(why.find("password"), std::string::npos) << why;
  {
    std::ifstream in(fixtures + "/public/testV1997.mdb", std::ios::binary);
    std::string jet3(std::istreambuf_iterator<char>(in), {});
    jet3[0x42] = static_cast<char>(jet3[0x42] ^ 0x21);  // Jet 3 keeps it unmasked
    writeFile(dir.file("locked97.mdb"), jet3);
    EXPECT_EQ(errorNumber([&] { open(dir.file("locked97.mdb")); }, &why), err::kNotValidPassword);
    EXPECT_NE(why.find("password"), std::string::npos) << why;
  }
  // Pages overwritten with noise past the header.
  std::string noisy = refBytes;
  for (size_t i = 4096; i < noisy.size(); i += 7) noisy[i] = static_cast<char>(i * 31);
  writeFile(dir.file("noisy.mdb"), noisy);
  EXPECT_NE(errorNumber([&] { open(dir.file("noisy.mdb"))->OpenRecordset(u"参照ﾃｰﾌﾞﾙ"); }), 0);
}

TEST(AccessBadInput, DamagedDataPagesAreErrorsNotRows) {
  DORVANE_ENTER_FIXTURES("access");
  TempDir dir;
  const std::string good = testing::readBytes("source.mdb");
  constexpr size_t kPage = 4096, kRowCount = 12;  // Jet 4 data pages
  // The data pages (type 1) of table items, or of every table but MSysObjects
  // (whose property memos then lie on damaged pages).
  auto sourceDb = open("source.mdb");
  auto* source = dynamic_cast<db::AccessDatabase*>(sourceDb.get());
  ASSERT_NE(source, nullptr);
  const std::uint32_t items = source->file().find(u"items")->id & 0x00FFFFFF;
  auto dataPages = [&](const std::string& bytes, bool itemsOnly) {
    std::vector<size_t> out;
    for (size_t at = kPage; at + kPage <= bytes.size(); at += kPage) {
      std::uint32_t owner;
      std::memcpy(&owner, bytes.data() + at + 4, 4);
      if (bytes[at] == 1 && (itemsOnly ? owner == items : owner > 2)) out.push_back(at);
    }
    return out;
  };
  auto zeroOffsets = [](std::string& b, size_t at) {
    std::uint16_t rows;
    std::memcpy(&rows, b.data() + at + kRowCount, 2);
    std::memset(b.data() + at + kRowCount + 2, 0, 2u * rows);
  };
  auto tooManyRows = [](std::string& b, size_t at) {
    std::uint16_t rows = 3000;
    std::memcpy(b.data() + at + kRowCount, &rows, 2);
  };
  // Each row claims more columns than its bytes hold: no row can be cracked,
  // and none may be skipped.
  auto uncrackable = [](std::string& b, size_t at) {
    std::uint16_t rows;
    std::memcpy(&rows, b.data() + at + kRowCount, 2);
    for (std::uint16_t r = 0; r < rows; ++r) {
      std::uint16_t offset;
      std::memcpy(&offset, b.data() + at + kRowCount + 2 + 2 * r, 2);
      if (offset & 0xC000) continue;  // deleted, or a pointer to an overflow row
      b[at + (offset & 0x1FFF)] = '\xFF';
      b[at + (offset & 0x1FFF) + 1] = '\xFF';
    }
  };
  const struct Case {
    std::function<void(std::string&, size_t)> damage;
    bool itemsOnly;
    const char* named;  // the table or column the description names (once)
  } cases[] = {
      {zeroOffsets, true, "table 'items'"},
      {tooManyRows, true, "table 'items'"},
      {uncrackable, true, "cannot be read"},
      {zeroOffsets, false, "column 'LvProp'"},
  };
  for (const auto& c : cases) {
    std::string bytes = good;
    for (size_t at : dataPages(bytes, c.itemsOnly)) c.damage(bytes, at);
    std::string path = dir.file("damaged" + std::to_string(&c - cases) + ".mdb"), why;
    writeFile(path, bytes);
    EXPECT_EQ(errorNumber([&] { countRows(*open(path)->OpenRecordset(u"items")); }, &why),
              err::kCannotOpenDatabase);
    EXPECT_NE(why.find(path), std::string::npos) << why;
    const size_t first = why.find(c.named);
    EXPECT_NE(first, std::string::npos) << why;
    EXPECT_EQ(why.find(c.named, first + 1), std::string::npos) << why;
  }
}

TEST(AccessBadInput, DeletedFileAndLinkToMissingFile) {
  DORVANE_ENTER_FIXTURES("access");
  TempDir dir;
  fs::copy_file("source.mdb", dir.file("gone.mdb"));
  auto db = open(dir.file("gone.mdb"));  // the catalog is read now, the tables later
  fs::remove(dir.file("gone.mdb"));
  std::string description;
  EXPECT_NE(errorNumber([&] { db->OpenRecordset(u"items"); }, &description), 0);
  EXPECT_NE(description.find("gone.mdb"), std::string::npos) << description;

  fs::copy_file("layout_linked.mdb", dir.file("linked.mdb"));
  testing::FixtureCwd away("public");  // neither folder holds ref.mdb
  EXPECT_EQ(
      errorNumber([&] { open(dir.file("linked.mdb"))->OpenRecordset(u"参照ﾃｰﾌﾞﾙ"); }, &description),
      err::kFileNotFound);
  EXPECT_NE(description.find("ref.mdb"), std::string::npos) << description;
}

TEST(AccessCache, AnUnchangedFileIsReadOnceAChangedOneAgain) {
  DORVANE_ENTER_FIXTURES("access");
  TempDir dir;
  std::string path = dir.file("source.mdb");
  fs::copy_file("source.mdb", path);
  auto file = [&](const std::string& p) {
    auto db = open(p);
    return &dynamic_cast<db::AccessDatabase&>(*db).file();
  };
  db::AccessFile* first = file(path);
  open(path)->OpenRecordset(u"items");
  EXPECT_EQ(file(path), first);
  EXPECT_EQ(file(dir.path().string() + "/./source.mdb"), first);  // the same canonical path
  EXPECT_NE(first->imported(u"items"), nullptr);

  struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  db::AccessFile* second = file(path);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->imported(u"items"), nullptr);  // read afresh, lazily
}

}  // namespace
}  // namespace dorvane
