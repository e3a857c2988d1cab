// dorvane batch: the page and workbook merges of a job file, run by worker
// threads in one process.
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "batch/batch.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/office.h"
#include "platform/file/input_file.h"
#include "platform/file/interrupt.h"

namespace dorvane::cli {

namespace {

const char kHelp[] =
    "Usage: dorvane batch JOBS [-j N]\n"
    "\n"
    "Runs the merge jobs of the file JOBS ('-' for standard input), one JSON\n"
    "object a line, in one process:\n"
    "  {\"kind\":\"web\",\"read\":R,\"save\":S,\"db\":KIVDB,\"db2\":KIVDB2,\"codepage\":N,\n"
    "   \"report\":F}\n"
    "      merges the page R into S like 'dorvane web' (db2, codepage, report\n"
    "      optional)\n"
    "  {\"kind\":\"sheet\",\"in\":I,\"out\":O,\"db\":KIVDB,\"db2\":KIVDB2,\"report\":F}\n"
    "      merges the workbook I into O like 'dorvane sheet I O' (db2, report\n"
    "      optional)\n"
    "\"report\" writes the job's HTML report to F, like --report of the commands.\n"
    "Empty lines are skipped; a job is known by its line number.\n"
    "\n"
    "  -j, --jobs N  run N jobs at a time (default: the number of cores)\n"
    "\n"
    "Prints one JSON line per job on stdout as it ends:\n"
    "  {\"job\":LINE,\"status\":\"ok\"|\"error\"|\"failed\",\"errors\":[...],\"seconds\":S}\n"
    "and on a terminal a progress line on stderr. A failing job never stops the\n"
    "others; each keeps the guarantees of its command (the result replaced whole\n"
    "or not at all, nothing written when the template cannot be loaded). An\n"
    "unchanged Access file is read once for the whole batch. Ctrl-C starts no\n"
    "further job and lets the running ones end; a second Ctrl-C also ends the\n"
    "private Calcs at once.\n"
    "Exit status: 0 every job ok; 3 a result was written but a run ended with\n"
    "'error'; 1 a job could not be read, loaded or saved; 2 usage;\n"
    "130 interrupted.\n";

constexpr int kExitPassFailed = 3;
constexpr int kExitInterrupted = 130;

struct Options {
  std::vector<std::string> files;
  std::string workersText;
  int workers = 0;
};

std::optional<std::string> check(Options& o) {
  if (o.files.empty()) return "no job file given";
  if (o.files.size() > 1) return "too many arguments";
  o.workers = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (!o.workersText.empty()) {
    const std::string& v = o.workersText;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), o.workers);
    if (ec != std::errc() || end != v.data() + v.size() || o.workers < 1 || o.workers > 256)
      return "-j needs a number from 1 to 256, not '" + v + "'";
  }
  return std::nullopt;
}

std::atomic<bool> stopping{false};

// Ctrl-C (and SIGTERM, SIGHUP) starts no further job; a second one also ends
// the private office suites at once.
extern "C" void onBatchInterrupt(int count) {
  stopping = true;
  if (count > 1) office::stopFromSignal();
}

// The progress line on a terminal: jobs done, failed, rate, time left.
class Progress {
 public:
  Progress(std::size_t total) : total_(total), tty_(stderrIsTerminal()), start_(Clock::now()) {}
  ~Progress() {
    if (shown_) std::fputc('\n', stderr);
  }
  void jobEnded(const batch::JobResult& r) {
    ++done_;
    if (r.status != batch::JobStatus::Ok) ++failed_;
    if (!tty_) return;
    const auto now = Clock::now();
    if (done_ != total_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done_ / seconds : 0;
    const double left = rate > 0 ? (total_ - done_) / rate : 0;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(kWidth * done_ / std::max<std::size_t>(total_, 1));
    std::fprintf(stderr, "\r[%s%s] %zu/%zu done, %zu not ok, %.1f jobs/s, %d:%02d left ",
                 std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), done_,
                 total_, failed_, rate, static_cast<int>(left) / 60, static_cast<int>(left) % 60);
    std::fflush(stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::size_t total_, done_ = 0, failed_ = 0;
  bool tty_, shown_ = false;
  Clock::time_point start_, last_{};
};

// The jobs of the file at path ("-": standard input), or nothing when it
// cannot be read.
std::optional<std::vector<batch::Job>> readJobs(const std::string& path) {
  file::InputFile in;
  if (in.open(path) != file::InputFile::Status::Ok) return std::nullopt;
  std::string text;
  char buf[65536];
  long long got = 0;
  while ((got = in.read(buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(got));
  if (got < 0) return std::nullopt;
  std::vector<batch::Job> jobs;
  std::string_view rest = text;
  for (long number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    jobs.push_back(batch::parseJob(std::string(line), number));
  }
  return jobs;
}

int runBatch(Options& o) {
  if (auto error = check(o)) return usage("batch", *error, kHelp);
  auto jobs = readJobs(o.files[0]);
  if (!jobs) {
    std::fprintf(stderr, "dorvane batch: cannot read the job file %s\n", o.files[0].c_str());
    return kExitFailed;
  }
  file::InterruptWatch interrupts(false, onBatchInterrupt);
  Progress progress(jobs->size());
  batch::Options options;
  options.workers = o.workers;
  options.stop = &stopping;
  options.finished = [&progress](const batch::JobResult& r) {
    std::fprintf(stdout, "%s\n", batch::resultJson(r).c_str());
    std::fflush(stdout);
    progress.jobEnded(r);
  };
  const batch::Summary s = batch::run(*jobs, options);
  if (s.notRun > 0) {
    std::fprintf(stderr,
                 "dorvane batch: interrupted: %ld ok, %ld with errors, %ld failed, %ld not run\n",
                 s.ok, s.error, s.failed, s.notRun);
    return kExitInterrupted;
  }
  if (s.failed > 0) return kExitFailed;
  return s.error > 0 ? kExitPassFailed : kExitOk;
}

}  // namespace

Command batchCommand(CLI::App& dorvane) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = addCommand(
      dorvane, "batch", [] { return std::string(kHelp); }, &o->files);
  cmd->add_option("-j,--jobs", o->workersText);
  return {cmd, [o] { return runBatch(*o); }};
}

}  // namespace dorvane::cli
