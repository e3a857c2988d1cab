// The kept, bound statement of a lookup (Database::OpenLookup) against the
// SQL text's own result: the text prepared as it stands on the same SQLite
// connection, literals and all. Over SQLite files (binary and NOCASE
// columns, a view, a numeric column compared with text) and an Access file
// (its Jet-like collation), for every shape the resolution builds and key
// values of every kind.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/db/sql_literals.h"
#include "platform/db/sqlite/sqlite_database.h"
#include "platform/db/sqlite/sqlite_values.h"
#include "platform/text/utf.h"
#include "resolve/sql_text.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

// A result as text: one line per row, columns joined by "|"; "error" when
// the SQL is rejected.
using Rows = std::vector<std::string>;

Rows textOwnRows(db::SqliteDatabase& database, const std::u16string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare16_v2(database.connection().handle(), sql.data(),
                           static_cast<int>(sql.size() * 2), &stmt, nullptr) != SQLITE_OK) {
    sqlite3_finalize(stmt);
    return {"error"};
  }
  const bool utf16 = database.connection().textIsUtf16();
  Rows rows;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    std::string line;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
      const Variant v =
          db::columnValue(stmt, i, db::kindFromDeclType(sqlite3_column_decltype(stmt, i)), utf16);
      line += (v.isNull() ? std::string("Null") : text::toUtf8(toText(v))) + "|";
    }
    rows.push_back(line);
  }
  sqlite3_finalize(stmt);
  return rows;
}

Rows lookupRows(Database& database, const std::u16string& sql, const std::u16string& shape,
                const std::u16string_view* values, size_t count,
                const std::vector<std::u16string>& columns) {
  try {
    auto rs = database.OpenLookup(sql, Database::LiteralShape{&shape, values, count});
    Rows rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      std::string line;
      for (const auto& c : columns) {
        const Variant v = rs->Fields(c);
        line += (v.isNull() ? std::string("Null") : text::toUtf8(toText(v))) + "|";
      }
      rows.push_back(line);
    }
    return rows;
  } catch (const RuntimeError&) {
    return {"error"};
  }
}

std::vector<std::u16string> columnsOf(db::SqliteDatabase& database, const std::u16string& table) {
  std::vector<std::u16string> names;
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "SELECT * FROM \"" + text::toUtf8(table) + "\"";
  sqlite3_prepare_v2(database.connection().handle(), sql.c_str(), -1, &stmt, nullptr);
  for (int i = 0; stmt && i < sqlite3_column_count(stmt); ++i)
    names.push_back(static_cast<const char16_t*>(sqlite3_column_name16(stmt, i)));
  sqlite3_finalize(stmt);
  return names;
}

struct Shape {
  bool tableMode;
  const char16_t* target;
  const char16_t* keyField;
  const char16_t* secondField;  // nullptr: one condition
};

// Every shape over every pair of key values: the bound result equals the
// text's own, and the shape is what the connection's parameterizing of the
// text gives.
void expectSameResults(const std::string& path, const std::vector<Shape>& shapes) {
  auto opened = Engine::instance().OpenDatabase(text::fromUtf8(path));
  auto* database = dynamic_cast<db::SqliteDatabase*>(opened.get());
  ASSERT_NE(database, nullptr) << path;
  const std::u16string keys[] = {u"A01", u"a01",   u"Ａ０１",  u"A01 ",  u" A01", u"",     u" ",
                                 u"A%",  u"A_1",   u"A*",      u"A?",    u"%",    u"it's", u"''",
                                 u"'",   u"12",    u"012",     u"12.0",  u"1e1",  u"-",    u"--x",
                                 u"/*",  u"?",     u"x\"y",    u"[A01]", u"NULL", u"ｱ",    u"ア",
                                 u"𠀋",  u"A01;B", u"A\u3000", u"many"};
  for (const Shape& s : shapes) {
    const std::u16string field2 = s.secondField ? s.secondField : u"";
    const std::u16string shape =
        sql::valueTargetShape(s.tableMode, s.target, s.keyField, s.secondField ? &field2 : nullptr);
    // The table's columns as the text's own result names them.
    std::u16string sample = sql::valueTarget(s.tableMode, s.target, s.keyField, u"", std::nullopt);
    lookupRows(*opened, sample, shape, nullptr, 0, {});  // imports an Access table
    const auto columns = columnsOf(*database, s.target);
    for (const auto& v1 : keys) {
      for (const auto& v2 : s.secondField
                                ? std::vector<std::u16string>(std::begin(keys), std::end(keys))
                                : std::vector<std::u16string>{u""}) {
        std::optional<sql::SecondCondition> second;
        if (s.secondField) second = sql::SecondCondition{field2, v2};
        const std::u16string text = sql::valueTarget(s.tableMode, s.target, s.keyField, v1, second);
        const std::u16string_view values[] = {v1, v2};
        const size_t count = s.secondField ? 2 : 1;
        const auto parameterized = db::parameterizeLiterals(text);
        ASSERT_TRUE(db::parameterizesAs(shape, count)) << text::toUtf8(shape);
        ASSERT_TRUE(parameterized) << text::toUtf8(text);
        EXPECT_EQ(parameterized->text, shape);
        ASSERT_EQ(parameterized->values.size(), count);
        for (size_t i = 0; i < count; ++i) EXPECT_EQ(parameterized->values[i], values[i]);
        const Rows own = textOwnRows(*database, text);
        // Twice: a shape new to the connection goes through the text, a
        // known one through its kept statement.
        for (int round = 0; round < 2; ++round)
          EXPECT_EQ(lookupRows(*opened, text, shape, values, count, columns), own)
              << path << ": " << text::toUtf8(text);
      }
    }
  }
}

TEST(LookupDifferential, SqliteFilesGiveTheTextsOwnResults) {
  testing::TempDir dir;
  for (const char* encoding : {"UTF-8", "UTF-16le"}) {
    const std::string path = dir.file(std::string("keys-") + encoding + ".sqlite");
    testing::buildDatabase(path, std::string("PRAGMA encoding = '") + encoding + R"sql(';
      CREATE TABLE t (k TEXT, k2 TEXT, n INTEGER, v DOUBLE);
      CREATE TABLE c (k TEXT COLLATE NOCASE, k2 TEXT, v TEXT);
      CREATE INDEX c_k ON c (k);
      WITH keys(k) AS (VALUES ('A01'), ('a01'), ('Ａ０１'), ('A01 '), (' A01'), (''), (' '),
        ('A%'), ('A_1'), ('A*'), ('A?'), ('%'), ('it''s'), (''''''), (''''), ('12'), ('012'),
        ('12.0'), ('-'), ('--x'), ('/*'), ('?'), ('x"y'), ('[A01]'), ('NULL'), ('ｱ'), ('ア'),
        ('𠀋'), ('A01;B'), ('A　'), (NULL))
      INSERT INTO t SELECT k, k, 12, 1.5 FROM keys;
      INSERT INTO t VALUES ('A01', '2', 12, 2.5), (NULL, NULL, NULL, NULL);
      WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
      INSERT INTO t SELECT 'many', 'many', i, i FROM n;  -- beyond the rows read at once
      INSERT INTO c SELECT k, k2, v FROM t;
      CREATE VIEW q AS SELECT k AS qk, k2, n, v * 2 AS v FROM t;
    )sql");
    expectSameResults(path, {{true, u"t", u"k", nullptr},
                             {true, u"t", u"k", u"k2"},
                             {true, u"t", u"n", nullptr},  // numeric column, text literal
                             {true, u"c", u"k", nullptr},  // NOCASE
                             {true, u"c", u"k", u"k2"},
                             {false, u"q", u"qk", nullptr},
                             {false, u"q", u"qk", u"k2"},
                             {true, u"t", u"nokey", nullptr}});  // rejected either way
  }
}

TEST(LookupDifferential, AccessFilesGiveTheTextsOwnResults) {
  expectSameResults(DORVANE_SOURCE_DIR "/../shared/fixtures/access/source.mdb",
                    {{true, u"items", u"code", nullptr},
                     {true, u"stock", u"code", u"lot"},
                     {true, u"mixed", u"code", nullptr},
                     {false, u"q_items", u"code", nullptr},
                     {false, u"q_orders", u"code", u"item"}});
}

}  // namespace
}  // namespace dorvane
