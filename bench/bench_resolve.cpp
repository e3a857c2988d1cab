// Resolving numeric value placeholders against a 100,000-row SQLite table,
// with and without an index on the key field. Every placeholder re-opens its
// source database and runs its own SQL text, under one ReadRun as a merge
// pass does.
//
//   BM_ResolveIndexed      10,000 placeholders, indexed key field
//   BM_ResolveUnindexed    100 placeholders, a full scan each
//   BM_BareIndexedLookups  the floor: the same 10,000 keys looked up through
//                          one prepared SQLite statement in one read
//                          transaction (bind, step, read the price, reset),
//                          on a connection set up like the engine's
#include <benchmark/benchmark.h>
#include <dorvane/engine.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/db/sqlite/sqlite_connection.h"
#include "platform/text/utf.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"

namespace {

constexpr int kRows = 100000;

// Builds the benchmark database once per variant in the temp folder.
std::string buildDatabase(bool indexed) {
  auto path = (std::filesystem::temp_directory_path() /
               (indexed ? "dorvane-bench-indexed.sqlite" : "dorvane-bench-plain.sqlite"))
                  .string();
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::string sql =
      "CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT,"
      " DB名 TEXT, ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\" TEXT, ﾃｰﾌﾞﾙ名 TEXT,"
      " ｸｴﾘｰ名 TEXT, コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT);"
      "CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);"
      "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!price', 1, 'code', NULL, '" +
      path +
      "', 'price', '数値', 'table', 'items', NULL, NULL, '単価', 1, '四捨五入', 0);"
      "CREATE TABLE items (code TEXT, price DOUBLE);"
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
      std::to_string(kRows - 1) + ") INSERT INTO items SELECT printf('K%06d', i), i * 1.5 FROM n;";
  if (indexed) sql += "CREATE INDEX items_code ON items (code);";
  sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return path;
}

// The key of the i-th placeholder.
std::string keyOf(int i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%06d", (i * 7919) % kRows);
  return buf;
}

void resolveMany(benchmark::State& state, bool indexed, int count) {
  const std::string path = buildDatabase(indexed);
  std::vector<std::u16string> texts;
  for (int i = 0; i < count; ++i)
    texts.push_back(dorvane::text::fromUtf8("!!price," + keyOf(i) + ";"));
  auto kivdb = dorvane::Engine::instance().OpenDatabase(dorvane::text::fromUtf8(path));
  auto kivrs = dorvane::reference::open(*kivdb);
  std::shared_ptr<dorvane::Database> DB;
  std::shared_ptr<dorvane::Recordset> rs;
  for (auto _ : state) {
    dorvane::ReadRun run;  // as a pass runs its placeholders
    for (const auto& t : texts) {
      auto r = dorvane::resolvePlaceholder(t, 1, *kivrs, dorvane::PlaceholderKind::Page, DB, rs);
      benchmark::DoNotOptimize(r);
    }
  }
  state.SetItemsProcessed(state.iterations() * count);
  std::filesystem::remove(path);
}

void BM_ResolveIndexed(benchmark::State& state) { resolveMany(state, true, 10000); }
// A full scan per placeholder: fewer placeholders keep one iteration short.
void BM_ResolveUnindexed(benchmark::State& state) { resolveMany(state, false, 100); }

void BM_BareIndexedLookups(benchmark::State& state) {
  constexpr int kCount = 10000;
  const std::string path = buildDatabase(true);
  std::vector<std::string> keys;
  for (int i = 0; i < kCount; ++i) keys.push_back(keyOf(i));
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_exec(db, dorvane::db::kPageCachePragma, nullptr, nullptr, nullptr);  // as the engine
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, "SELECT * FROM items WHERE code = ?1", -1, &stmt, nullptr);
  for (auto _ : state) {
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    double sum = 0;
    for (const auto& k : keys) {
      sqlite3_bind_text(stmt, 1, k.data(), static_cast<int>(k.size()), SQLITE_STATIC);
      if (sqlite3_step(stmt) == SQLITE_ROW) sum += sqlite3_column_double(stmt, 1);
      sqlite3_reset(stmt);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kCount);
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  std::filesystem::remove(path);
}

BENCHMARK(BM_ResolveIndexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResolveUnindexed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareIndexedLookups)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
