// Workbook jobs of a batch on a POSIX system: .xlsx/.xlsm/.xltx/.xltm files
// natively (batch_native.cpp), other kinds on a private Calc per worker.
#include "batch/batch_workbook.h"

#include <dorvane/runtime_error.h>

#include "platform/sheet/calc/calc_backend.h"
#include "platform/sheet/calc/calc_job.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"

namespace dorvane::batch {

namespace {

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
    if (auto missing = refuseMissing(job)) return *missing;
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

std::unique_ptr<WorkbookMerger> systemWorkbookMerger() { return privateCalcMerger(); }

}  // namespace dorvane::batch
