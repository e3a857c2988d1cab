// The parts of workbook jobs every system shares (batch_native.cpp), for the
// system's workbook merger (batch_workbook.cpp, batch_workbook_windows.cpp).
#pragma once

#include <dorvane/sheet.h>

#include <memory>
#include <optional>

#include "batch/batch.h"

namespace dorvane::batch {

// Runs ocxKiv on app as this thread's running application; adds the failures
// to r and marks it Error when a pass showed "error". With a report, it
// hears the merge and gets the grid of the merged sheet.
void mergeOn(std::shared_ptr<sheet::Application> app, const Job& job, MergeObserver* observer,
             JobReport* report, JobResult& r);

// A workbook file merged without an office suite into a workbook file, as
// `dorvane sheet IN OUT` does: OUT keeps IN's kind (macros or none).
JobResult mergeNatively(const Job& job, MergeObserver* observer, JobReport* report);

// The Failed result of a job whose IN does not exist, or nothing when it does.
std::optional<JobResult> refuseMissing(const Job& job);

}  // namespace dorvane::batch
