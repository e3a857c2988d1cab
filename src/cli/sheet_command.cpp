// dorvane sheet: the worksheet merge (ocxKiv), on the running spreadsheet or
// on a workbook file: .xlsx/.xlsm/.xltx/.xltm natively, others through an
// office suite where the system has one (office.h).
#include <dorvane/ctl_message.h>
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/explain_observer.h"
#include "cli/office.h"
#include "cli/report_writer.h"
#include "cli/sheet_merge.h"
#include "platform/file/interrupt.h"
#include "platform/file/utf8_path.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"
#include "platform/text/utf.h"

namespace dorvane::cli {

namespace {

std::string help() {
  return std::string(office::kSheetUsage) +
         "\n"
         "Merges the values of the reference databases KIVDB (and KIVDB2) into a\n"
         "worksheet: pass 1 on KIVDB, pass 1 on KIVDB2, pass 2 on KIVDB, pass 2 on\n"
         "KIVDB2. Value placeholders (!!key,value;) get their values and a hidden\n"
         "comment; detail placeholders (&&key) become blocks of rows.\n"
         "\n" +
         office::kSheetRunning +
         "\n"
         "With IN and OUT it merges the active sheet of the workbook IN and writes the\n"
         "result as OUT. A .xlsx, .xlsm, .xltx or .xltm file is merged natively: OUT is\n"
         "a copy of IN in which only what the merge changed differs, and keeps IN's\n"
         "kind (a macro workbook stays one).\n" +
         office::kSheetOthers +
         "\n"
         "  --explain  print each cell, key, outcome and value on stderr\n"
         "  --report FILE.html  write an HTML report of the merge: a summary, the\n"
         "             sheet's cells with the written ones marked and the detail\n"
         "             blocks outlined, and one row per placeholder cell per pass\n" +
         office::kSheetOfficeOption +
         "\n"
         "A pass that fails prints 'error' and the reason on stderr; the next pass\n"
         "still runs. Exit status: 0 done; 1 the workbook could not be reached,\n"
         "loaded or saved, or the report could not be written; 3 the result was\n"
         "written but a pass ended with 'error'; 2 usage; " +
         office::kSheetInterruptions;
}

// Checks what the parser left to the command; returns an error message, or
// nothing when o is good.
std::optional<std::string> check(const SheetOptions& o) {
  if (o.db.empty()) return "--db is required";
  if (o.files.size() == 1) return "give both IN and OUT, or neither";
  if (o.files.size() > 2) return "too many arguments";
  if (o.files.size() == 2 && o.native()) {
    const bool macros = sheet::ooxml::isMacroKind(o.files[0]);
    if (!sheet::ooxml::isWorkbookFile(o.files[1]) ||
        sheet::ooxml::isMacroKind(o.files[1]) != macros) {
      return macros ? "OUT must keep IN's kind: a workbook with macros is written as .xlsm or .xltm"
                    : "OUT must keep IN's kind: .xlsx or .xltx (use --office to convert "
                      "through LibreOffice Calc)";
    }
  } else if (o.files.size() == 2) {
    return office::checkOut(o.files[1]);
  }
  return std::nullopt;
}

extern "C" void onSheetInterrupt(int) { office::stopFromSignal(); }

// Tells the observers behind it, and shows progress on a terminal once the
// merge has run for a second.
class ProgressObserver : public MergeObserver {
 public:
  explicit ProgressObserver(MergeObserver* explain)
      : explain_(explain), tty_(!explain && stderrIsTerminal()), start_(Clock::now()) {}
  ~ProgressObserver() override {
    if (shownProgress_) std::fputc('\n', stderr);
  }

  void passStarted(const std::u16string& path, int wkcycle) override {
    pass_ = wkcycle;
    ++run_;
    if (explain_) explain_->passStarted(path, wkcycle);
    tick();
  }
  void placeholderFound(const std::u16string& text, const std::u16string& where) override {
    ++cells_;
    if (explain_) explain_->placeholderFound(text, where);
    tick();
  }
  void keyLookedUp(const std::u16string& key, bool found) override {
    if (explain_) explain_->keyLookedUp(key, found);
  }
  void skipped(std::string_view reason) override {
    if (explain_) explain_->skipped(reason);
  }
  void sqlRun(const std::u16string& sql) override {
    if (explain_) explain_->sqlRun(sql);
  }
  void loopEnded(LoopEnd end) override {
    if (explain_) explain_->loopEnded(end);
  }
  void resolved(const PlaceholderResult& r) override {
    if (explain_) explain_->resolved(r);
  }
  void valueWritten(const std::u16string& text, const std::u16string& where) override {
    if (explain_) explain_->valueWritten(text, where);
  }
  void failed(std::string_view step, int number, std::string_view description) override {
    if (explain_) explain_->failed(step, number, description);
  }

 private:
  using Clock = std::chrono::steady_clock;
  void tick() {
    if (!tty_) return;
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(200)) {
      return;
    }
    last_ = now;
    shownProgress_ = true;
    std::fprintf(stderr, "\rrun %d (pass %d): %ld placeholder cells", run_, pass_, cells_);
    std::fflush(stderr);
  }

  MergeObserver* explain_;
  bool tty_;
  Clock::time_point start_, last_{};
  int pass_ = 0, run_ = 0;
  long cells_ = 0;
  bool shownProgress_ = false;
};

// IN merged without an office suite: its active sheet is the running
// application's while the passes run.
int mergeNative(const SheetOptions& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  auto box = std::make_shared<CountingBox>();
  int status = kExitOk;
  bool saving = false;
  try {
    auto workbook = sheet::ooxml::WorkbookFile::open(in);
    {
      // Nothing here waits between two placeholders (the sheet is this
      // process's own): the passes share their read snapshots, each file
      // locked and checked once rather than once per placeholder.
      sheet::RunningOnThisThread running(workbook->application());
      ReadRun run;
      status = mergeSheet(o, box, false);
    }
    if (!sheetInterrupted()) {
      saving = true;
      sheet::ooxml::saveAsResult(*workbook, out);
    }
  } catch (const RuntimeError& e) {
    std::fprintf(stderr, "dorvane sheet: cannot %s %s: error %d: %s\n", saving ? "save" : "load",
                 saving ? out.c_str() : in.c_str(), e.number(), e.description());
    status = kExitFailed;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dorvane sheet: cannot %s %s: %s\n", saving ? "save" : "load",
                 saving ? out.c_str() : in.c_str(), e.what());
    status = kExitFailed;
  }
  return status;
}

int runSheet(const SheetOptions& o) {
  if (auto error = check(o)) return usage("sheet", *error, help().c_str());
  if (o.files.empty()) return mergeSheet(o, std::make_shared<CountingBox>(), true);
  const std::string& in = o.files[0];
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file::pathOf(in), ec)) {
    std::fprintf(stderr, "dorvane sheet: cannot load %s: the file does not exist\n", in.c_str());
    return kExitFailed;
  }
  // Interruptions end a private office suite at once, remove what a save
  // has under way (the old OUT stays) and let the merge run out.
  file::InterruptWatch interrupts(true, onSheetInterrupt);
  const int status = o.native() ? mergeNative(o) : office::mergeFile(o);
  if (sheetInterrupted()) {
    std::fprintf(stderr, "dorvane sheet: interrupted; %s was not written\n", o.files[1].c_str());
    return sheetInterrupted();
  }
  return status;
}

}  // namespace

bool SheetOptions::native() const { return !office && sheet::ooxml::isWorkbookFile(files[0]); }

void CountingBox::show(const std::u16string& text, const std::string& reason) {
  ++shown;
  if (!sheetInterrupted()) console_.show(text, reason);
}

int sheetInterrupted() { return file::InterruptWatch::status(); }

int mergeSheet(const SheetOptions& o, std::shared_ptr<CountingBox> box, bool attachMode,
               const char* retryStep, const std::string& retryNote) {
  ExplainObserver explain(stderr);
  ProgressObserver progress(o.explain ? &explain : nullptr);
  ReportWriter report(o.report, &progress);
  ctlMessage control;
  control.setMessageBox(box);
  MergeObserver* observer =
      o.report.empty() ? static_cast<MergeObserver*>(&progress) : report.observer();
  control.setObserver(observer);
  if (retryStep) observer->failed(retryStep, err::kSheetOperationFailed, retryNote);
  control.ocxKiv(text::fromUtf8(o.db), text::fromUtf8(o.db2));
  if (!o.report.empty() && !sheetInterrupted() &&
      !report.writeSheet(o.files.empty() ? "" : o.files[0], o.files.empty() ? "" : o.files[1])) {
    return kExitFailed;
  }
  if (box->shown == 0) return kExitOk;
  if (attachMode) {
    bool nothingRunning = true;
    for (const auto& f : control.failures()) {
      if (f.number != err::kCannotCreateObject) nothingRunning = false;
    }
    if (nothingRunning) return kExitFailed;
  }
  return kExitPassFailed;
}

Command sheetCommand(CLI::App& dorvane) {
  auto o = std::make_shared<SheetOptions>();
  CLI::App* cmd = addCommand(dorvane, "sheet", help, &o->files);
  cmd->add_option("--db", o->db);
  cmd->add_option("--db2", o->db2);
  cmd->add_flag("--explain", o->explain);
  cmd->add_option("--report", o->report);
  cmd->add_flag("--office", o->office);
  return {cmd, [o] { return runSheet(*o); }};
}

}  // namespace dorvane::cli
