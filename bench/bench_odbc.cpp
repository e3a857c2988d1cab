// Merges whose values are on a database server, through the ODBC link of the
// public front-end file odbcLinkerTestV2007.accdb (table Ordrar -> dbo.Ordrar
// on the data source Magnapinna), against a private PostgreSQL 15 that the
// benchmark starts itself (as the tests do).
//   BM_OdbcMerge/threads:1  one merge: 10,000 placeholders, one key each,
//                           looked up through the server's index on Kod
//   BM_OdbcMerge/threads:4  four such merges in parallel, one connection each
// items_per_second counts placeholders of all merges together.
// Run from the repository root (the fixtures are at ../shared/fixtures).
#include <benchmark/benchmark.h>
#include <dorvane/engine.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "platform/text/utf.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"
#include "support/pg_server.h"
#include "support/temp_db.h"

namespace {

constexpr int kPlaceholders = 10000;

struct Setup {
  std::unique_ptr<dorvane::testing::PgServer> server;
  dorvane::testing::TempDir dir;
  std::string reference;
  bool ok = false;
};

void prepare(Setup& s) {
  std::string linked =
      std::filesystem::absolute("../shared/fixtures/public/odbcLinkerTestV2007.accdb").string();
  s.server = std::make_unique<dorvane::testing::PgServer>(R"sql(
CREATE SCHEMA dbo;
CREATE TABLE dbo."Ordrar" ("ID" integer PRIMARY KEY, "Kod" varchar(20) NOT NULL,
  "Belopp" numeric(12,2));
INSERT INTO dbo."Ordrar" SELECT n, 'K' || n, n / 4.0 FROM generate_series(1, 10000) AS n;
CREATE INDEX "Ordrar_Kod" ON dbo."Ordrar" ("Kod");
ANALYZE dbo."Ordrar";
)sql");
  if (!s.server->ok() || !std::filesystem::exists(linked)) {
    std::fprintf(stderr, "bench_odbc: %s\n",
                 s.server->ok() ? "the public fixtures are missing" : s.server->error().c_str());
    return;
  }
  s.reference = s.dir.file("ref.sqlite");
  dorvane::testing::buildDatabase(
      s.reference, std::string(dorvane::testing::referenceTableSchema()) +
                       "INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, "
                       "ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, \"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\", ﾃｰﾌﾞﾙ名, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES "
                       "('!!belopp', 1, 'Kod', '" +
                       linked + "', 'Belopp', '数値', 'table', 'Ordrar', 1, '四捨五入', 2);");
  s.ok = true;
}

// The server and the reference database, made once for all threads.
Setup& setup() {
  static Setup s;
  static std::once_flag once;
  std::call_once(once, [] { prepare(s); });
  return s;
}

void BM_OdbcMerge(benchmark::State& state) {
  Setup& s = setup();
  if (!s.ok) {
    state.SkipWithError("no server");
    return;
  }
  using namespace dorvane;
  for (auto _ : state) {
    auto kivdb = Engine::instance().OpenDatabase(text::fromUtf8(s.reference));
    auto kivrs = reference::open(*kivdb);
    std::shared_ptr<Database> DB;
    std::shared_ptr<Recordset> rs;
    for (int i = 0; i < kPlaceholders; ++i) {
      int key = 1 + (i * 7919 + state.thread_index() * 2503) % 10000;
      std::u16string t = u"!!belopp,K" + text::fromUtf8(std::to_string(key)) + u";";
      PlaceholderResult r = resolvePlaceholder(t, 1, *kivrs, PlaceholderKind::Page, DB, rs);
      if (r.outcome != Outcome::Resolved || !r.value || !r.value->isNumber()) {
        state.SkipWithError("a placeholder was not resolved");
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kPlaceholders);
}
BENCHMARK(BM_OdbcMerge)->Unit(benchmark::kMillisecond)->UseRealTime()->Threads(1)->Threads(4);

}  // namespace

BENCHMARK_MAIN();
