#include "serve/merge_request.h"

#include <dorvane/engine.h>
#include <dorvane/observer.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <vector>

#include "batch/batch.h"
#include "platform/text/utf.h"
#include "report/report_html.h"
#include "resolve/resolve_json.h"

namespace dorvane::serve {

namespace fs = std::filesystem;

namespace {

// Thrown from the observer to end a merge past its deadline. Not a
// std::exception, so no handler of the merge mistakes it for a failure of
// its own; the merge unwinds without saving.
struct DeadlinePassed {};

// Hears a merge: ends it between placeholders once the deadline has passed,
// and notes each failed run with the placeholder last met.
class WatchingObserver : public MergeObserver {
 public:
  explicit WatchingObserver(Clock::time_point deadline) : deadline_(deadline) {}
  void passStarted(const std::u16string&, int) override {
    check();
    last_.clear();
  }
  void placeholderFound(const std::u16string& text, const std::u16string&) override {
    check();
    last_ = text::toUtf8(text);
  }
  void sqlRun(const std::u16string&) override { check(); }
  void failed(std::string_view step, int number, std::string_view description) override {
    errors.push_back({std::string(step), number, std::string(description), last_});
  }
  // Only notes and checks the clock: the placeholders of a pass may share
  // their snapshots.
  bool mayWait() const override { return false; }
  bool hearsRows() const override { return false; }
  std::vector<RunError> errors;

 private:
  void check() const {
    if (Clock::now() > deadline_) throw DeadlinePassed{};
  }
  Clock::time_point deadline_;
  std::string last_;
};

// Where scratch folders go: memory (/dev/shm) when there is one, since the
// result file is synced on saving and nothing here needs it on a disk.
fs::path scratchRoot() {
  std::error_code ec;
  if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  return fs::temp_directory_path(ec);
}

// A private folder for one workbook merge, removed with everything in it
// (what the office may leave there goes with it).
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (scratchRoot() / "dorvane-serve-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

bool writeAll(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return ::close(fd) == 0 && done == bytes.size();
}

// The file's bytes, read straight into the answer's string.
std::optional<std::string> readAll(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &st) == 0) {
    bytes.emplace(static_cast<size_t>(st.st_size), '\0');
    size_t done = 0;
    for (;;) {
      if (done == bytes->size()) bytes->resize(done + 4096 + done / 2);  // grew since
      const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) bytes.reset();
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    if (bytes) bytes->resize(done);
  }
  ::close(fd);
  return bytes;
}

// Merges a workbook on the private office, through files in a scratch
// folder: the template written there, the result read back into *result.
// An empty error when it went through, else why the files failed.
batch::JobResult mergeWorkbook(const MergeRequest& request, batch::Job job, WatchingObserver& watch,
                               batch::JobReport* report, std::string* result, std::string* error) {
  ScratchFolder scratch;
  const char* ext = request.macros ? ".xlsm" : ".xlsx";
  job.kind = batch::JobKind::Workbook;
  job.read = (scratch.path() / (std::string("template") + ext)).string();
  job.save = (scratch.path() / (std::string("result") + ext)).string();
  if (scratch.path().empty() || !writeAll(job.read, request.body)) {
    *error = "no room for the template in the temporary folder";
    return {};
  }
  batch::JobResult r = batch::privateCalcMerger()->merge(job, &watch, report);
  if (r.status != batch::JobStatus::Failed && !report) {
    auto bytes = readAll(job.save);
    if (!bytes) *error = "the result could not be read back";
    if (bytes) *result = std::move(*bytes);
  }
  return r;
}

// Merges a page (in memory, as `dorvane web` merges a file) or a workbook
// with the batch runner.
MergeAnswer runFileMerge(const MergeRequest& request, WatchingObserver& watch) {
  MergeAnswer answer;
  batch::Job job;
  job.db = request.db;
  job.db2 = request.db2;
  job.codePage = request.codePage;
  std::optional<batch::JobReport> report;
  if (request.report) report.emplace(&watch);
  batch::JobReport* heard = report ? &*report : nullptr;
  std::string result, error;
  batch::JobResult r;
  if (request.kind == MergeKind::Page) {
    job.kind = batch::JobKind::Page;
    r = batch::runPageBytes(job, request.body, &result, &watch, heard);
  } else {
    r = mergeWorkbook(request, job, watch, heard, &result, &error);
  }
  answer.errors = std::move(watch.errors);
  if (!error.empty()) {
    answer.status = MergeAnswer::Status::Failed;
    answer.loadError = error;
    return answer;
  }
  if (r.status == batch::JobStatus::Failed) {
    const std::string first = r.errors.empty() ? std::string("failed") : r.errors.front();
    answer.status = first.rfind("load", 0) == 0 ? MergeAnswer::Status::BadTemplate
                                                : MergeAnswer::Status::Failed;
    // What follows the step (a scratch path means nothing to the client).
    const size_t colon = first.find(": ");
    answer.loadError = colon == std::string::npos ? first : first.substr(colon + 2);
    return answer;
  }
  if (r.status == batch::JobStatus::Error) answer.status = MergeAnswer::Status::RunFailed;
  if (report) {
    answer.body = report::renderReport(report::ReportSubject{u"template", u"result", 0},
                                       report->recorder.record(), report->document);
    return answer;
  }
  answer.body = std::move(result);
  return answer;
}

}  // namespace

MergeAnswer runMerge(const MergeRequest& request) {
  db::setThreadDatabasePolicy(request.policy);
  MergeAnswer answer;
  WatchingObserver watch(request.deadline);
  try {
    // Nothing in a request waits between two placeholders: its passes share
    // their read snapshots (each file locked and its identity checked once
    // per span instead of once per placeholder and pass). The run ends with
    // the request, so the next one sees the files as they are then.
    ReadRun run;
    if (Clock::now() > request.deadline) throw DeadlinePassed{};
    if (request.kind == MergeKind::Resolve) {
      ResolveAnswer r =
          resolveAsJson(text::fromUtf8(request.body), static_cast<std::int16_t>(request.pass),
                        request.pageKind ? PlaceholderKind::Page : PlaceholderKind::Worksheet,
                        text::fromUtf8(request.db), &watch);
      answer.body = std::move(r.json);
      if (r.errorNumber != 0) {
        answer.status = MergeAnswer::Status::RunFailed;
        answer.errors.push_back({"resolve", r.errorNumber, r.errorDescription, request.body});
      }
    } else {
      answer = runFileMerge(request, watch);
    }
  } catch (const DeadlinePassed&) {
    answer = MergeAnswer{};
    answer.status = MergeAnswer::Status::PastDeadline;
  } catch (const std::exception& e) {
    answer = MergeAnswer{};
    answer.status = MergeAnswer::Status::Failed;
    answer.loadError = e.what();
  }
  db::setThreadDatabasePolicy(nullptr);
  return answer;
}

}  // namespace dorvane::serve
