// Real Access files of the public corpora that once read wrong: each value
// or refusal as Access gives it, and the kind `dorvane inspect` names.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/convert.h"
#include "platform/db/access/access_database.h"
#include "platform/db/access/access_fixture.h"
#include "platform/db/access/access_values.h"
#include "platform/text/utf.h"

namespace dorvane {
namespace {

TEST(AccessCorpus, RealFilesReadAsAccessReadsThem) {
  const std::string corpora = testing::corporaDir();
  if (corpora.empty()) {
    if (testing::fixturesRequired()) FAIL() << "../shared/corpora is missing";
    GTEST_SKIP() << "../shared/corpora is missing";
  }
  const std::string dir = corpora + "/access-ucanaccess-mdbreader/";
  const std::string parameters =
      "ucanaccess__src_test_java_net_ucanaccess_test_resources_Parameters-d7881267.accdb";
  const std::string complex = "ucanaccess__src_test_resources_testdbs_complex.accdb";
  struct Case {
    std::string file, sql, column;
    std::string expected;  // "Type text", or "error N: a word of the description"
  } cases[] = {
      // Large Number: exact, as a Decimal.
      {"mdb-reader__test_data_V2016_bigint.accdb", "select * from [Table]", "Numeric",
       "Decimal 42"},
      // A row written before columns were added: there, with them Null.
      {parameters, "select count(*) as n from [table 1]", "n", "Long 10"},
      {parameters, "select * from [table 1] where ID = 9", "text1", "Null Null"},
      {parameters, "select * from [table 1] where ID = 10", "text1", "String c"},
      // Complex columns named by their kind.
      {complex, "select * from t_complex", "VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880",
       "error 13: the version history of an append-only Memo"},
      {complex, "select * from t_complex", "multi-value-data", "error 13: a multi-value column"},
      {complex, "select * from t_complex", "attach-data", "error 13: an attachment column"},
      // Opened without its password.
      {"mdb-reader__test_password_data_V2000_with-password.mdb", "", "",
       "error 3031: protected by a database password"},
      {"mdb-reader__test_password_data_V2003_with-password.mdb", "", "",
       "error 3031: protected by a database password"},
  };
  for (const auto& c : cases) {
    std::string got;
    try {
      auto db = Engine::instance().OpenDatabase(text::fromUtf8(dir + c.file));
      auto rs = db->OpenRecordset(text::fromUtf8(c.sql));
      const Variant v = rs->Fields(text::fromUtf8(c.column));
      got = std::string(typeName(v.type())) + " " + (v.isNull() ? "Null" : text::toUtf8(toText(v)));
    } catch (const RuntimeError& e) {
      got = "error " + std::to_string(e.number()) + ": " + e.description();
    }
    if (c.expected.rfind("error", 0) == 0) {
      const std::string number = c.expected.substr(0, c.expected.find(':'));
      EXPECT_EQ(got.rfind(number + ":", 0), 0u) << c.file << " " << c.column << ": " << got;
      EXPECT_NE(got.find(c.expected.substr(number.size() + 2)), std::string::npos) << got;
    } else {
      EXPECT_EQ(got, c.expected) << c.file << " " << c.sql << " " << c.column;
    }
  }

  // What inspect shows for each column kind.
  auto db = Engine::instance().OpenDatabase(text::fromUtf8(dir + complex));
  auto& file = dynamic_cast<db::AccessDatabase&>(*db).file();
  const db::CatalogEntry* entry = file.find(u"t_complex");
  ASSERT_NE(entry, nullptr);
  file.import(*entry);
  std::string kinds;
  for (const auto& column : file.imported(u"t_complex")->definition.columns)
    kinds += db::accessTypeName(column).substr(0, db::accessTypeName(column).find(" (")) + ";";
  EXPECT_EQ(kinds, "Text;Version history of an append-only Memo;Memo;Memo;Multi-value;Attachment;");
  auto big = Engine::instance().OpenDatabase(
      text::fromUtf8(dir + "mdb-reader__test_data_V2016_bigint.accdb"));
  auto& bigFile = dynamic_cast<db::AccessDatabase&>(*big).file();
  bigFile.import(*bigFile.find(u"Table"));
  EXPECT_EQ(db::accessTypeName(bigFile.imported(u"Table")->definition.columns[1]), "Large Number");
}

}  // namespace
}  // namespace dorvane
