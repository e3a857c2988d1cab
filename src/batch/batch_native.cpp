// Workbook jobs merged without an office suite, on every system.
#include <dorvane/message_box.h>
#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>

#include <filesystem>

#include "batch/batch_workbook.h"
#include "platform/file/utf8_path.h"
#include "platform/sheet/ooxml/ooxml_workbook.h"
#include "platform/text/utf.h"

namespace dorvane::batch {

namespace {

std::string describe(const ctlMessage::Failure& f) {
  return f.step + ": error " + std::to_string(f.number) + ": " + f.description;
}

}  // namespace

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

std::optional<JobResult> refuseMissing(const Job& job) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(file::pathOf(job.read), ec)) return std::nullopt;
  JobResult r;
  r.status = JobStatus::Failed;
  r.errors.push_back("load " + job.read + ": the file does not exist");
  return r;
}

}  // namespace dorvane::batch
