// The merge report over a page with one value placeholder per line, each
// followed by its marker, against an indexed SQLite source.
//
//   BM_PagePass/N           the page pass over N placeholders, no observer
//   BM_PagePassRecorded/N   ... with the report's recording observer
//   BM_RenderReport/N       the HTML of the recorded pass (marks carried
//                           through every write, escaping, the table)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "../tests/support/temp_db.h"
#include "page/page_pass.h"
#include "platform/text/utf.h"
#include "price_database.h"
#include "report/report_html.h"

namespace {

using namespace dorvane;

constexpr int kCodes = 1000;

const std::u16string& database() {
  static const std::u16string path = bench::priceDatabase(kCodes);
  return path;
}

std::u16string makePage(std::int64_t placeholders) {
  std::u16string page;
  for (std::int64_t i = 0; i < placeholders; ++i) {
    char line[128];
    std::snprintf(line, sizeof line, "<TR><TD>!!p,K%05d;</TD><TD>gethere</TD></TR>\n",
                  static_cast<int>(i % kCodes));
    page += text::fromUtf8(line);
  }
  return page;
}

// Runs one pass over page; returns the final text.
std::u16string runPass(const std::u16string& page, MergeObserver* observer) {
  std::u16string text = page, textWeb, textWebbefore;
  std::int32_t HitStr = 0;
  std::int16_t wkcycle = 1;
  std::u16string db = database();
  std::shared_ptr<Database> kivdb, DB;
  std::shared_ptr<Recordset> kivrs, kivrs2, rs;
  page::PageMembers m{text,   HitStr, textWeb, textWebbefore, wkcycle, db, kivdb, kivrs,
                      kivrs2, DB,     rs};
  page::runPagePass(
      m, [] {}, observer);
  return text;
}

void BM_PagePass(benchmark::State& state) {
  const std::u16string page = makePage(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(runPass(page, nullptr).size());
}

void BM_PagePassRecorded(benchmark::State& state) {
  const std::u16string page = makePage(state.range(0));
  for (auto _ : state) {
    report::RecordingObserver recorder;
    benchmark::DoNotOptimize(runPass(page, &recorder).size());
  }
}

void BM_RenderReport(benchmark::State& state) {
  report::RecordingObserver recorder;
  const report::PageDocument page{runPass(makePage(state.range(0)), &recorder)};
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string html =
        report::renderReport({u"page.htm", u"out.htm", 1}, recorder.record(), page);
    bytes = html.size();
    benchmark::DoNotOptimize(html.data());
  }
  state.counters["html_bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_PagePass)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PagePassRecorded)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderReport)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
