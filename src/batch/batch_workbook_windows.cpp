// Workbook jobs of a batch on Windows: .xlsx/.xlsm/.xltx/.xltm files written
// as such are merged natively; other kinds and conversions need LibreOffice
// Calc, which the Windows build does not have, and fail alone.
#include "batch/batch_workbook.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"

namespace dorvane::batch {

namespace {

class NativeMerger : public WorkbookMerger {
 public:
  JobResult merge(const Job& job, MergeObserver* observer, JobReport* report) override {
    if (auto missing = refuseMissing(job)) return *missing;
    if (sheet::ooxml::isWorkbookFile(job.read) && sheet::ooxml::isWorkbookFile(job.save))
      return mergeNatively(job, observer, report);
    JobResult r;
    r.status = JobStatus::Failed;
    r.errors.push_back("load " + job.read +
                       ": .xls and .ods workbooks need LibreOffice Calc, which is not part of "
                       "the Windows build");
    return r;
  }
};

}  // namespace

std::unique_ptr<WorkbookMerger> systemWorkbookMerger() { return std::make_unique<NativeMerger>(); }

}  // namespace dorvane::batch
