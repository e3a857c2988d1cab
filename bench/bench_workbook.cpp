// Workbook files merged natively against the same merge through a private
// LibreOffice Calc: a template with 5,000 value cells without notes, and one
// with 500 value cells that each get a hidden note; and, for the native path,
// where the time goes (open, merge, save).
//
// Run: build/bench_workbook (starts and ends its own headless Calc for the
// Calc rows; without LibreOffice support they are skipped).
#include <benchmark/benchmark.h>
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "../tests/platform/sheet/ooxml/ooxml_fixture.h"
#include "../tests/support/temp_db.h"
#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_sheet.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"
#include "platform/text/utf.h"

namespace {

namespace fs = std::filesystem;
using dorvane::sheet::calc::CalcProcess;
using dorvane::sheet::ooxml::WorkbookFile;

constexpr int kColumns = 20;
struct Template {
  const char* key;  // "!!plain" writes no note, "!!noted" a hidden one
  int cells;
  std::string path;
};
Template g_templates[2] = {{"!!plain", 5000, ""}, {"!!noted", 500, ""}};
std::string g_dir, g_db;

// The reference database: "!!plain" and "!!noted" (with a comment) take
// items.price by code K0..K4999.
void buildDatabase() {
  std::string sql = dorvane::testing::referenceTableSchema();
  sql += "CREATE TABLE items (code TEXT, price DOUBLE); CREATE INDEX items_code ON items (code);";
  sql += "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!plain', 1, 'code', NULL, '" + g_db +
         "', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0, NULL), "
         "('!!noted', 1, 'code', NULL, '" +
         g_db +
         "', 'price', '数値', 'table', 'items', NULL, NULL, '単価の説明', 1, '四捨五入', 0, NULL);";
  sql +=
      "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 4999) "
      "INSERT INTO items SELECT 'K' || i, 100 + i + 0.4 FROM n;";
  dorvane::testing::buildDatabase(g_db, sql);
}

// A template of t.cells placeholder cells (shared strings, 20 to a row);
// with `filler`, the same workbook with "${v0}"… for another template filler.
void writeTemplate(Template& t, const std::string& name, bool filler = false) {
  std::string rows, strings;
  for (int i = 0; i < t.cells; ++i) {
    const int row = i / kColumns + 1;
    if (i % kColumns == 0)
      rows += (i ? "</row>" : "") + std::string("<row r=\"") + std::to_string(row) + "\">";
    rows += "<c r=\"" + std::string(1, static_cast<char>('A' + i % kColumns)) +
            std::to_string(row) + "\" t=\"s\"><v>" + std::to_string(i) + "</v></c>";
    strings += filler ? "<si><t>${v" + std::to_string(i) + "}</t></si>"
                      : "<si><t>" + std::string(t.key) + ",K" + std::to_string(i) + ";</t></si>";
  }
  rows += "</row>";
  t.path = g_dir + "/" + name;
  dorvane::testing::Parts parts = dorvane::testing::basicWorkbook(rows, strings);
  // No chart sheet: the hand-made one is no real chart, and Calc would load it.
  std::string& wb = parts["xl/workbook.xml"];
  const std::string chart = "<sheet name=\"Chart\" sheetId=\"3\" r:id=\"rId7\"/>";
  wb.erase(wb.find(chart), chart.size());
  dorvane::testing::writePackage(t.path, parts);
}

void mergeRunning(benchmark::State& state) {
  auto box = std::make_shared<dorvane::RecordingMessageBox>();
  dorvane::ctlMessage control;
  control.setMessageBox(box);
  control.ocxKiv(dorvane::text::fromUtf8(g_db), u"");
  if (!box->shown.empty()) state.SkipWithError(box->shown[0].reason.c_str());
}

void perCell(benchmark::State& state, int cells) {
  state.counters["per_cell"] = benchmark::Counter(
      cells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// dorvane sheet IN OUT natively: open, merge, save.
void BM_Native(benchmark::State& state) {
  Template& t = g_templates[state.range(0)];
  const std::string out = g_dir + "/native-out.xlsx";
  for (auto _ : state) {
    auto wb = WorkbookFile::open(t.path);
    dorvane::sheet::registerRunning(wb->application());
    mergeRunning(state);
    dorvane::sheet::registerRunning(nullptr);
    wb->save(out, out);
  }
  perCell(state, t.cells);
  state.SetLabel(std::to_string(t.cells) + (state.range(0) ? " cells with notes" : " cells"));
}
BENCHMARK(BM_Native)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The native path's steps alone: 0 open, 1 merge, 2 save.
void BM_NativeStep(benchmark::State& state) {
  Template& t = g_templates[state.range(1)];
  const int step = static_cast<int>(state.range(0));
  const std::string out = g_dir + "/native-step.xlsx";
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<WorkbookFile> wb;
    if (step != 0) wb = WorkbookFile::open(t.path);
    if (step == 2) {
      dorvane::sheet::registerRunning(wb->application());
      mergeRunning(state);
      dorvane::sheet::registerRunning(nullptr);
    }
    state.ResumeTiming();
    if (step == 0) wb = WorkbookFile::open(t.path);
    if (step == 1) {
      dorvane::sheet::registerRunning(wb->application());
      mergeRunning(state);
      dorvane::sheet::registerRunning(nullptr);
    }
    if (step == 2) wb->save(out, out);
  }
  state.SetLabel(std::string(std::vector<const char*>{"open", "merge", "save"}[state.range(0)]) +
                 ", " + std::to_string(t.cells) +
                 (state.range(1) ? " cells with notes" : " cells"));
}
BENCHMARK(BM_NativeStep)
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseRealTime();

// dorvane sheet IN OUT through Calc: start a private Calc, load, merge, save,
// end it.
void BM_Calc(benchmark::State& state) {
  if (!dorvane::sheet::calc::calcSupported()) {
    state.SkipWithError("this build has no LibreOffice Calc support");
    return;
  }
  Template& t = g_templates[state.range(0)];
  const std::string out = g_dir + "/calc-out.xlsx";
  for (auto _ : state) {
    std::unique_ptr<CalcProcess> calc = CalcProcess::start();
    calc->load(t.path);
    ::setenv("DORVANE_CALC", calc->address().c_str(), 1);
    mergeRunning(state);
    calc->saveAs(out);
    calc->stop();
  }
  perCell(state, t.cells);
  state.SetLabel(std::to_string(t.cells) + (state.range(0) ? " cells with notes" : " cells"));
}
BENCHMARK(BM_Calc)->DenseRange(0, 1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--write") {
    // For bench/bench_xlsx_template.sh: the 5,000-cell template and its
    // database, the same workbook for the other filler, and the values the
    // merge writes as JSON.
    g_dir = argv[2];
    g_db = g_dir + "/kiv.sqlite";
    buildDatabase();
    writeTemplate(g_templates[0], "plain.xlsx");
    Template other = g_templates[0];
    writeTemplate(other, "filler.xlsx", true);
    std::string json = "{";
    for (int i = 0; i < other.cells; ++i)
      json += (i ? ",\"v" : "\"v") + std::to_string(i) + "\":" + std::to_string(100 + i);
    std::ofstream(g_dir + "/values.json") << json << "}\n";
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  char tmpl[] = "/tmp/dorvane-bench-workbook-XXXXXX";
  g_dir = ::mkdtemp(tmpl);
  g_db = g_dir + "/kiv.sqlite";
  buildDatabase();
  writeTemplate(g_templates[0], "plain.xlsx");
  writeTemplate(g_templates[1], "noted.xlsx");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  std::fprintf(stderr, "peak resident memory of this process: %ld KiB\n", usage.ru_maxrss);
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  return 0;
}
