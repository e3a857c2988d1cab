// Many merges in one process: page and workbook jobs, one per line of a job
// file, run by worker threads.
//
// Threads: a worker runs its jobs one after another, each with a control of
// its own. The engine keeps its connections, recordsets and the in-memory
// copies of Access files per thread, so workers share none of them. Shared
// between workers: the tables read from Access files (keepAccessStreams,
// one lock per file identity and table), so an unchanged Access file is read
// from disk once per batch and each worker only loads it into its own copy;
// and the finished callback, called under the batch's lock.
#pragma once

#include <dorvane/ctl_message.h>
#include <dorvane/observer.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "report/merge_record.h"
#include "report/report_html.h"

namespace dorvane::batch {

enum class JobKind { Page, Workbook };

struct Job {
  long number = 0;  // its line in the job file, from 1
  JobKind kind = JobKind::Page;
  std::string read, save;  // page: "read", "save"; workbook: "in", "out"
  std::string db, db2;
  int codePage = 932;
  std::string report;   // where its HTML report goes; empty for none
  std::string invalid;  // why the line is no job; empty for a job
};

// Reads the job on a line of a job file: a JSON object
//   {"kind":"web","read":R,"save":S,"db":D,"db2":D2,"codepage":N,"report":F}  or
//   {"kind":"sheet","in":I,"out":O,"db":D,"db2":D2,"report":F}
// ("db2", "codepage" and "report" optional). Never raises: a line that is no job
// (bad JSON, a missing or unknown field, a code page without converter)
// gives a Job whose invalid says why.
Job parseJob(const std::string& line, long number);

enum class JobStatus {
  Ok,      // the result was written and every pass ran through
  Error,   // the result was written, but a pass ended with "error"
  Failed,  // the job could not be read, loaded or saved (nothing written), or
           // its report could not be written
};
const char* statusName(JobStatus status);  // "ok", "error", "failed"

struct JobResult {
  long number = 0;
  JobStatus status = JobStatus::Ok;
  std::vector<std::string> errors;  // "<step>: error <n>: <description>", in order
  // Why the job's first try on a private Calc was lost, when the job ran
  // once more on a fresh one; empty otherwise.
  std::string retried;
  double seconds = 0;
};

// {"job":n,"status":"ok"|"error"|"failed","errors":[...],"seconds":s}, with
// "retried":why after "errors" when the job ran a second time
std::string resultJson(const JobResult& result);

// The status of a page merge after ocxwebKiv, from its failures: Failed
// when loading or saving failed, Error when anything else failed.
JobStatus pageStatus(const std::vector<ctlMessage::Failure>& failures);

// What a job's report is made of, gathered while the job runs: the merge's
// events (heard in front of the job's own observer) and the merged document.
struct JobReport {
  explicit JobReport(MergeObserver* next) : recorder(next) {}
  report::RecordingObserver recorder;
  report::Document document;
};

// Merges the page job as `dorvane web` does (atomic save, nothing written
// when the page cannot be loaded). observer may be null; report, when not
// null, hears the merge and gets the result page.
JobResult runPageJob(const Job& job, MergeObserver* observer, JobReport* report = nullptr);

// Merges the page job's page held in memory (job.read and job.save unused):
// page in, *result out, as runPageJob would read and write them; nothing is
// written when the page cannot be decoded. Failures of the page itself are
// reported as "load: ..." and "save: ...".
JobResult runPageBytes(const Job& job, std::string_view page, std::string* result,
                       MergeObserver* observer, JobReport* report = nullptr);

// Runs the workbook jobs of one worker, one after another. report as for
// runPageJob; it gets the grid of the merged sheet.
class WorkbookMerger {
 public:
  virtual ~WorkbookMerger() = default;
  virtual JobResult merge(const Job& job, MergeObserver* observer, JobReport* report) = 0;
};

// Workbook files (.xlsx, .xlsm, .xltx, .xltm) written as such are merged
// natively; other kinds and conversions on a private headless Calc for one
// worker: started at its first such job
// and reused for the next ones (each loaded in place of the one before),
// started afresh after a job that failed, ended with the merger. A job
// whose Calc dies or drops its bridge runs once more on a fresh Calc (see
// platform/sheet/calc/calc_job.h); the report and JobResult::retried say so.
// POSIX only.
std::unique_ptr<WorkbookMerger> privateCalcMerger();

// The system's merger of workbook jobs: privateCalcMerger on a POSIX
// system; on Windows, which has no Calc, workbook files merged natively and
// any other job Failed.
std::unique_ptr<WorkbookMerger> systemWorkbookMerger();

struct Options {
  int workers = 1;
  // Hears each job as it ends, one call at a time, in the order they end.
  std::function<void(const JobResult&)> finished;
  // Once true, no further job starts; running jobs end as they would.
  const std::atomic<bool>* stop = nullptr;
  // Makes the workbook merger of a worker, when it meets its first workbook job.
  std::function<std::unique_ptr<WorkbookMerger>()> workbookMerger = systemWorkbookMerger;
  // The observer of a job's merge, asked on its worker; may return null.
  std::function<MergeObserver*(const Job&)> observer;
};

struct Summary {
  long ok = 0, error = 0, failed = 0;
  long notRun = 0;  // left when stop became true
};

// Runs jobs on options.workers threads (at least one); a job that fails
// never stops the others.
Summary run(const std::vector<Job>& jobs, const Options& options);

}  // namespace dorvane::batch
