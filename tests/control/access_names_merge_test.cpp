// Tables whose names hold blanks, as Access files have them: opened by name
// by the engine (Access and SQLite files), and through both merges with a
// reference table that names nwind.mdb's "Order Details".
#include <dorvane/ctl_message.h>
#include <dorvane/engine.h>
#include <dorvane/message_box.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include "platform/convert.h"
#include "platform/db/access/access_fixture.h"
#include "platform/text/utf.h"
#include "support/temp_db.h"
#include "worksheet/sheet_fixture.h"

namespace dorvane {
namespace {

using testing::TempDir;

int openError(Database& db, const std::u16string& source) {
  try {
    db.OpenRecordset(source);
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

TEST(NamesWithBlanks, OpenByNameInAccessAndSqliteFiles) {
  DORVANE_ENTER_FIXTURES("public");
  TempDir dir;
  testing::buildDatabase(dir.file("blanks.sqlite"),
                         "CREATE TABLE \"Order Details\" (OrderID INTEGER, Quantity INTEGER);"
                         "INSERT INTO \"Order Details\" VALUES (10248, 12);"
                         "CREATE VIEW \"Big Orders\" AS SELECT * FROM \"Order Details\";");
  struct Case {
    std::string file;
    std::u16string source, field;
    bool tableType;
    const char16_t* first;  // the field's text in the first row
  } cases[] = {
      {"nwind.mdb", u"Order Details", u"Quantity", true, u"12"},
      {"nwind.mdb", u"order details", u"Quantity", true, u"12"},  // case-blind
      {"nwind.mdb", u"[Order Details]", u"Quantity", true, u"12"},
      {"nwind.mdb", u"Order Details Extended", u"Quantity", false, u"12"},  // a stored query
      {"ASampleDatabase.accdb", u"Asset Items", u"Asset No", true, u"30050"},
      {dir.file("blanks.sqlite"), u"Order Details", u"Quantity", true, u"12"},
      {dir.file("blanks.sqlite"), u"Big Orders", u"Quantity", false, u"12"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + " " + text::toUtf8(c.source));
    auto db = Engine::instance().OpenDatabase(text::fromUtf8(c.file));
    auto rs = db->OpenRecordset(c.source);
    EXPECT_EQ(rs->isTableType(), c.tableType);
    ASSERT_FALSE(rs->Eof());
    EXPECT_EQ(toText(rs->Fields(c.field)), c.first);
  }
  // Anything else is SQL: an unknown single word is no table or query, an
  // unknown text with blanks SQL the engine rejects.
  auto nwind = Engine::instance().OpenDatabase(u"nwind.mdb");
  EXPECT_EQ(openError(*nwind, u"NoSuchTable"), err::kNoSuchTableOrQuery);
  EXPECT_EQ(openError(*nwind, u"No Such Table"), err::kSyntaxError);
  EXPECT_EQ(openError(*nwind, u"select count(*) as n from [Order Details]"), 0);
}

TEST(NamesWithBlanks, BothMergesReadOrderDetails) {
  DORVANE_ENTER_FIXTURES("public");
  TempDir dir;
  const std::string ref = dir.file("ref.sqlite"),
                    nwind = std::filesystem::absolute("nwind.mdb").string();
  testing::buildDatabase(ref, std::string(testing::referenceTableSchema()) + R"sql(
INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF",
  ﾃｰﾌﾞﾙ名, 単位, ﾗｳﾝﾄﾞ, 小数位, 行間) VALUES
  ('!!price', 1, 'OrderID', '@', 'UnitPrice', '数値', 'table', '[Order Details]', 1, '四捨五入', 1, NULL),
  ('&&lines', 1, 'OrderID', '@', NULL, NULL, 'table', 'Order Details', NULL, NULL, NULL, 1);
INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES ('&&lines', 0, 'ProductID'), ('&&lines', 1, 'Quantity');
)sql");
  testing::buildDatabase(ref, "UPDATE 参照ﾃｰﾌﾞﾙ SET DB名 = '" + nwind + "'");

  // The page merge: 14 + 9.8 + 34.8 for order 10248, to one decimal.
  ctlMessage control;
  auto box = std::make_shared<RecordingMessageBox>();
  control.setMessageBox(box);
  testing::writeBytes(dir.file("page.htm"), "<p>!!price,10248; gethere</p>");
  control.ocxwebKiv(text::fromUtf8(dir.file("page.htm")), text::fromUtf8(dir.file("out.htm")),
                    text::fromUtf8(ref), u"");
  EXPECT_TRUE(box->shown.empty()) << (box->shown.empty() ? "" : box->shown[0].reason);
  EXPECT_EQ(testing::readBytes(dir.file("out.htm")), "<p>!!price,10248; 58.6</p>\r\n");

  // The worksheet detail merge opens the table by its name: every line.
  testing::RunningSheet running;
  running.ws().set(1, 1, Variant::string(u"&&lines"));
  control.ocxKiv(text::fromUtf8(ref), u"");
  EXPECT_TRUE(box->shown.empty()) << (box->shown.empty() ? "" : box->shown[0].reason);
  EXPECT_EQ(running.ws().get(1, 1), Variant::longValue(11));
  EXPECT_EQ(running.ws().get(1, 2), Variant::integer(12));
  EXPECT_FALSE(running.ws().get(2155, 1).isEmpty());  // 2155 lines
  EXPECT_TRUE(running.ws().get(2156, 1).isEmpty());
}

}  // namespace
}  // namespace dorvane
