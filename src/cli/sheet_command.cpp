// dorvane sheet: the worksheet merge (ocxKiv), on the running LibreOffice Calc
// or on a workbook file: .xlsx/.xlsm/.xltx/.xltm natively, others through a
// private headless Calc.
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/explain_observer.h"
#include "cli/report_writer.h"
#include "platform/file/interrupt.h"
#include "platform/file/result_file.h"
#include "platform/sheet/calc/calc_backend.h"
#include "platform/sheet/calc/calc_job.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"
#include "platform/text/utf.h"

namespace dorvane::cli {

namespace {

const char kHelp[] =
    "Usage: dorvane sheet --db KIVDB [--db2 KIVDB2] [--explain] [--report FILE.html]\n"
    "       dorvane sheet IN OUT --db KIVDB [--db2 KIVDB2] [--explain] [--office]\n"
    "                            [--report FILE.html]\n"
    "\n"
    "Merges the values of the reference databases KIVDB (and KIVDB2) into a\n"
    "worksheet: pass 1 on KIVDB, pass 1 on KIVDB2, pass 2 on KIVDB, pass 2 on\n"
    "KIVDB2. Value placeholders (!!key,value;) get their values and a hidden\n"
    "comment; detail placeholders (&&key) become blocks of rows.\n"
    "\n"
    "Without IN and OUT it merges the active sheet of the running LibreOffice\n"
    "Calc (started with --accept=\"pipe,name=dorvane;urp;\", or at the address in\n"
    "DORVANE_CALC); saving the workbook is left to you.\n"
    "\n"
    "With IN and OUT it merges the active sheet of the workbook IN and writes the\n"
    "result as OUT. A .xlsx, .xlsm, .xltx or .xltm file is merged natively: OUT is\n"
    "a copy of IN in which only what the merge changed differs, and keeps IN's\n"
    "kind (a macro workbook stays one). Other files (.xls, .ods), and any file\n"
    "with --office, go through a private headless Calc that saves OUT as .xlsx,\n"
    ".ods or .xls by its extension; that Calc always ends again, also on failure\n"
    "and Ctrl-C. A Calc that dies during the merge is replaced by a fresh one and\n"
    "IN merged once more.\n"
    "\n"
    "  --explain  print each cell, key, outcome and value on stderr\n"
    "  --report FILE.html  write an HTML report of the merge: a summary, the\n"
    "             sheet's cells with the written ones marked and the detail\n"
    "             blocks outlined, and one row per placeholder cell per pass\n"
    "  --office   merge the file through LibreOffice Calc, whatever its kind\n"
    "\n"
    "A pass that fails prints 'error' and the reason on stderr; the next pass\n"
    "still runs. Exit status: 0 done; 1 the workbook could not be reached,\n"
    "loaded or saved, or the report could not be written; 3 the result was\n"
    "written but a pass ended with 'error'; 2 usage; 130, 143, 129 interrupted\n"
    "by SIGINT, SIGTERM, SIGHUP.\n";

constexpr int kExitPassFailed = 3;

struct Options {
  std::vector<std::string> files;
  std::string db, db2;
  bool explain = false;
  std::string report;
  bool office = false;
  // IN and OUT are merged without an office suite.
  bool native() const { return !office && sheet::ooxml::isWorkbookFile(files[0]); }
};

// Checks what the parser left to the command; returns an error message, or
// nothing when o is good.
std::optional<std::string> check(const Options& o) {
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
  } else if (o.files.size() == 2 && !sheet::calc::exportFilterFor(o.files[1])) {
    return "OUT must end in .xlsx, .ods or .xls";
  }
  return std::nullopt;
}

std::atomic<int> interrupted{0};  // the signal that interrupts the merge

extern "C" void onSignal(int sig) {
  interrupted = sig;
  sheet::calc::killPrivateCalcsFromSignal();
  file::removePendingFiles();  // a save under way then fails, the old OUT stays
}

// While alive, Ctrl-C, SIGTERM and SIGHUP end the private Calc at once and
// let the merge run out; the handlers before are restored afterwards.
class SignalGuard {
 public:
  SignalGuard() {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &old_[i]);
    // A save past the file-size limit fails with an error instead of killing.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &oldFileSize_);
  }
  ~SignalGuard() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &old_[i], nullptr);
    sigaction(SIGXFSZ, &oldFileSize_, nullptr);
  }

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction old_[3];
  struct sigaction oldFileSize_;
};

// Shows "error" and the reason on stderr like the console box, counts how
// often, and stays quiet once the merge is being interrupted.
class CountingBox : public MessageBox {
 public:
  void show(const std::u16string& text, const std::string& reason) override {
    ++shown;
    if (!interrupted) console_.show(text, reason);
  }
  int shown = 0;

 private:
  ConsoleMessageBox console_;
};

// Tells the observers behind it, and shows progress on a terminal once the
// merge has run for a second.
class ProgressObserver : public MergeObserver {
 public:
  explicit ProgressObserver(MergeObserver* explain)
      : explain_(explain), tty_(!explain && ::isatty(2)), start_(Clock::now()) {}
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

// Runs ocxKiv; returns 0, or kExitPassFailed when a pass showed "error".
// A retry note (why a first try was lost) goes to --explain and the report
// first.
int merge(const Options& o, std::shared_ptr<CountingBox> box, bool attachMode,
          const std::string& retryNote = "") {
  ExplainObserver explain(stderr);
  ProgressObserver progress(o.explain ? &explain : nullptr);
  ReportWriter report(o.report, &progress);
  ctlMessage control;
  control.setMessageBox(box);
  MergeObserver* observer =
      o.report.empty() ? static_cast<MergeObserver*>(&progress) : report.observer();
  control.setObserver(observer);
  if (!retryNote.empty())
    observer->failed(sheet::calc::kFirstTryStep, err::kSheetOperationFailed, retryNote);
  control.ocxKiv(text::fromUtf8(o.db), text::fromUtf8(o.db2));
  if (!o.report.empty() && !interrupted &&
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

// IN merged without an office suite: its active sheet is the running
// application's while the passes run.
int mergeNative(const Options& o) {
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  SignalGuard signals;
  auto box = std::make_shared<CountingBox>();
  int status = kExitOk;
  bool saving = false;
  try {
    auto workbook = sheet::ooxml::WorkbookFile::open(in);
    {
      sheet::RunningOnThisThread running(workbook->application());
      status = merge(o, box, false);
    }
    if (!interrupted) {
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
  if (interrupted) {
    std::fprintf(stderr, "dorvane sheet: interrupted; %s was not written\n", out.c_str());
    return 128 + interrupted;
  }
  return status;
}

int mergeFile(const Options& o) {
  namespace fs = std::filesystem;
  const std::string& in = o.files[0];
  const std::string& out = o.files[1];
  if (!fs::is_regular_file(in)) {
    std::fprintf(stderr, "dorvane sheet: cannot load %s: the file does not exist\n", in.c_str());
    return kExitFailed;
  }
  if (o.native()) return mergeNative(o);
  SignalGuard signals;
  std::unique_ptr<sheet::calc::PrivateCalc> calc;
  int status = kExitOk;
  std::string retryNote;
  sheet::calc::WorkbookJob job;
  job.in = in;
  job.out = out;
  job.task = "merge";
  // An interrupted merge stops the job before its save (the message is not shown).
  auto stopWhenInterrupted = [] {
    if (interrupted) throw RuntimeError(err::kSheetOperationFailed, "interrupted");
  };
  job.work = [&](const std::string& address) {
    stopWhenInterrupted();
    sheet::RunningOnThisThread running(sheet::calc::backend().attach(address));
    status = merge(o, std::make_shared<CountingBox>(), false, retryNote);
    stopWhenInterrupted();
  };
  job.retrying = [&](const std::string& why) {
    if (interrupted) return false;
    std::fprintf(stderr, "dorvane sheet: %s; merging it once more on a fresh Calc\n", why.c_str());
    retryNote = why + "; the merge ran once more on a fresh Calc";
    return true;
  };
  using sheet::calc::JobStep;
  JobStep step = JobStep::Start;
  auto failed = [&](const std::string& why) {
    if (interrupted) return;
    std::fprintf(stderr, "dorvane sheet: cannot %s: %s\n", sheet::calc::stepName(step, job).c_str(),
                 why.c_str());
  };
  try {
    sheet::calc::runWorkbookJob(calc, job, step);
  } catch (const RuntimeError& e) {
    failed("error " + std::to_string(e.number()) + ": " + e.description());
    status = kExitFailed;
  } catch (const std::exception& e) {
    failed(e.what());
    status = kExitFailed;
  }
  if (calc) calc->stop();
  if (interrupted) {
    std::fprintf(stderr, "dorvane sheet: interrupted; %s was not written\n", out.c_str());
    return 128 + interrupted;
  }
  return status;
}

int runSheet(const Options& o) {
  if (auto error = check(o)) return usage("sheet", *error, kHelp);
  if (o.files.empty()) return merge(o, std::make_shared<CountingBox>(), true);
  return mergeFile(o);
}

}  // namespace

Command sheetCommand(CLI::App& dorvane) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = addCommand(
      dorvane, "sheet", [] { return std::string(kHelp); }, &o->files);
  cmd->add_option("--db", o->db);
  cmd->add_option("--db2", o->db2);
  cmd->add_flag("--explain", o->explain);
  cmd->add_option("--report", o->report);
  cmd->add_flag("--office", o->office);
  return {cmd, [o] { return runSheet(*o); }};
}

}  // namespace dorvane::cli
