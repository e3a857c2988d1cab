// The page pass over large pages: one value placeholder per 100 characters,
// each followed by its marker, against an indexed SQLite source.
//
//   BM_PagePass/1 and /16      the pass on a 1 MB and a 16 MB page
//   BM_LiteralPagePass/1       the literal algorithm (each write copies the
//                              page) on the 1 MB page; 16 MB is out of reach
//   BM_WriteSteps/N            the write steps alone (no database): PageText
//   BM_LiteralWriteSteps/N     ... and the literal write step
#include <benchmark/benchmark.h>

#include <string>

#include "../tests/page/literal_page_pass.h"
#include "../tests/support/temp_db.h"
#include "page/page_pass.h"
#include "page/page_text.h"
#include "platform/text/utf.h"
#include "price_database.h"

namespace {

using namespace dorvane;

constexpr int kCodes = 5000;

const std::u16string& database() {
  static const std::u16string path = bench::priceDatabase(kCodes);
  return path;
}

// A page of megabytes * 2^20 characters in 100-character lines, each with a
// placeholder and its marker.
std::u16string makePage(std::int64_t megabytes) {
  const std::int64_t size = megabytes << 20;
  std::u16string page;
  page.reserve(static_cast<size_t>(size));
  for (std::int64_t i = 0; static_cast<std::int64_t>(page.size()) + 100 <= size; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "<TR><TD>!!p,K%05d;</TD><TD>gethere</TD></TR>",
                  static_cast<int>(i % kCodes));
    std::u16string l = text::fromUtf8(line);
    l.resize(99, u' ');
    page += l + u"\n";
  }
  page.resize(static_cast<size_t>(size), u' ');
  return page;
}

template <typename Pass>
void runPass(benchmark::State& state, Pass pass) {
  const std::u16string page = makePage(state.range(0));
  const std::u16string& db = database();
  for (auto _ : state) {
    state.PauseTiming();
    std::u16string text = page, textWeb, textWebbefore;
    std::int32_t HitStr = 0;
    std::int16_t wkcycle = 1;
    std::shared_ptr<Database> kivdb, DB;
    std::shared_ptr<Recordset> kivrs, kivrs2, rs;
    page::PageMembers m{text,   HitStr, textWeb, textWebbefore, wkcycle, db, kivdb, kivrs,
                        kivrs2, DB,     rs};
    state.ResumeTiming();
    pass(m);
    benchmark::DoNotOptimize(text.data());
    if (text.find(u"gethere") != std::u16string::npos) state.SkipWithError("a marker was left");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.size()));
}

void BM_PagePass(benchmark::State& state) {
  runPass(state, [](page::PageMembers& m) { page::runPagePass(m, [] {}); });
}
BENCHMARK(BM_PagePass)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LiteralPagePass(benchmark::State& state) {
  runPass(state, [](page::PageMembers& m) { literal::pagePass(m, [] {}); });
}
BENCHMARK(BM_LiteralPagePass)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The write steps alone: every placeholder writes "12345.67" at its marker.
void BM_WriteSteps(benchmark::State& state) {
  const std::u16string source = makePage(state.range(0));
  for (auto _ : state) {
    page::PageText text{std::u16string(source)};
    for (std::int64_t hit = text.find(u"!!", 1); hit != 0; hit = text.find(u"!!", hit + 1)) {
      text.writeAtMarker(hit, u"12345.67");
    }
    benchmark::DoNotOptimize(text.release());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}
BENCHMARK(BM_WriteSteps)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_LiteralWriteSteps(benchmark::State& state) {
  const std::u16string source = makePage(state.range(0));
  for (auto _ : state) {
    std::u16string text = source;
    for (std::int64_t hit = text::InStr(1, text, u"!!", text::CompareMode::Binary); hit != 0;
         hit = text::InStr(hit + 1, text, u"!!", text::CompareMode::Binary)) {
      literal::writeStep(text, hit, u"12345.67");
    }
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}
BENCHMARK(BM_LiteralWriteSteps)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
