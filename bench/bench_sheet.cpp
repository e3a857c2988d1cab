// The worksheet merge over LibreOffice Calc: a workbook with 1,000 value
// placeholder cells (each receiving a hidden comment) and one detail block of
// 200 records, merged end to end; and the UNO steps the time goes into.
//
// Run: build/bench_sheet (starts and ends its own headless Calc).
#include <benchmark/benchmark.h>
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_sheet.h"
#include "platform/sheet/memory_sheet.h"
#include "platform/text/utf.h"

namespace {

namespace fs = std::filesystem;
using dorvane::Variant;
using dorvane::sheet::calc::CalcProcess;

constexpr int kCells = 1000;
constexpr int kColumns = 20;   // placeholder cells per row
constexpr int kRecords = 200;  // records of the detail block
constexpr long kDetailRow = kCells / kColumns + 3;

std::string g_dir, g_db, g_in, g_out, g_detailOnly;
CalcProcess* g_calc = nullptr;

void exec(sqlite3* db, const std::string& sql) {
  char* msg = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
    std::fprintf(stderr, "bench_sheet: SQL failed: %s\n", msg ? msg : "");
    std::exit(1);
  }
}

void buildDatabase() {
  sqlite3* db = nullptr;
  sqlite3_open(g_db.c_str(), &db);
  exec(db, R"sql(
CREATE TABLE 参照ﾃｰﾌﾞﾙ (
  ｷｰ TEXT, 転送優先 BOOLEAN, ｷｰﾌｨｰﾙﾄﾞ TEXT, ALTｷｰﾌｨｰﾙﾄﾞ TEXT, DB名 TEXT,
  ﾌｨｰﾙﾄﾞ名 TEXT, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ TEXT, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF" TEXT, ﾃｰﾌﾞﾙ名 TEXT, ｸｴﾘｰ名 TEXT,
  コメント項目名 TEXT, 内容説明 TEXT, 単位 DOUBLE, ﾗｳﾝﾄﾞ TEXT, 小数位 SMALLINT, 行間 SMALLINT);
CREATE INDEX ｷｰ ON 参照ﾃｰﾌﾞﾙ (ｷｰ);
CREATE TABLE 明細項目ﾃｰﾌﾞﾙ (ｷｰ TEXT, 明細順序 SMALLINT, ﾌｨｰﾙﾄﾞ名 TEXT);
CREATE TABLE items (code TEXT, price DOUBLE);
CREATE INDEX items_code ON items (code);
CREATE TABLE lines (code TEXT, item TEXT, qty INTEGER, amount DOUBLE);
INSERT INTO 明細項目ﾃｰﾌﾞﾙ VALUES ('&&lines', 0, 'item'), ('&&lines', 1, 'qty'),
                                  ('&&lines', 2, 'amount');
)sql");
  exec(db, "INSERT INTO 参照ﾃｰﾌﾞﾙ VALUES ('!!price', 1, 'code', NULL, '" + g_db +
               "', 'price', '数値', 'table', 'items', NULL, NULL, '単価の説明', 1, '四捨五入', 0, "
               "NULL), ('&&lines', 1, 'code', NULL, '" +
               g_db + "', NULL, NULL, 'table', 'lines', NULL, NULL, '明細', NULL, NULL, NULL, 1);");
  exec(db, "BEGIN");
  for (int i = 0; i < kCells; ++i) {
    exec(db, "INSERT INTO items VALUES ('K" + std::to_string(i) + "', " + std::to_string(100 + i) +
                 ".4)");
  }
  for (int i = 0; i < kRecords; ++i) {
    exec(db, "INSERT INTO lines VALUES ('L', 'item " + std::to_string(i) + "', " +
                 std::to_string(i % 7) + ", " + std::to_string(i * 10) + ")");
  }
  exec(db, "COMMIT");
  sqlite3_close(db);
}

std::u16string placeholder(int i) {
  return dorvane::text::fromUtf8("!!price,K" + std::to_string(i) + ";");
}

// Fills the active sheet of the Calc at address with the template.
void fillTemplate(dorvane::sheet::Worksheet& ws) {
  for (int i = 0; i < kCells; ++i) {
    ws.Cells(i / kColumns + 1, i % kColumns + 1)->setValue(Variant::string(placeholder(i)));
  }
  ws.Cells(kDetailRow, 2)->setValue(Variant::string(u"&&lines,L"));
}

void setUp() {
  char tmpl[] = "/tmp/dorvane-bench-sheet-XXXXXX";
  g_dir = ::mkdtemp(tmpl);
  g_db = g_dir + "/kiv.sqlite";
  g_in = g_dir + "/template.xlsx";
  g_out = g_dir + "/merged.xlsx";
  buildDatabase();
  g_calc = CalcProcess::start().release();
  g_calc->create();
  auto ws = dorvane::sheet::calc::attach(g_calc->address())->ActiveWorkbook()->ActiveSheet();
  fillTemplate(*ws);
  g_calc->saveAs(g_in);
  g_detailOnly = g_dir + "/detail.xlsx";
  g_calc->create();
  dorvane::sheet::calc::attach(g_calc->address())
      ->ActiveWorkbook()
      ->ActiveSheet()
      ->Cells(kDetailRow, 2)
      ->setValue(Variant::string(u"&&lines,L"));
  g_calc->saveAs(g_detailOnly);
  ::setenv("DORVANE_CALC", g_calc->address().c_str(), 1);
}

void tearDown() {
  delete g_calc;
  std::error_code ec;
  fs::remove_all(g_dir, ec);
}

// Load, merge (both passes), save: what dorvane sheet IN OUT does with a Calc
// already running.
void BM_FileMergeOverUno(benchmark::State& state) {
  for (auto _ : state) {
    g_calc->load(g_in);
    auto box = std::make_shared<dorvane::RecordingMessageBox>();
    dorvane::ctlMessage control;
    control.setMessageBox(box);
    control.ocxKiv(dorvane::text::fromUtf8(g_db), u"");
    g_calc->saveAs(g_out);
    if (!box->shown.empty()) state.SkipWithError(box->shown[0].reason.c_str());
  }
  state.counters["per_placeholder_cell"] = benchmark::Counter(
      kCells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FileMergeOverUno)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The merge alone, without loading and saving.
void BM_MergeOnlyOverUno(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    g_calc->load(g_in);
    state.ResumeTiming();
    dorvane::ctlMessage control;
    control.setMessageBox(std::make_shared<dorvane::RecordingMessageBox>());
    control.ocxKiv(dorvane::text::fromUtf8(g_db), u"");
  }
  state.counters["per_placeholder_cell"] = benchmark::Counter(
      kCells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MergeOnlyOverUno)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The detail block alone (200 records of 3 columns), both passes.
void BM_DetailBlockOverUno(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    g_calc->load(g_detailOnly);
    state.ResumeTiming();
    dorvane::ctlMessage control;
    control.setMessageBox(std::make_shared<dorvane::RecordingMessageBox>());
    control.ocxKiv(dorvane::text::fromUtf8(g_db), u"");
  }
}
BENCHMARK(BM_DetailBlockOverUno)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Starting and ending a private headless Calc (fresh profile each time): the
// fixed cost that dorvane sheet IN OUT adds to the file merge.
void BM_PrivateCalcStartStop(benchmark::State& state) {
  for (auto _ : state) {
    std::unique_ptr<CalcProcess> calc = CalcProcess::start();
    calc->stop();
  }
}
BENCHMARK(BM_PrivateCalcStartStop)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The UNO steps of one placeholder cell, each alone (per cell).
void BM_UnoStep(benchmark::State& state) {
  const int step = static_cast<int>(state.range(0));
  g_calc->load(g_in);
  auto ws = dorvane::sheet::calc::attach(g_calc->address())->ActiveWorkbook()->ActiveSheet();
  auto cells = ws->Cells();
  auto c = cells->Find(u"!!");
  long row = 1;
  for (auto _ : state) {
    switch (step) {
      case 0:  // search step: FindNext and its Address
        c = cells->FindNext(*c);
        benchmark::DoNotOptimize(c->Address());
        break;
      case 1:  // read the placeholder text
        benchmark::DoNotOptimize(c->Value());
        break;
      case 2:  // write a number
        ws->Cells(row % 1000 + 1, 30)->setValue(Variant::dbl(12.5));
        break;
      case 3: {  // add a hidden comment with its text
        auto note = ws->Cells(row + 1, 31)->AddComment();
        note->setVisible(false);
        note->setText(u"単価の説明");
        break;
      }
      case 4:  // activate the cell
        c->Activate();
        break;
    }
    ++row;
  }
  state.SetLabel(std::vector<const char*>{"search step", "read value", "write value",
                                          "hidden comment", "activate"}[step]);
}
BENCHMARK(BM_UnoStep)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(500)
    ->UseRealTime();

// The same merge on the in-process sheet: the cost of the algorithm and the
// database without UNO.
void BM_MergeInProcess(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto app = std::make_shared<dorvane::sheet::MemoryApplication>();
    auto ws = app->addWorkbook()->addWorksheet();
    fillTemplate(*ws);
    dorvane::sheet::registerRunning(app);
    state.ResumeTiming();
    dorvane::ctlMessage control;
    control.setMessageBox(std::make_shared<dorvane::RecordingMessageBox>());
    control.ocxKiv(dorvane::text::fromUtf8(g_db), u"");
    state.PauseTiming();
    dorvane::sheet::registerRunning(nullptr);
    state.ResumeTiming();
  }
  state.counters["per_placeholder_cell"] = benchmark::Counter(
      kCells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MergeInProcess)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  try {
    setUp();
  } catch (const dorvane::RuntimeError& e) {
    std::fprintf(stderr, "bench_sheet: %s\n", e.description());
    tearDown();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tearDown();
  return 0;
}
