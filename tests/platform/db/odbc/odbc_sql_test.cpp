// Statements for a server and connect strings as they are shown: no server
// needed.
#include "platform/db/odbc/odbc_sql.h"

#include <gtest/gtest.h>

#include "platform/db/access_odbc_links.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/text/utf.h"

namespace dorvane::db {
namespace {

TEST(OdbcConnectString, PasswordsAreMaskedWhereverTheyStand) {
  const std::pair<const char*, const char*> cases[] = {
      {"ODBC;DSN=a;UID=u;PWD=secret;DATABASE=x", "ODBC;DSN=a;UID=u;PWD=***;DATABASE=x"},
      {"DRIVER={PostgreSQL Unicode};Password={se;}}cret};SERVER=h",
       "DRIVER={PostgreSQL Unicode};Password=***;SERVER=h"},
      {"failed on 'DSN=x;pwd = abc' (28P01)", "failed on 'DSN=x;pwd =***' (28P01)"},
      {"PWD=last", "PWD=***"},
      {"NOPWD=1;XPASSWORD=2;UID=PWD", "NOPWD=1;XPASSWORD=2;UID=PWD"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(maskPasswords(std::string(in)), out);
    EXPECT_EQ(text::toUtf8(maskPasswords(text::fromUtf8(in))), out);
  }
  EXPECT_TRUE(isOdbcName(u"odbc;DSN=x"));
  EXPECT_FALSE(isOdbcName(u"odbc.mdb"));
  EXPECT_EQ(odbcAttributes("ODBC;DSN=x"), "DSN=x");
}

class FakeCatalog : public ServerCatalog {
 public:
  RemoteTable table(const std::u16string& written) override {
    if (text::toUtf8(written) == "missing") throw TranslateError("no table missing");
    return RemoteTable{u"dbo", u"Ordrar", false, {}};
  }
  const std::vector<OdbcColumn>& columns(const RemoteTable&) override { return columns_; }

 private:
  std::vector<OdbcColumn> columns_{{u"ID", SQL_INTEGER, 10, 0, false},
                                   {u"Kod", SQL_WVARCHAR, 20, 0, false}};
};

TEST(OdbcSql, TextsBecomeStandardSqlWithTypedParameters) {
  struct Case {
    const char* access;
    const char* server;  // nullptr: refused
    std::vector<std::pair<const char*, SQLSMALLINT>> params;
  } cases[] = {
      {"select all Ordrar.* from Ordrar where Ordrar.Kod = 'A''1' and Ordrar.id ='2'",
       R"(SELECT ALL "Ordrar".* FROM "dbo"."Ordrar" AS "Ordrar" WHERE "Ordrar"."Kod" = ? AND "Ordrar"."ID" =?)",
       {{"A'1", SQL_WVARCHAR}, {"2", SQL_INTEGER}}},
      {"select all ordrar.* from ordrar where ordrar.KOD= 'x' and ordrar.No ='1'",
       R"(SELECT ALL "ordrar".* FROM "dbo"."Ordrar" AS "ordrar" WHERE "ordrar"."Kod"= ? AND "ordrar"."No" =?)",
       {{"x", SQL_WVARCHAR}, {"1", SQL_WVARCHAR}}},
      {"SELECT DISTINCTROW [Kod], Count(*) FROM [ordrar] AS o WHERE o.Kod Like \"A*?\" "
       "GROUP BY Kod;",
       R"(SELECT DISTINCT "Kod", COUNT(*) FROM "dbo"."Ordrar" AS "o" WHERE "o"."Kod" LIKE 'A%_' GROUP BY "Kod")",
       {}},
      // A schema-qualified table is referenced by the alias it gets.
      {"select all dbo.Ordrar.* from dbo.Ordrar where dbo.Ordrar.Kod = 'K1'",
       R"(SELECT ALL "Ordrar".* FROM "dbo"."Ordrar" AS "Ordrar" WHERE "Ordrar"."Kod" = ?)",
       {{"K1", SQL_WVARCHAR}}},
      {"select Ordrar.ID from Ordrar as o where Ordrar.Kod = 'K1'",
       R"(SELECT "o"."ID" FROM "dbo"."Ordrar" AS "o" WHERE "o"."Kod" = ?)",
       {{"K1", SQL_WVARCHAR}}},
      {"select top 1 * from Ordrar", nullptr, {}},
      {"select * from Ordrar where Kod = 'a' & 'b'", nullptr, {}},
      {"select * from Ordrar where Datum = #2024-01-01#", nullptr, {}},
      {"select * from Ordrar where Kod = IIf(1, 'a', 'b')", nullptr, {}},
      {"select * from (select * from Ordrar)", nullptr, {}},
      {"select * from Ordrar where Kod = 'open", nullptr, {}},
  };
  FakeCatalog catalog;
  for (const auto& c : cases) {
    std::u16string in = text::fromUtf8(c.access);
    if (!c.server) {
      EXPECT_THROW(translateForServer(in, catalog), TranslateError) << c.access;
      continue;
    }
    ServerStatement s = translateForServer(in, catalog);
    EXPECT_EQ(text::toUtf8(s.sql), c.server);
    ASSERT_EQ(s.params.size(), c.params.size()) << c.access;
    for (size_t i = 0; i < s.params.size(); ++i) {
      EXPECT_EQ(text::toUtf8(s.params[i].value), c.params[i].first);
      EXPECT_EQ(s.params[i].target.sqlType, c.params[i].second) << c.access;
    }
  }
  EXPECT_EQ(sourceTables(u"select a.x, b.y from [T 1] a inner join dbo.U as b on a.k = b.k"),
            (std::vector<std::u16string>{u"T 1", u"dbo.U"}));
}

TEST(OdbcSql, StoredQueriesAreRebuiltForTheServer) {
  auto row = [](int attribute, const char* name1, const char* name2, const char* expression,
                std::optional<std::int64_t> flag = std::nullopt) {
    QueryRow r;
    r.attribute = attribute;
    r.flag = flag;
    if (name1) r.name1 = name1;
    if (name2) r.name2 = name2;
    if (expression) r.expression = expression;
    return r;
  };
  // Rows in MSysQueries order scrambled on purpose: the text follows the attributes.
  std::vector<QueryRow> sums = {row(11, "D", nullptr, "Summa"),
                                row(5, "Ordrar", "o", nullptr),
                                row(6, nullptr, nullptr, "o.Kod"),
                                row(6, "Summa", nullptr, "Sum(o.Belopp)"),
                                row(8, nullptr, nullptr, "o.Kod Like 'A*'"),
                                row(9, nullptr, nullptr, "o.Kod"),
                                row(3, nullptr, nullptr, nullptr, 8)};
  std::u16string text = accessQueryText(sums, 0);
  EXPECT_EQ(text::toUtf8(text),
            "SELECT DISTINCT o.Kod, Sum(o.Belopp) AS [Summa] FROM [Ordrar] AS [o] WHERE o.Kod Like "
            "'A*' GROUP BY o.Kod ORDER BY Summa DESC");
  FakeCatalog catalog;
  EXPECT_EQ(
      text::toUtf8(translateForServer(text, catalog, false).sql),
      R"(SELECT DISTINCT "o"."Kod", SUM("o"."Belopp") AS "Summa" FROM "dbo"."Ordrar" AS "o" WHERE "o"."Kod" LIKE 'A%' GROUP BY "o"."Kod" ORDER BY "Summa" DESC)");

  std::vector<QueryRow> joined = {row(5, "Ordrar", nullptr, nullptr),
                                  row(5, "Kunder", nullptr, nullptr),
                                  row(3, nullptr, nullptr, nullptr, 1),
                                  row(7, "Ordrar", "Kunder", "Ordrar.Kund = Kunder.Namn", 2)};
  EXPECT_EQ(text::toUtf8(accessQueryText(joined, 0)),
            "SELECT * FROM [Ordrar] LEFT JOIN [Kunder] ON Ordrar.Kund = Kunder.Namn");
  for (const auto& refused :
       {std::vector<QueryRow>{row(5, "T", nullptr, nullptr),
                              row(3, nullptr, nullptr, nullptr, 0x11)},
        std::vector<QueryRow>{row(2, "p", nullptr, nullptr), row(5, "T", nullptr, nullptr)}})
    EXPECT_THROW(accessQueryText(refused, 0), TranslateError);
  EXPECT_THROW(accessQueryText(joined, 128), TranslateError);  // a union query
}

}  // namespace
}  // namespace dorvane::db
