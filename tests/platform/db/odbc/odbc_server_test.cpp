// Data on a server: the public front-end file whose table Ordrar is linked
// through the data source Magnapinna, connect strings as databases, and a
// reference table on the server, against a private PostgreSQL 15.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <cmath>
#include <latch>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "platform/convert.h"
#include "platform/db/access/access_fixture.h"
#include "platform/text/utf.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"
#include "support/pg_server.h"
#include "support/run_command.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

using testing::PgServer;
using testing::TempDir;

const std::string kConnect = "ODBC;DSN=Magnapinna;UID=safexit;PWD=DummyPassword";

// Ordrar as the link expects it (dbo.Ordrar), with rows for K1..K500 whose
// Belopp is n / 4, and the reference table on the server.
std::string serverData(const std::string& linkedFile) {
  return R"sql(
CREATE SCHEMA dbo;
CREATE TABLE dbo."Ordrar" ("ID" integer PRIMARY KEY, "Kod" varchar(20) NOT NULL,
  "Kund" varchar(100), "Belopp" numeric(12,2), "Antal" double precision,
  "Levererad" boolean, "Datum" timestamp);
CREATE INDEX "Ordrar_Kod" ON dbo."Ordrar" ("Kod");
CREATE VIEW dbo."Slow" AS SELECT pg_sleep(5)::text AS "Kod";
INSERT INTO dbo."Ordrar" VALUES
  (1, 'A1', '山田商店', 1200.50, 3, true, '2024-05-01 10:00'),
  (2, 'A1', 'O''Neil & Co', 800.25, 2, false, NULL),
  (3, 'B"2', '引用"符', 15, 1, NULL, NULL),
  (4, 'N1', NULL, NULL, NULL, NULL, NULL),
  (5, 'E1', '', 0, 0, false, NULL);
INSERT INTO dbo."Ordrar" ("ID", "Kod", "Belopp") SELECT 100 + n, 'K' || n, n / 4.0
  FROM generate_series(1, 500) AS n;
CREATE TABLE dbo."参照ﾃｰﾌﾞﾙ" ("ｷｰ" varchar(50), "転送優先" boolean, "ｷｰﾌｨｰﾙﾄﾞ" varchar(50),
  "ALTｷｰﾌｨｰﾙﾄﾞ" varchar(50), "DB名" varchar(255), "ﾌｨｰﾙﾄﾞ名" varchar(50),
  "ﾌｨｰﾙﾄﾞﾀｲﾌﾟ" varchar(10), "ﾃｰﾌﾞﾙ／ｸｴﾘｰF" varchar(10), "ﾃｰﾌﾞﾙ名" varchar(50),
  "ｸｴﾘｰ名" varchar(50), "コメント項目名" varchar(50), "内容説明" varchar(50),
  "単位" double precision, "ﾗｳﾝﾄﾞ" varchar(10), "小数位" smallint);
CREATE INDEX "ｷｰ" ON dbo."参照ﾃｰﾌﾞﾙ" ("ｷｰ");
INSERT INTO dbo."参照ﾃｰﾌﾞﾙ" VALUES
  ('!!srv', true, 'Kod', NULL, ')sql" +
         linkedFile + R"sql(', 'Belopp', '数値', 'table', 'Ordrar',
   NULL, NULL, 'サーバー', 1, '四捨五入', 1);
)sql";
}

// A reference database (SQLite) whose rows read Ordrar through the link in
// the public file (@L@) or through the connect string (@C@).
std::string referenceRows() {
  return R"sql(
INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, ALTｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ,
  "ﾃｰﾌﾞﾙ／ｸｴﾘｰF", ﾃｰﾌﾞﾙ名, ｸｴﾘｰ名, 内容説明, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES
  ('!!belopp', 1, 'Kod', 'ID', '@L@', 'Belopp', '数値', 'table', 'Ordrar', NULL, '金額', 1, '四捨五入', 1),
  ('!!kund',   0, 'Kod', 'ID', '@L@', 'Kund', 'テキスト', 'table', 'Ordrar', NULL, NULL, 1, NULL, 0),
  ('!!kundq',  1, 'Kod', 'Kund', '@L@', 'Belopp', '数値', 'table', 'Ordrar', NULL, NULL, 1, '四捨五入', 1),
  ('!!kunder', 1, 'Kod', NULL, '@L@', 'Kund', 'テキスト', 'table', 'Ordrar', NULL, NULL, 1, '連結', 0),
  ('!!datum',  1, 'kod', 'id', '@L@', 'datum', 'テキスト', 'table', 'ordrar', NULL, NULL, 1, NULL, 0),
  ('!!lev',    1, 'Kod', NULL, '@L@', 'Levererad', 'テキスト', 'table', 'Ordrar', NULL, NULL, 1, NULL, 0),
  ('!!antal',  1, 'Kod', NULL, '@C@', 'Antal', '数値', 'table', 'Ordrar', NULL, NULL, 1, '切り捨て', 0),
  ('!!dbo',    1, 'Kod', 'ID', '@C@', 'Belopp', '数値', 'table', 'dbo.Ordrar', NULL, NULL, 1, '四捨五入', 1),
  ('!!login',  1, 'Kod', NULL, 'ODBC;DSN=Magnapinna;UID=safexit;PWD=Wr0ngPass', 'Antal', '数値',
   'table', 'Ordrar', NULL, NULL, 1, '切り捨て', 0),
  ('!!fel',    1, 'Kod', NULL, '@L@', 'Saknas', '数値', 'table', 'Ordrar', NULL, NULL, 1, '切り捨て', 0);
)sql";
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

class OdbcServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::fixturesDir().empty()) {
      if (testing::fixturesRequired()) FAIL() << "../shared/fixtures is missing";
      GTEST_SKIP() << "../shared/fixtures is missing";
    }
    linked_ = testing::fixturesDir() + "/public/odbcLinkerTestV2007.accdb";
    // One server for the process: the driver manager reads odbc.ini once,
    // and pooled connections outlive a test.
    static std::unique_ptr<PgServer> server = std::make_unique<PgServer>(serverData(linked_));
    server_ = server.get();
    if (!server_->ok()) {
      if (testing::fixturesRequired())
        FAIL() << "PostgreSQL for the ODBC tests: " << server_->error();
      GTEST_SKIP() << "PostgreSQL for the ODBC tests: " << server_->error();
    }
    reference_ = dir_.file("ref.sqlite");
    testing::buildDatabase(
        reference_, testing::referenceTableSchema() +
                        replaceAll(replaceAll(referenceRows(), "@L@", linked_), "@C@", kConnect));
  }

  // Resolves text in pass wkcycle against the reference database kiv, as the
  // page pass does; the value's text, or "error N" for a run-time error.
  static std::string resolve(const std::string& kiv, const std::string& text, int wkcycle,
                             std::string* description = nullptr) {
    try {
      auto kivdb = Engine::instance().OpenDatabase(text::fromUtf8(kiv));
      auto kivrs = reference::open(*kivdb);
      std::shared_ptr<Database> db;
      std::shared_ptr<Recordset> rs;
      PlaceholderResult r =
          resolvePlaceholder(text::fromUtf8(text), static_cast<std::int16_t>(wkcycle), *kivrs,
                             PlaceholderKind::Worksheet, db, rs);
      if (r.outcome != Outcome::Resolved) return outcomeName(r.outcome);
      if (!r.value) return "no value";
      std::string shown = r.value->isNull() ? "Null" : text::toUtf8(toText(*r.value));
      return std::string(typeName(r.value->type())) + " " + shown +
             (r.comment ? " / " + text::toUtf8(*r.comment) : "");
    } catch (const RuntimeError& e) {
      if (description) *description = e.description();
      return "error " + std::to_string(e.number());
    }
  }

  TempDir dir_;
  std::string linked_, reference_;
  PgServer* server_ = nullptr;
};

TEST_F(OdbcServer, MergesValuesFromTheServer) {
  struct Case {
    std::string db, text;
    int pass;
    std::string expected;
  } cases[] = {
      // Through the link of the unchanged public file.
      {reference_, "!!belopp,A1;", 1, "Double 2000.8 / 金額"},
      {reference_, "!!belopp,A1'2;", 1, "Double 800.3 / 金額"},
      {reference_, "!!belopp,A1;K7;", 1, "Double 2002.5 / 金額"},
      {reference_, "!!belopp,ZZ;", 1, "Double 0"},
      {reference_, "!!belopp,B\"2;", 1, "Double 15 / 金額"},
      {reference_, "!!kund,A1'1;", 2, "String 山田商店"},
      {reference_, "!!kund,A1'1;", 1, "Skip"},
      {reference_, "!!kund,B\"2;", 2, "String 引用\"符"},
      {reference_, "!!kund,N1;", 2, "Null Null"},
      {reference_, "!!kund,E1;", 2, "String "},
      {reference_, "!!kunder,A1;", 1, "String 山田商店 O'Neil & Co "},
      {reference_, "!!datum,A1'1;", 1, "Date 2024/05/01 10:00:00"},
      {reference_, "!!lev,A1;", 1, "Boolean True"},
      // A second key value with a quote in it.
      {reference_, "!!kundq,A1'O'Neil & Co;", 1, "Double 800.3"},
      // A value field the server's table lacks.
      {reference_, "!!fel,A1;", 1, "error 3265"},
      // DB名 as a connect string.
      {reference_, "!!antal,A1;", 1, "Double 5"},
      // A reference table on the server, sought through its index ｷｰ.
      {kConnect, "!!srv,A1;", 1, "Double 2000.8 / サーバー"},
      {kConnect, "!!srv,A1;", 2, "Skip"},
      {kConnect, "!!nokey,A1;", 1, "Skip"},
  };
  for (const auto& c : cases) {
    std::string description;
    EXPECT_EQ(resolve(c.db, c.text, c.pass, &description), c.expected)
        << c.text << ": " << description;
  }
}

// Once a table has an alias, the server knows it by that alias only: every
// reference to a schema-qualified table names what the FROM clause defines.
TEST_F(OdbcServer, SchemaQualifiedTablesAreReferencedAsTheFromClauseDefinesThem) {
  EXPECT_EQ(resolve(reference_, "!!dbo,A1;", 1), "Double 2000.8");
  EXPECT_EQ(resolve(reference_, "!!dbo,A1'2;", 1), "Double 800.3");
  struct Case {
    std::string source;
    int rows;
  } cases[] = {
      {"select all dbo.Ordrar.* from dbo.Ordrar where dbo.Ordrar.Kod = 'A1'", 2},
      {"select all Ordrar.* from Ordrar where Ordrar.Kod = 'A1'", 2},
      {"select dbo.Ordrar.Kund from dbo.Ordrar where dbo.Ordrar.Kod = 'A1' and "
       "dbo.Ordrar.ID > 1 order by dbo.Ordrar.ID",
       1},
      {"select o.Kund from dbo.Ordrar as o where dbo.Ordrar.ID = 3", 1},
      {"select count(*) from [dbo].[Ordrar] where [dbo].[Ordrar].[Kod] like 'K1*'", 1},
      {"dbo.Ordrar", 505},  // a detail placeholder's plain form: the table by its name
  };
  for (const auto& c : cases) {
    try {
      auto db = Engine::instance().OpenDatabase(text::fromUtf8(kConnect));
      auto rs = db->OpenRecordset(text::fromUtf8(c.source));
      int rows = 0;
      for (; !rs->Eof(); rs->MoveNext()) ++rows;
      EXPECT_EQ(rows, c.rows) << c.source;
    } catch (const RuntimeError& e) {
      ADD_FAILURE() << c.source << ": error " << e.number() << " " << e.description();
    }
  }
}

TEST_F(OdbcServer, FailuresCarryTheDriversDiagnosticWithoutThePassword) {
  struct Case {
    std::string db, source;
    int number;
    std::vector<std::string> mentions;
  } cases[] = {
      {"ODBC;DSN=Magnapinna;UID=safexit;PWD=Wr0ngPass",
       "",
       err::kOdbcConnectFailed,
       {"password authentication failed", "PWD=***"}},
      {"ODBC;DSN=NoSuchSource;PWD={a;b}", "", err::kOdbcConnectFailed, {"IM002", "PWD=***"}},
      {kConnect,
       "select all Nope.* from Nope where Nope.Kod = 'A1'",
       err::kNoSuchTableOrQuery,
       {"Nope", "PWD=***"}},
      {linked_,
       "select all Ordrar.* from Ordrar where Ordrar.Saknas = 'A1'",
       err::kOdbcCallFailed,
       {"42703", "PWD=***"}},
      {linked_,
       "select all Ordrar.* from Ordrar where Ordrar.ID = 'x'",
       err::kOdbcCallFailed,
       {"22P02"}},
      {linked_,
       "select Ordrar.Kod, Lokal.ID from Ordrar, Lokal",
       err::kOperationNotSupported,
       {"Ordrar", "Lokal", "PWD=***"}},
      {kConnect,
       "select all Ordrar.* from Ordrar where Ordrar.Kod = 'A1' & 'x'",
       err::kSyntaxError,
       {"'&'"}},
      {linked_,
       "select all Ordrar.* from Ordrar where Ordrar.Kod = 'A1",
       err::kSyntaxError,
       {"not closed", "PWD=***"}},
  };
  for (const auto& c : cases) {
    int number = 0;
    std::string description;
    try {
      auto db = Engine::instance().OpenDatabase(text::fromUtf8(c.db));
      db->OpenRecordset(text::fromUtf8(c.source));
    } catch (const RuntimeError& e) {
      number = e.number();
      description = e.description();
    }
    EXPECT_EQ(number, c.number) << c.source << ": " << description;
    for (const auto& m : c.mentions)
      EXPECT_NE(description.find(m), std::string::npos) << description;
    for (const char* secret : {"Wr0ngPass", "DummyPassword", "a;b"})
      EXPECT_EQ(description.find(secret), std::string::npos) << description;
  }
  // A server that takes the connection but never answers: the login gives up.
  int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  listen(silent, 4);
  getsockname(silent, reinterpret_cast<sockaddr*>(&at), &length);
  setenv("DORVANE_ODBC_LOGIN_TIMEOUT", "1", 1);
  try {
    Engine::instance().OpenDatabase(
        text::fromUtf8(std::string("ODBC;DRIVER=") + PgServer::kDriver + ";SERVER=127.0.0.1;PORT=" +
                       std::to_string(ntohs(at.sin_port)) + ";DATABASE=x;UID=u;PWD=Wr0ngPass"));
    ADD_FAILURE() << "a login without an answer";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kOdbcConnectFailed);
    EXPECT_NE(std::string(e.description()).find("timeout"), std::string::npos) << e.description();
  }
  unsetenv("DORVANE_ODBC_LOGIN_TIMEOUT");
  close(silent);
  // A statement that runs past the time-out is cut, not waited for.
  setenv("DORVANE_ODBC_QUERY_TIMEOUT", "1", 1);
  try {
    Engine::instance().OpenDatabase(text::fromUtf8(kConnect))->OpenRecordset(u"select * from Slow");
    ADD_FAILURE() << "no time-out";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kOdbcCallFailed);
    EXPECT_NE(std::string(e.description()).find("57014"), std::string::npos) << e.description();
  }
  unsetenv("DORVANE_ODBC_QUERY_TIMEOUT");
  // The link opened by name is a dynaset: no Index on it.
  auto front = Engine::instance().OpenDatabase(text::fromUtf8(linked_));
  auto ordrar = front->OpenRecordset(u"Ordrar");
  EXPECT_FALSE(ordrar->isTableType());
  EXPECT_GT(ordrar->RecordCount(), 500);
  try {
    ordrar->setIndex(u"ｷｰ");
    ADD_FAILURE() << "Index on a linked table";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kOperationNotSupported);
  }
  auto server = Engine::instance().OpenDatabase(text::fromUtf8(kConnect));
  auto reference = server->OpenRecordset(u"参照ﾃｰﾌﾞﾙ");
  EXPECT_TRUE(reference->isTableType());
  try {
    reference->setIndex(u"PrimaryKey");
    ADD_FAILURE() << "an index the server lacks";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kNotAnIndex);
  }
}

// As users run it: a page merged against a reference database whose rows
// read the link of the public file, and inspect showing and trying the link.
TEST_F(OdbcServer, TheCommandMergesAPageAndInspectTriesTheLink) {
  using testing::runCommand;
  using testing::shellQuote;
  std::string page = dir_.file("page.htm"), result = dir_.file("result.htm");
  testing::writeBytes(page, "<p>!!belopp,A1; gethere</p><p>!!login,A1; gethere</p>\r\n");
  auto merged = runCommand(shellQuote(DORVANE_CLI) + " web " + shellQuote(page) + " " +
                           shellQuote(result) + " " + shellQuote(reference_) + " --explain 2>&1");
  EXPECT_EQ(merged.status, 3) << merged.out;  // written, but !!login's password is wrong
  EXPECT_NE(testing::readBytes(result).find("!!belopp,A1; 2000.8"), std::string::npos)
      << testing::readBytes(result);
  EXPECT_NE(merged.out.find("password authentication failed"), std::string::npos) << merged.out;
  EXPECT_NE(merged.out.find("PWD=***"), std::string::npos) << merged.out;
  EXPECT_EQ(merged.out.find("Wr0ngPass"), std::string::npos) << merged.out;

  auto listed =
      runCommand(shellQuote(DORVANE_CLI) + " inspect " + shellQuote(linked_) + " --json --check");
  EXPECT_EQ(listed.out.find("DummyPassword"), std::string::npos);
  auto j = nlohmann::json::parse(listed.out, nullptr, false);
  ASSERT_TRUE(j.contains("linkedTables")) << listed.out;
  bool seen = false;
  for (const auto& l : j["linkedTables"]) {
    if (l["name"] != "Ordrar") continue;
    seen = true;
    EXPECT_EQ(l["remote"], "\"dbo\".\"Ordrar\"");
    EXPECT_NE(l["dataSource"].get<std::string>().find("DSN=Magnapinna"), std::string::npos);
    EXPECT_NE(l["dataSource"].get<std::string>().find("PWD=***"), std::string::npos);
    EXPECT_EQ(l["answers"], true) << l.dump();
  }
  EXPECT_TRUE(seen) << listed.out;
}

TEST_F(OdbcServer, ALostServerFailsThePlaceholderAndTheNextRunReconnects) {
  ASSERT_EQ(resolve(reference_, "!!belopp,K8;", 1), "Double 2 / 金額");
  server_->stop();
  std::string description;
  EXPECT_EQ(resolve(reference_, "!!belopp,K8;", 1, &description),
            "error " + std::to_string(err::kOdbcCallFailed));
  EXPECT_EQ(description.find("DummyPassword"), std::string::npos) << description;
  EXPECT_EQ(resolve(reference_, "!!belopp,K8;", 1, &description).rfind("error 31", 0), 0u);
  ASSERT_TRUE(server_->start()) << server_->error();
  EXPECT_EQ(resolve(reference_, "!!belopp,K8;", 1, &description), "Double 2 / 金額") << description;
}

TEST_F(OdbcServer, EightMergesInParallelGetTheirOwnValues) {
  constexpr int kThreads = 8, kPerThread = 60;
  std::vector<std::vector<std::string>> got(kThreads);
  std::vector<std::thread> threads;
  // Each thread reads the front end's catalog once, one at a time, and the
  // merges start when all have: the reader's child is forked while no other
  // thread is busy (a sanitizer's allocator is not safe across such a fork).
  std::mutex firstOpen;
  std::latch opened(kThreads);
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      {
        std::lock_guard<std::mutex> one(firstOpen);
        Engine::instance().OpenDatabase(text::fromUtf8(linked_));
      }
      opened.arrive_and_wait();
      for (int i = 0; i < kPerThread; ++i) {
        int n = 1 + (t * kPerThread + i) % 500;
        std::string why;
        got[t].push_back(resolve(reference_, "!!belopp,K" + std::to_string(n) + ";", 1, &why) +
                         why);
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kPerThread; ++i) {
      int n = 1 + (t * kPerThread + i) % 500;
      // Belopp is n / 4, rounded to one place as the row says.
      std::string expected = text::toUtf8(formatDouble(std::round(n / 4.0 * 10) / 10));
      EXPECT_EQ(got[t][i], "Double " + expected + " / 金額") << "K" << n;
    }
}

}  // namespace
}  // namespace dorvane
