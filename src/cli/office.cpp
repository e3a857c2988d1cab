// The commands' office suite on a POSIX system: LibreOffice Calc. The
// running Calc is the running spreadsheet; .xls/.ods files, and any file
// with --office, are merged on a private headless Calc.
#include "cli/office.h"

#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <cstdio>
#include <memory>

#include "cli/commands.h"
#include "platform/sheet/calc/calc_backend.h"
#include "platform/sheet/calc/calc_job.h"

namespace dorvane::cli::office {

const char kUsageNote[] = "";

const char kSheetUsage[] =
    "Usage: dorvane sheet --db KIVDB [--db2 KIVDB2] [--explain] [--report FILE.html]\n"
    "       dorvane sheet IN OUT --db KIVDB [--db2 KIVDB2] [--explain] [--office]\n"
    "                            [--report FILE.html]\n";

const char kSheetRunning[] =
    "Without IN and OUT it merges the active sheet of the running LibreOffice\n"
    "Calc (started with --accept=\"pipe,name=dorvane;urp;\", or at the address in\n"
    "DORVANE_CALC); saving the workbook is left to you.\n";

const char kSheetOthers[] =
    "Other files (.xls, .ods), and any file with --office, go through a private\n"
    "headless Calc that saves OUT as .xlsx, .ods or .xls by its extension; that\n"
    "Calc always ends again, also on failure and Ctrl-C. A Calc that dies during\n"
    "the merge is replaced by a fresh one and IN merged once more.\n";

const char kSheetOfficeOption[] =
    "  --office   merge the file through LibreOffice Calc, whatever its kind\n";

const char kSheetInterruptions[] =
    "130, 143, 129 interrupted\n"
    "by SIGINT, SIGTERM, SIGHUP.\n";

std::optional<std::string> checkOut(const std::string& out) {
  if (!sheet::calc::exportFilterFor(out)) return "OUT must end in .xlsx, .ods or .xls";
  return std::nullopt;
}

int mergeFile(const SheetOptions& o) {
  std::unique_ptr<sheet::calc::PrivateCalc> calc;
  int status = kExitOk;
  std::string retryNote;
  sheet::calc::WorkbookJob job;
  job.in = o.files[0];
  job.out = o.files[1];
  job.task = "merge";
  // An interrupted merge stops the job before its save (the message is not shown).
  auto stopWhenInterrupted = [] {
    if (sheetInterrupted()) throw RuntimeError(err::kSheetOperationFailed, "interrupted");
  };
  job.work = [&](const std::string& address) {
    stopWhenInterrupted();
    sheet::RunningOnThisThread running(sheet::calc::backend().attach(address));
    status = mergeSheet(o, std::make_shared<CountingBox>(), false,
                        retryNote.empty() ? nullptr : sheet::calc::kFirstTryStep, retryNote);
    stopWhenInterrupted();
  };
  job.retrying = [&](const std::string& why) {
    if (sheetInterrupted()) return false;
    std::fprintf(stderr, "dorvane sheet: %s; merging it once more on a fresh Calc\n", why.c_str());
    retryNote = why + "; the merge ran once more on a fresh Calc";
    return true;
  };
  using sheet::calc::JobStep;
  JobStep step = JobStep::Start;
  auto failed = [&](const std::string& why) {
    if (sheetInterrupted()) return;
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
  return status;
}

void stopFromSignal() noexcept { sheet::calc::killPrivateCalcsFromSignal(); }

}  // namespace dorvane::cli::office
