#include "platform/sheet/calc/calc_job.h"

#include <dorvane/runtime_error.h>

#include <optional>

namespace dorvane::sheet::calc {

std::string stepName(JobStep step, const WorkbookJob& job) {
  switch (step) {
    case JobStep::Start:
      return "start LibreOffice Calc for " + job.in;
    case JobStep::Load:
      return "load " + job.in;
    case JobStep::Work:
      return job.task + " " + job.in;
    case JobStep::Save:
      break;
  }
  return "save " + job.out;
}

void runWorkbookJob(std::unique_ptr<PrivateCalc>& calc, const WorkbookJob& job, JobStep& step) {
  std::string firstLoss;  // how the Calc of the first try was lost; empty on the first try
  for (;;) {
    std::optional<std::string> lost;
    try {
      step = JobStep::Start;
      if (!calc) calc = backend().start();
      step = JobStep::Load;
      calc->load(job.in);
      step = JobStep::Work;
      job.work(calc->address());
      // The work may have caught what failed on the way (a merge pass
      // does): a Calc lost during it shows here.
      lost = calc->lost();
      if (!lost) {
        step = JobStep::Save;
        saveAs(*calc, job.out);
        return;
      }
    } catch (const RuntimeError& e) {
      if (calc) lost = calc->lost();
      if (!lost) {
        if (firstLoss.empty()) throw;
        throw RuntimeError(e.number(), std::string(e.description()) +
                                           " (on a fresh Calc, after the first one " + firstLoss +
                                           ")");
      }
    }
    const std::string loss = *lost + " during \"" + stepName(step, job) + "\"";
    if (!firstLoss.empty()) {
      throw RuntimeError(err::kSheetOperationFailed,
                         "The private LibreOffice Calc was lost twice: first it " + firstLoss +
                             "; then a fresh one " + loss);
    }
    if (job.retrying && !job.retrying("The private LibreOffice Calc " + loss)) {
      throw RuntimeError(err::kSheetOperationFailed, "The private LibreOffice Calc " + loss);
    }
    calc->stop();
    calc.reset();
    firstLoss = loss;
  }
}

}  // namespace dorvane::sheet::calc
