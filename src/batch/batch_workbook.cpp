// Workbook jobs of a batch: .xlsx/.xlsm/.xltx/.xltm files natively, other
// kinds on a private Calc per worker.
#include <dorvane/message_box.h>
#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <filesystem>

#include "batch/batch.h"
#include "platform/sheet/calc/calc_backend.h"
#include "platform/sheet/calc/calc_job.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"
#include "platform/text/utf.h"

namespace dorvane::batch {

namespace {

std::string describe(const ctlMessage::Failure& f) {
  return f.step + ": error " + std::to_string(f.number) + ": " + f.description;
}

// Runs ocxKiv on app as this thread's running application; adds the failures
// to r and marks it Error when a pass showed "error".
// With a report, it hears the merge and gets the grid of the merged sheet.
void mergeOn(std::shared_ptr<sheet::Application> app, const Job& job, MergeObserver* observer,
             JobReport* report, JobResult& r) {
  auto box = std::make_shared<RecordingMessageBox>();
  ctlMessage control;
  control.setMessageBox(box);
  control.setObserver(report ? &report->recorder : observer);
  sheet::RunningOnThisThread running(app);
  control.ocxKiv(text::fromUtf8(job.db), text::fromUtf8(job.db2));
  for (const auto& f : control.failures()) r.errors.push_back(describe(f));
  if (!box->shown.empty()) r.status = JobStatus::Error;
  if (!report) return;
  try {
    auto workbook = app->ActiveWorkbook();
    auto worksheet = workbook ? workbook->ActiveSheet() : nullptr;
    if (worksheet) report->document = report::readSheetGrid(*worksheet, report->recorder.record());
  } catch (const RuntimeError&) {
    // the sheet is gone: the report goes without its grid
  }
}

// A workbook file merged without an office suite into a workbook file, as
// `dorvane sheet IN OUT` does: OUT keeps IN's kind (macros or none). Other
// conversions (.xlsx to .ods) go through Calc.
JobResult mergeNatively(const Job& job, MergeObserver* observer, JobReport* report) {
  JobResult r;
  if (sheet::ooxml::isMacroKind(job.read) != sheet::ooxml::isMacroKind(job.save)) {
    r.status = JobStatus::Failed;
    r.errors.push_back("save " + job.save + ": it must keep the kind of " + job.read);
    return r;
  }
  std::string stage = "load " + job.read;
  try {
    auto workbook = sheet::ooxml::WorkbookFile::open(job.read);
    mergeOn(workbook->application(), job, observer, report, r);
    stage = "save " + job.save;
    sheet::ooxml::saveAsResult(*workbook, job.save);
  } catch (const RuntimeError& e) {
    r.status = JobStatus::Failed;
    r.errors.push_back(stage + ": error " + std::to_string(e.number()) + ": " + e.description());
  }
  return r;
}

class PrivateCalcMerger : public WorkbookMerger {
 public:
  ~PrivateCalcMerger() override { stop(); }

  JobResult merge(const Job& job, MergeObserver* observer, JobReport* report) override {
    JobResult r;
    auto fail = [&r](std::string why) {
      r.status = JobStatus::Failed;
      r.errors.push_back(std::move(why));
      return r;
    };
    if (!std::filesystem::is_regular_file(job.read))
      return fail("load " + job.read + ": the file does not exist");
    if (sheet::ooxml::isWorkbookFile(job.read) && sheet::ooxml::isWorkbookFile(job.save))
      return mergeNatively(job, observer, report);
    if (!sheet::calc::exportFilterFor(job.save))
      return fail("save " + job.save + ": it must end in .xlsx, .ods or .xls");
    sheet::calc::WorkbookJob work;
    work.in = job.read;
    work.out = job.save;
    work.task = "merge";
    std::string retried;  // why the first try was lost, once it was
    work.work = [&](const std::string& address) {
      // A second try starts over: what the first one met is not this job's.
      r = JobResult{};
      r.retried = retried;
      if (report) *report = JobReport(observer);
      MergeObserver* told = report ? &report->recorder : observer;
      if (told && !retried.empty()) {
        told->failed(sheet::calc::kFirstTryStep, err::kSheetOperationFailed, retried);
      }
      mergeOn(sheet::calc::backend().attach(address), job, observer, report, r);
    };
    work.retrying = [&](const std::string& why) {
      retried = why + "; the job ran once more on a fresh Calc";
      return true;
    };
    sheet::calc::JobStep step = sheet::calc::JobStep::Start;
    try {
      sheet::calc::runWorkbookJob(calc_, work, step);
      calc_->closeDocument();
      return r;
    } catch (const RuntimeError& e) {
      // Whatever state Calc is left in, the next job starts a fresh one.
      stop();
      r.status = JobStatus::Failed;
      r.errors.push_back(sheet::calc::stepName(step, work) + ": error " +
                         std::to_string(e.number()) + ": " + e.description());
      return r;
    }
  }

 private:
  void stop() {
    if (calc_) calc_->stop();
    calc_.reset();
  }

  std::unique_ptr<sheet::calc::PrivateCalc> calc_;
};

}  // namespace

std::unique_ptr<WorkbookMerger> privateCalcMerger() {
  return std::make_unique<PrivateCalcMerger>();
}

}  // namespace dorvane::batch
