#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/db/sqlite/sqlite_database.h"
#include "platform/text/utf.h"
#include "support/error_of.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

using testing::TempDir;

std::u16string u16(const std::string& s) { return text::fromUtf8(s); }

using testing::errorOf;

class SqliteEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("db.sqlite");
    testing::buildDatabase(path_, R"sql(
      CREATE TABLE t (k TEXT, v INTEGER, b BOOLEAN, d DATETIME, c CURRENCY, s SINGLE,
                      n TINYINT, i SMALLINT, big INTEGER, r REAL, blob BLOB);
      CREATE INDEX t_k ON t (k COLLATE NOCASE);
      CREATE INDEX t_v ON t (v);
      INSERT INTO t VALUES ('b', 2, 1, '2024-01-02 03:04:05', '12.3456', 0.5, 7, -3,
                            5000000000, 1.5, x'0102');
      INSERT INTO t VALUES ('A', 1, 0, NULL, 3, NULL, NULL, NULL, NULL, NULL, NULL);
      INSERT INTO t VALUES ('a', 3, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
      CREATE TABLE empty (x TEXT);
      CREATE VIEW w AS SELECT k, v FROM t;
    )sql");
  }
  std::shared_ptr<Database> open() { return Engine::instance().OpenDatabase(u16(path_)); }

  TempDir dir_;
  std::string path_;
};

TEST_F(SqliteEngine, OpenFailuresNameTheFile) {
  EXPECT_EQ(errorOf([&] { Engine::instance().OpenDatabase(u16(dir_.file("none.db"))); }), 3024);
  EXPECT_EQ(errorOf([&] { Engine::instance().OpenDatabase(u""); }), 3024);
  std::ofstream(dir_.file("text.db")) << "hello, not a database";
  EXPECT_EQ(errorOf([&] { Engine::instance().OpenDatabase(u16(dir_.file("text.db"))); }), 3343);
  std::ofstream(dir_.file("empty.db"));
  EXPECT_EQ(errorOf([&] { Engine::instance().OpenDatabase(u16(dir_.file("empty.db"))); }), 3343);
  EXPECT_EQ(errorOf([&] { Engine::instance().OpenDatabase(u16(dir_.path().string())); }), 3343);
  // A truncated SQLite file: right header, no pages.
  std::string head = testing::readBytes(path_).substr(0, 100);
  std::ofstream(dir_.file("cut.db"), std::ios::binary) << head;
  EXPECT_EQ(errorOf([&] { Engine::instance().OpenDatabase(u16(dir_.file("cut.db"))); }), 3343);
  try {
    Engine::instance().OpenDatabase(u16(dir_.file("none.db")));
  } catch (const RuntimeError& e) {
    EXPECT_NE(std::string(e.description()).find("none.db"), std::string::npos);
  }
}

TEST_F(SqliteEngine, AnAccessHeaderAloneIsADamagedAccessFile) {
  std::string jet(2048, '\0');
  jet.replace(0, 4, std::string("\0\1\0\0", 4));
  jet.replace(4, 15, "Standard Jet DB");
  std::ofstream(dir_.file("a.mdb"), std::ios::binary) << jet;
  try {
    Engine::instance().OpenDatabase(u16(dir_.file("a.mdb")));
    FAIL() << "opened";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 3049);  // cannot open the database
    EXPECT_NE(std::string(e.description()).find("a.mdb"), std::string::npos);
    EXPECT_NE(std::string(e.description()).find("Access"), std::string::npos);
  }
}

TEST_F(SqliteEngine, NeverChangesTheFile) {
  std::string before = testing::readBytes(path_);
  struct stat st1 {};
  ::stat(path_.c_str(), &st1);
  {
    auto db = open();
    auto rs = db->OpenRecordset(u"t");
    rs->setIndex(u"t_k");
    rs->Seek(u"=", Variant::string(u"A"));
    db->OpenRecordset(u"select * from w")->RecordCount();
  }
  EXPECT_EQ(errorOf([&] { open()->OpenRecordset(u"insert into empty values ('x')"); }), 3075);
  EXPECT_EQ(testing::readBytes(path_), before);
  struct stat st2 {};
  ::stat(path_.c_str(), &st2);
  EXPECT_EQ(st1.st_mtim.tv_nsec, st2.st_mtim.tv_nsec);
  EXPECT_FALSE(std::filesystem::exists(path_ + "-journal"));
}

TEST_F(SqliteEngine, RecordsetTypesFollowTheSource) {
  auto db = open();
  EXPECT_TRUE(db->OpenRecordset(u"t")->isTableType());
  EXPECT_TRUE(db->OpenRecordset(u"T")->isTableType());
  EXPECT_FALSE(db->OpenRecordset(u"w")->isTableType());
  EXPECT_FALSE(db->OpenRecordset(u"select all t.* from t where t.k = 'b'")->isTableType());
  EXPECT_EQ(errorOf([&] { db->OpenRecordset(u"nosuch"); }), 3078);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset(u"select all x.* from x where x.k = '1'"); }), 3078);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset(u"select all t.* from t where t.zz = '1'"); }), 3075);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset(u"w")->setIndex(u"t_k"); }), 3251);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset(u"t")->setIndex(u"nosuch"); }), 3800);
  EXPECT_EQ(errorOf([&] { db->OpenRecordset(u"t")->Seek(u"=", Variant::string(u"a")); }), 3019);
}

TEST_F(SqliteEngine, SeekFindsTheFirstRowInIndexOrderUnderTheIndexCollation) {
  auto rs = open()->OpenRecordset(u"t");
  rs->setIndex(u"t_k");
  rs->Seek(u"=", Variant::string(u"a"));  // 'A' (v 1) and 'a' (v 3) both match NOCASE
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Fields(u"v"), Variant::longValue(1));
  rs->Seek(u"=", Variant::string(u"zz"));
  EXPECT_TRUE(rs->NoMatch());
  EXPECT_EQ(errorOf([&] { rs->Fields(u"v"); }), 3021);
  rs->setIndex(u"t_v");
  rs->Seek(u"=", Variant::string(u"2"));  // text key against an integer column
  ASSERT_FALSE(rs->NoMatch());
  EXPECT_EQ(rs->Fields(u"k"), Variant::string(u"b"));
}

TEST_F(SqliteEngine, WalksInIndexOrderAndCounts) {
  auto rs = open()->OpenRecordset(u"t");
  rs->setIndex(u"t_v");
  rs->MoveFirst();
  std::u16string order;
  for (; !rs->Eof(); rs->MoveNext()) order += rs->Fields(u"K").asString();
  EXPECT_EQ(order, u"Aba");
  rs->Seek(u"=", Variant::string(u"2"));  // a walk goes on from where a Seek stands
  rs->MoveNext();
  EXPECT_EQ(rs->Fields(u"k"), Variant::string(u"a"));
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), 3021);
  EXPECT_NE(rs->RecordCount(), 0);
  auto empty = open()->OpenRecordset(u"empty");
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_TRUE(empty->Eof());
  EXPECT_EQ(errorOf([&] { empty->MoveFirst(); }), 3021);
  auto dyn = open()->OpenRecordset(u"select * from t where v > 100");
  EXPECT_EQ(dyn->RecordCount(), 0);
  EXPECT_TRUE(dyn->Eof());
  EXPECT_EQ(errorOf([&] { dyn->MoveFirst(); }), 3021);
  EXPECT_EQ(errorOf([&] { dyn->Fields(u"nope"); }), 3265);
}

TEST_F(SqliteEngine, DeclaredTypesMapToVariants) {
  auto rs = open()->OpenRecordset(u"select * from t where k = 'b'");
  EXPECT_EQ(rs->Fields(u"v").type(), VarType::Long);
  EXPECT_EQ(rs->Fields(u"b"), Variant::boolean(true));
  EXPECT_EQ(rs->Fields(u"d").type(), VarType::Date);
  EXPECT_EQ(rs->Fields(u"c"), Variant::currencyScaled(123456));
  EXPECT_EQ(rs->Fields(u"s"), Variant::single(0.5f));
  EXPECT_EQ(rs->Fields(u"n"), Variant::byte(7));
  EXPECT_EQ(rs->Fields(u"i"), Variant::integer(-3));
  EXPECT_EQ(rs->Fields(u"big"), Variant::dbl(5000000000.0));
  EXPECT_EQ(rs->Fields(u"r"), Variant::dbl(1.5));
  EXPECT_EQ(rs->Fields(u"blob"), Variant::binary({1, 2}));
  auto rs2 = open()->OpenRecordset(u"select * from t where k = 'A'");
  EXPECT_EQ(rs2->Fields(u"b"), Variant::boolean(false));
  EXPECT_EQ(rs2->Fields(u"c"), Variant::currencyScaled(30000));
  EXPECT_TRUE(rs2->Fields(u"d").isNull());
}

TEST_F(SqliteEngine, ReopeningSeesTheCurrentData) {
  auto db = open();
  EXPECT_EQ(db->OpenRecordset(u"empty")->RecordCount(), 0);
  testing::buildDatabase(path_, "INSERT INTO empty VALUES ('now');");
  EXPECT_NE(db->OpenRecordset(u"empty")->RecordCount(), 0);
  // A file replaced by another one under the same name.
  std::string other = dir_.file("other.sqlite");
  testing::buildDatabase(other, "CREATE TABLE fresh (x TEXT);");
  std::filesystem::rename(other, path_);
  EXPECT_TRUE(open()->OpenRecordset(u"fresh")->isTableType());
}

}  // namespace
}  // namespace dorvane

namespace dorvane {
namespace {

TEST_F(SqliteEngine, ASnapshotHoldsOneViewOutsideItEveryStatementIsCurrent) {
  auto db = open();
  auto count = [&] {
    return db->OpenRecordset(u"select * from empty where x = 'n'")->RecordCount();
  };
  {
    ReadSnapshot snapshot;
    EXPECT_EQ(count(), 0);
    // Another connection cannot write while the snapshot holds its view.
    EXPECT_THROW(testing::buildDatabase(path_, "INSERT INTO empty VALUES ('n');"),
                 std::runtime_error);
    EXPECT_EQ(count(), 0);
  }
  testing::buildDatabase(path_, "INSERT INTO empty VALUES ('n');");
  EXPECT_NE(count(), 0);
  // Texts that differ only in their compared values share a statement and
  // still give each its own rows.
  EXPECT_EQ(db->OpenRecordset(u"select all t.* from t where t.k = 'b'")->Fields(u"v"),
            Variant::longValue(2));
  EXPECT_EQ(db->OpenRecordset(u"select all t.* from t where t.k = 'a'")->Fields(u"v"),
            Variant::longValue(3));
  EXPECT_EQ(db->OpenRecordset(u"select all t.* from t where t.k = 'A'")->Fields(u"v"),
            Variant::longValue(1));
}

}  // namespace
}  // namespace dorvane

namespace dorvane {
namespace {

TEST_F(SqliteEngine, ADynasetOfManyRowsIsWalkedWholeAndAgainAfterMoveFirst) {
  testing::buildDatabase(path_, R"sql(
    CREATE TABLE many (n INTEGER);
    WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 1000)
    INSERT INTO many SELECT i FROM c;)sql");
  auto rs = open()->OpenRecordset(u"select n from many order by n");
  auto walk = [&] {
    std::int64_t sum = 0, rows = 0;
    for (; !rs->Eof(); rs->MoveNext(), ++rows) sum += rs->Fields(u"n").asInt();
    return std::pair(rows, sum);
  };
  const auto whole = std::pair<std::int64_t, std::int64_t>(1000, 500500);
  EXPECT_EQ(walk(), whole);
  EXPECT_EQ(errorOf([&] { rs->MoveNext(); }), 3021);
  rs->MoveFirst();
  EXPECT_EQ(walk(), whole);
  // The walk ended: the file's lock is released and a writer gets through.
  testing::buildDatabase(path_, "INSERT INTO many VALUES (0);");

  // A walk left half-way holds no lock once the snapshot it ran in ends, and
  // goes on where it stood.
  {
    ReadSnapshot snapshot;
    rs = open()->OpenRecordset(u"select n from many where n > 0 order by n");
    for (int i = 0; i < 300; ++i) rs->MoveNext();
  }
  testing::buildDatabase(path_, "INSERT INTO many VALUES (2000);");
  EXPECT_EQ(rs->Fields(u"n"), Variant::longValue(301));
  rs->MoveNext();
  EXPECT_EQ(rs->Fields(u"n"), Variant::longValue(302));
}

// Holds an exclusive lock on path from another connection for hold.
class Writer {
 public:
  Writer(const std::string& path, std::chrono::milliseconds hold) {
    sqlite3_open(path.c_str(), &db_);
    locked_ = sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    thread_ = std::thread([this, hold] {
      std::this_thread::sleep_for(hold);
      sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    });
  }
  ~Writer() {
    thread_.join();
    sqlite3_close(db_);
  }
  bool locked() const { return locked_; }

 private:
  sqlite3* db_ = nullptr;
  bool locked_ = false;
  std::thread thread_;
};

TEST_F(SqliteEngine, AWriterLockIsWaitedForThenIsFileInUse) {
  struct Case {
    const char* name;
    bool openBefore;  // the connection exists before the lock is taken
    int holdMs;
    const char* timeoutMs;  // DORVANE_BUSY_TIMEOUT_MS, null: the default
    int error;
  };
  const Case cases[] = {
      {"a lock released within the wait", false, 200, nullptr, 0},
      {"a lock held past the wait when opening", false, 1500, "100", err::kFileInUse},
      {"a lock held past the wait in a statement", true, 1500, "100", err::kFileInUse},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_.file("locked" + std::to_string(n++) + ".sqlite");
    testing::buildDatabase(path, "CREATE TABLE t (k TEXT); INSERT INTO t VALUES ('x');");
    if (c.timeoutMs) ::setenv("DORVANE_BUSY_TIMEOUT_MS", c.timeoutMs, 1);
    std::shared_ptr<Database> db;
    if (c.openBefore) db = Engine::instance().OpenDatabase(u16(path));
    Writer writer(path, std::chrono::milliseconds(c.holdMs));
    ASSERT_TRUE(writer.locked());
    std::string description;
    int error = errorOf([&] {
      try {
        if (!db) db = Engine::instance().OpenDatabase(u16(path));
        EXPECT_EQ(db->OpenRecordset(u"select k from t")->Fields(u"k"), Variant::string(u"x"));
      } catch (const RuntimeError& e) {
        description = e.description();
        throw;
      }
    });
    ::unsetenv("DORVANE_BUSY_TIMEOUT_MS");
    EXPECT_EQ(error, c.error) << description;
    if (c.error) {
      EXPECT_EQ(description, "Could not use '" + path + "'; file already in use.");
    }
  }
}

}  // namespace
}  // namespace dorvane

namespace dorvane {
namespace {

// A run keeps its snapshot between placeholders, for a span at most: a writer
// waiting for the file gets through while the run goes on, the run sees the
// row soon after, its end leaves no lock, and a file replaced under the run is
// read afresh once it has ended.
TEST_F(SqliteEngine, ARunKeepsASnapshotForASpanAndLetsAWriterThrough) {
  auto count = [&] {
    return open()->OpenRecordset(u"select * from empty where x = 'n'")->RecordCount();
  };
  {
    ReadRun run;
    // Kept past its placeholder (a try that outlasts the span is not).
    bool kept = false;
    for (int i = 0; i < 100 && !kept; ++i) {
      {
        ReadSnapshot snapshot;
        EXPECT_EQ(count(), 0);
      }
      kept = db::currentSnapshot() != 0;
    }
    EXPECT_TRUE(kept);
    int written = -1;
    std::thread writer([&] {
      sqlite3* db = nullptr;
      sqlite3_open(path_.c_str(), &db);
      sqlite3_busy_timeout(db, 3000);
      written = sqlite3_exec(db, "INSERT INTO empty VALUES ('n');", nullptr, nullptr, nullptr);
      sqlite3_close(db);
    });
    long seen = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (seen == 0 && std::chrono::steady_clock::now() < deadline) {
      ReadSnapshot snapshot;
      seen = count();
    }
    writer.join();
    EXPECT_EQ(written, SQLITE_OK);
    EXPECT_NE(seen, 0);
    std::string other = dir_.file("other.sqlite");
    testing::buildDatabase(other, "CREATE TABLE fresh (x TEXT);");
    std::filesystem::rename(other, path_);
  }
  EXPECT_TRUE(open()->OpenRecordset(u"fresh")->isTableType());
  testing::buildDatabase(path_, "INSERT INTO fresh VALUES ('n');");
}

// Whether a source names a table or a view: answered from the schema's names
// inside a snapshot and by SQLite outside one, alike; an in-memory database's
// answers follow its schema as it changes.
TEST_F(SqliteEngine, TablesAndViewsAreKnownByNameInAndOutsideASnapshot) {
  using db::ObjectKind;
  const std::pair<std::u16string, ObjectKind> cases[] = {
      {u"t", ObjectKind::Table},
      {u"T", ObjectKind::Table},
      {u"EmPty", ObjectKind::Table},
      {u"W", ObjectKind::View},
      {u"ｔ", ObjectKind::None},
      {u"tt", ObjectKind::None},
      {u"select * from t", ObjectKind::None},
      {u"", ObjectKind::None},
  };
  auto file = std::dynamic_pointer_cast<db::SqliteDatabase>(open());
  ASSERT_TRUE(file);
  for (const auto& [name, kind] : cases) {
    SCOPED_TRACE(text::toUtf8(name));
    EXPECT_EQ(file->objectKind(name), kind);
    ReadSnapshot snapshot;
    EXPECT_EQ(file->objectKind(name), kind);
  }
  auto memory = std::make_shared<db::SqliteDatabase>(db::SqliteConnection::openMemory(), u"mem");
  EXPECT_EQ(memory->objectKind(u"x"), ObjectKind::None);
  sqlite3_exec(memory->connection().handle(), "CREATE TABLE X (a)", nullptr, nullptr, nullptr);
  EXPECT_EQ(memory->objectKind(u"x"), ObjectKind::Table);
  sqlite3_exec(memory->connection().handle(), "DROP TABLE X; CREATE VIEW x AS SELECT 1", nullptr,
               nullptr, nullptr);
  EXPECT_EQ(memory->objectKind(u"X"), ObjectKind::View);
}

}  // namespace
}  // namespace dorvane

namespace dorvane {
namespace {

TEST_F(SqliteEngine, WhatAConnectionKeepsFollowsTheFileFromOneSnapshotToTheNext) {
  auto db = std::dynamic_pointer_cast<db::SqliteDatabase>(open());  // one connection throughout
  ASSERT_TRUE(db);
  auto seek = [&](const char16_t* index, const Variant& key) {
    auto rs = db->OpenRecordset(u"t");
    rs->setIndex(index);
    rs->Seek(u"=", key);
    return rs->NoMatch() ? Variant::null() : rs->Fields(u"v");
  };
  {
    ReadSnapshot snapshot;
    EXPECT_EQ(seek(u"t_k", Variant::string(u"b")), Variant::longValue(2));
    EXPECT_EQ(seek(u"t_k", Variant::string(u"b")), Variant::longValue(2));
    EXPECT_EQ(seek(u"t_v", Variant::longValue(1)), Variant::longValue(1));
    EXPECT_EQ(db->objectKind(u"later"), db::ObjectKind::None);
  }
  // The row a key found stays as read while no one writes the file.
  auto rowOf = [&](const char16_t* key) {
    auto rs = db->OpenRecordset(u"t");
    rs->setIndex(u"t_k");
    rs->Seek(u"=", Variant::string(key));
    return rs->rowIdentity();
  };
  std::shared_ptr<const void> asRead;
  {
    ReadSnapshot snapshot;
    asRead = rowOf(u"b");
    ASSERT_TRUE(asRead);
  }
  {
    ReadSnapshot snapshot;
    EXPECT_EQ(rowOf(u"b"), asRead);
  }
  // Between two snapshots: other data, an index on another column, a new table.
  testing::buildDatabase(path_, R"sql(
    UPDATE t SET v = 20 WHERE k = 'b';
    DROP INDEX t_v;
    CREATE INDEX t_v ON t (k);
    CREATE TABLE later (x);
  )sql");
  ReadSnapshot snapshot;
  EXPECT_NE(rowOf(u"b"), asRead);
  EXPECT_EQ(seek(u"t_k", Variant::string(u"b")), Variant::longValue(20));
  EXPECT_EQ(seek(u"t_v", Variant::string(u"a")), Variant::longValue(3));
  EXPECT_EQ(db->objectKind(u"later"), db::ObjectKind::Table);
}

}  // namespace
}  // namespace dorvane
