// Access reader figures on big.mdb (100,000 rows):
//   BM_ImportBig        our import of table big into the in-memory copy
//                       (catalog, rows into a column store behind a
//                       virtual table)
//   BM_ReadBig          our reader alone on the same table (every value
//                       decoded, nothing copied)
//   BM_MdbExport        one run of the mdb-export command on the table, when
//                       mdbtools' commands are installed
//   BM_BigPriceMerge    10,000 !!bigprice placeholders resolved against
//                       big.mdb, starting from a file not read yet
//   BM_BigPriceResolve  the same placeholders alone, the file read already
// Run from the repository root (the fixtures are at ../shared/fixtures), or
// set DORVANE_FIXTURES to the fixtures folder.
#include <benchmark/benchmark.h>
#include <dorvane/engine.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/db/access/access_database.h"
#include "platform/db/access/access_reader.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"

namespace {

namespace fs = std::filesystem;
using namespace dorvane;

std::string bigMdb() {
  const char* env = std::getenv("DORVANE_FIXTURES");
  fs::path dir = env ? fs::path(env) : fs::path("../shared/fixtures");
  return fs::absolute(dir / "access" / "big.mdb").string();
}

constexpr long kRows = 100000;

void BM_ImportBig(benchmark::State& state) {
  std::string path = bigMdb();
  for (auto _ : state) {
    auto file = db::AccessFile::open(path, db::FileFormat::Jet4);
    file->import(*file->find(u"big"));
    if (file->imported(u"big")->rows != kRows) state.SkipWithError("unexpected row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ImportBig)->Unit(benchmark::kMillisecond)->UseRealTime();

struct CountingSink : db::TableSink {
  long rows = 0;
  void begin(const db::AccessTableDef&) override {}
  void row(const std::vector<db::JetValue>&) override { ++rows; }
};

void BM_ReadBig(benchmark::State& state) {
  std::string path = bigMdb();
  for (auto _ : state) {
    CountingSink sink;
    db::readAccessTable(path, "big", sink);
    if (sink.rows != kRows) state.SkipWithError("unexpected row count");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ReadBig)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MdbExport(benchmark::State& state) {
  if (std::system("command -v mdb-export >/dev/null 2>&1") != 0) {
    state.SkipWithError("mdb-export is not installed (Debian package mdbtools)");
    return;
  }
  std::string cmd = "mdb-export '" + bigMdb() + "' big > /dev/null";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("mdb-export failed");
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_MdbExport)->Unit(benchmark::kMillisecond)->UseRealTime();

// 10,000 placeholders the way a merge pass resolves them: the reference
// table of big.mdb, then the source table big in the same file. With
// fresh, each iteration starts with the file changed on disk, so it is read
// afresh.
void bigPrice(benchmark::State& state, bool fresh) {
  fs::path dir = fs::temp_directory_path() / ("dorvane-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::copy_file(bigMdb(), dir / "big.mdb", fs::copy_options::overwrite_existing);
  fs::path old = fs::current_path();
  fs::current_path(dir);  // DB名 is the relative "big.mdb"
  std::vector<std::u16string> texts;
  for (int i = 0; i < 10000; ++i) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "!!bigprice,C%06d;", (i * 7) % 20000);
    texts.emplace_back(buf, buf + std::char_traits<char>::length(buf));
  }
  // Across repetitions too: a time given before would find the file's copy of
  // then (same inode, size and time) and read nothing.
  static long stamp = 1700000000;
  for (auto _ : state) {
    if (fresh) {
      state.PauseTiming();
      struct timespec times[2] = {{0, UTIME_OMIT}, {++stamp, 0}};
      ::utimensat(AT_FDCWD, "big.mdb", times, 0);
      state.ResumeTiming();
    }
    auto kivdb = Engine::instance().OpenDatabase(u"big.mdb");
    auto kivrs = reference::open(*kivdb);
    std::shared_ptr<Database> DB;
    std::shared_ptr<Recordset> rs;
    ReadRun run;  // as a pass runs its placeholders
    for (const auto& t : texts) {
      PlaceholderResult r = resolvePlaceholder(t, 1, *kivrs, PlaceholderKind::Page, DB, rs);
      if (r.outcome != Outcome::Resolved) state.SkipWithError("a placeholder did not resolve");
    }
  }
  state.SetItemsProcessed(state.iterations() * 10000);
  fs::current_path(old);
  fs::remove_all(dir);
}
void BM_BigPriceMerge(benchmark::State& state) { bigPrice(state, true); }
BENCHMARK(BM_BigPriceMerge)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_BigPriceResolve(benchmark::State& state) { bigPrice(state, false); }
BENCHMARK(BM_BigPriceResolve)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
