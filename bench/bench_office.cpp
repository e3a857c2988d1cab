// One value cell with a hidden note, merged inside LibreOffice by the
// extension's component (a Basic macro calls ocxKiv: the office's own
// process, no connection) against (a) the office's own calls for that cell
// from a Basic macro (the value and a new note, no merge) and (b) the same
// merge from outside over the office's pipe (attaching to a running Calc);
// and a value cell without a note merged in-process, and on the in-process
// sheet with no office at all. Every figure is per cell (items processed =
// cells).
//
// Run: build/bench_office (starts and ends its own headless office with the
// extension in a private profile).
#include <benchmark/benchmark.h>

#include <cstdio>

#ifdef DORVANE_OXT_FILE

#include <dorvane/ctl_message.h>
#include <dorvane/message_box.h>

#include "office/office_harness.h"
#include "platform/sheet/calc/calc_sheet.h"
#include "worksheet/sheet_harness.h"

namespace {

constexpr int kCells = 2000;

constexpr char kBasic[] = R"basic(
Sub Fill(text As String, n As String)
  Dim s As Object, i As Long
  s = ThisComponent.Sheets.getByIndex(0)
  s.getCellRangeByPosition(0, 0, 19, 200).clearContents(1023)
  For i = 0 To CLng(n) - 1
    s.getCellByPosition(i Mod 20, i \ 20).setString(text)
  Next
End Sub

Sub Merge(db As String)
  CreateUnoService("Dorvane.ctlMessage").ocxKiv(db, "")
End Sub

Sub ValueAndNote(n As String)
  Dim s As Object, notes As Object, at As New com.sun.star.table.CellAddress, i As Long
  s = ThisComponent.Sheets.getByIndex(0)
  notes = s.getAnnotations()
  For i = 0 To CLng(n) - 1
    s.getCellByPosition(i Mod 20, i \ 20).setValue(246)
    at.Sheet = 0
    at.Column = i Mod 20
    at.Row = i \ 20
    notes.insertNew(at, "単価")
  Next
End Sub
)basic";

dorvane::testing::OfficeWithExtension* g_office = nullptr;
dorvane::testing::SheetDatabase* g_db = nullptr;
::com::sun::star::uno::Reference<::com::sun::star::uno::XInterface> g_document;

const std::string kScript =
    "vnd.sun.star.script:Standard.Module1.%s?language=Basic&location=document";
std::string script(const char* name) {
  std::string s = kScript;
  return s.replace(s.find("%s"), 2, name);
}

void fill(const char* placeholder) {
  dorvane::testing::runMacro(g_document, script("Fill"), {placeholder, std::to_string(kCells)});
}

// Each iteration refills the template (not timed) and merges it.
void runTimed(benchmark::State& state, const char* placeholder,
              const std::function<void()>& merge) {
  for (auto _ : state) {
    state.PauseTiming();
    fill(placeholder);
    state.ResumeTiming();
    merge();
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

void InProcessValueWithNote(benchmark::State& state) {
  runTimed(state, "!!price,A02;",
           [] { dorvane::testing::runMacro(g_document, script("Merge"), {g_db->path()}); });
}

void InProcessValueWithoutNote(benchmark::State& state) {
  runTimed(state, "!!plain,A01;",
           [] { dorvane::testing::runMacro(g_document, script("Merge"), {g_db->path()}); });
}

void OfficeCallsValueAndNote(benchmark::State& state) {
  runTimed(state, "", [] {
    dorvane::testing::runMacro(g_document, script("ValueAndNote"), {std::to_string(kCells)});
  });
}

void OverThePipeValueWithNote(benchmark::State& state) {
  runTimed(state, "!!price,A02;", [] {
    dorvane::sheet::RunningOnThisThread running(dorvane::sheet::calc::attach(g_office->address()));
    dorvane::ctlMessage control;
    control.setMessageBox(std::make_shared<dorvane::RecordingMessageBox>());
    control.ocxKiv(g_db->path16(), u"");
  });
}

// The same merge of value cells without notes on the in-process sheet (no
// office at all): what the merge itself costs per cell.
void InProcessSheetValueWithoutNote(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    dorvane::testing::RunningSheet running;
    for (int i = 0; i < kCells; ++i) {
      running.ws().set(i / 20 + 1, i % 20 + 1, dorvane::Variant::string(u"!!plain,A01;"));
    }
    dorvane::ctlMessage control;
    state.ResumeTiming();
    control.ocxKiv(g_db->path16(), u"");
  }
  state.SetItemsProcessed(state.iterations() * kCells);
}

BENCHMARK(InProcessValueWithNote)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(OfficeCallsValueAndNote)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(OverThePipeValueWithNote)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(InProcessValueWithoutNote)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(InProcessSheetValueWithoutNote)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_office = new dorvane::testing::OfficeWithExtension;
  std::string why = g_office->prepare(DORVANE_OXT_FILE, {});
  if (why.empty()) why = g_office->start();
  if (!why.empty()) {
    std::fprintf(stderr, "bench_office: %s\n", why.c_str());
    delete g_office;
    return 1;
  }
  g_db = new dorvane::testing::SheetDatabase;
  g_document = g_office->documentWithBasic(kBasic, [] {});
  benchmark::RunSpecifiedBenchmarks();
  g_document.clear();
  delete g_office;
  delete g_db;
  return 0;
}

#else

int main() {
  std::fprintf(stderr, "bench_office: this build has no office extension\n");
  return 0;
}

#endif
