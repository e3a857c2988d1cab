// The workers of a batch and its page jobs.
#include <dorvane/message_box.h>
#include <dorvane/runtime_error.h>

#include <algorithm>
#include <chrono>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "batch/batch.h"
#include "platform/db/access/access_table_cache.h"
#include "platform/text/utf.h"
#include "platform/worker_state.h"
#include "report/report_file.h"

namespace dorvane::batch {

namespace {

// Room for the Access tables a batch keeps read (a 100,000-row table takes
// some 10 MB); tables beyond it are read once per worker instead.
constexpr std::size_t kStreamBudget = std::size_t{1} << 30;

std::string describe(const ctlMessage::Failure& f) {
  return f.step + ": error " + std::to_string(f.number) + ": " + f.description;
}

// Keeps the Access streams for the life of a batch.
class KeptStreams {
 public:
  KeptStreams() { db::keepAccessStreams(kStreamBudget); }
  ~KeptStreams() { db::keepAccessStreams(0); }
};

// Writes the job's report; a report that cannot be written fails the job.
void writeReport(const Job& job, double seconds, const JobReport& report, JobResult& r) {
  try {
    report::writeMergeReport(
        text::fromUtf8(job.report),
        report::ReportSubject{text::fromUtf8(job.read), text::fromUtf8(job.save), seconds},
        report.recorder.record(), report.document);
  } catch (const RuntimeError& e) {
    r.status = JobStatus::Failed;
    r.errors.push_back("report " + job.report + ": error " + std::to_string(e.number()) + ": " +
                       e.description());
  }
}

JobResult runJob(const Job& job, MergeObserver* observer, std::unique_ptr<WorkbookMerger>& merger,
                 const Options& options) {
  JobResult r;
  if (!job.invalid.empty()) {
    r.status = JobStatus::Failed;
    r.errors.push_back("job: " + job.invalid);
    return r;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    std::optional<JobReport> report;
    if (!job.report.empty()) report.emplace(observer);
    JobReport* gathered = report ? &*report : nullptr;
    if (job.kind == JobKind::Page) {
      r = runPageJob(job, observer, gathered);
    } else {
      if (!merger) merger = options.workbookMerger();
      r = merger->merge(job, observer, gathered);
    }
    if (report) {
      writeReport(job,
                  std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                  *report, r);
    }
    return r;
  } catch (const std::exception& e) {  // e.g. out of memory: this job only
    r.status = JobStatus::Failed;
    r.errors.push_back(std::string("job: ") + e.what());
    return r;
  }
}

}  // namespace

namespace {

// The control of a page job, told how the job is heard.
void prepare(ctlMessage& control, const Job& job, MergeObserver* observer, JobReport* report) {
  control.setMessageBox(std::make_shared<RecordingMessageBox>());
  control.setCodePage(job.codePage);
  control.setKeepTextWeb(false);  // a job's members are not read
  control.setObserver(report ? &report->recorder : observer);
}

// What the control's page merge came to.
JobResult finish(ctlMessage& control, JobReport* report) {
  if (report) report->document = report::PageDocument{control.get_text()};
  JobResult r;
  r.status = pageStatus(control.failures());
  for (const auto& f : control.failures()) r.errors.push_back(describe(f));
  return r;
}

}  // namespace

JobResult runPageJob(const Job& job, MergeObserver* observer, JobReport* report) {
  ctlMessage control;
  prepare(control, job, observer, report);
  control.ocxwebKiv(text::fromUtf8(job.read), text::fromUtf8(job.save), text::fromUtf8(job.db),
                    text::fromUtf8(job.db2));
  return finish(control, report);
}

JobResult runPageBytes(const Job& job, std::string_view page, std::string* result,
                       MergeObserver* observer, JobReport* report) {
  ctlMessage control;
  prepare(control, job, observer, report);
  control.ocxwebKivBytes(page, result, text::fromUtf8(job.db), text::fromUtf8(job.db2));
  return finish(control, report);
}

Summary run(const std::vector<Job>& jobs, const Options& options) {
  KeptStreams kept;
  std::atomic<std::size_t> next{0};
  std::mutex lock;  // guards summary and the finished callback
  Summary summary;
  auto work = [&] {
    // This worker's connections, converters and snapshots: gone when it ends,
    // before its thread does (a thread's own state would go with the thread's
    // storage, after parts of it are gone on some systems).
    platform::WorkerState state;
    platform::WorkerState::Use use(state);
    std::unique_ptr<WorkbookMerger> merger;  // this worker's, made at its first workbook job
    for (;;) {
      if (options.stop && options.stop->load()) return;
      const std::size_t i = next++;
      if (i >= jobs.size()) return;
      const Job& job = jobs[i];
      const auto start = std::chrono::steady_clock::now();
      MergeObserver* observer = options.observer ? options.observer(job) : nullptr;
      JobResult r = runJob(job, observer, merger, options);
      r.number = job.number;
      r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::lock_guard<std::mutex> guard(lock);
      (r.status == JobStatus::Ok      ? summary.ok
       : r.status == JobStatus::Error ? summary.error
                                      : summary.failed)++;
      if (options.finished) options.finished(r);
    }
  };
  const int workers = std::max(1, std::min<int>(options.workers, static_cast<int>(jobs.size())));
  std::vector<std::thread> threads;
  for (int w = 1; w < workers; ++w) threads.emplace_back(work);
  work();  // this thread is a worker too
  for (auto& t : threads) t.join();
  summary.notRun = static_cast<long>(jobs.size()) - summary.ok - summary.error - summary.failed;
  return summary;
}

}  // namespace dorvane::batch
