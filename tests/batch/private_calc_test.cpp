// A batch worker's private Calc killed in the middle of a merge: the job runs
// once more on a fresh Calc; killed again, it fails cleanly; the worker goes
// on with its next job.
#include <dorvane/observer.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "batch/batch.h"
#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_sheet.h"
#include "platform/sheet/calc/calc_support.h"
#include "support/temp_db.h"
#include "worksheet/sheet_fixture.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;

// Kills with SIGKILL every soffice.bin whose command line mentions needle
// (its private folder), and waits until each has ended; returns how many.
int killCalcs(const std::string& needle) {
  std::vector<int> pids;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream cmdline(entry.path() / "cmdline");
    std::string all((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (all.find("soffice.bin") == 0 || all.find("/soffice.bin") != std::string::npos) {
      if (all.find(needle) != std::string::npos)
        pids.push_back(std::atoi(entry.path().filename().c_str()));
    }
  }
  for (int pid : pids) ::kill(pid, SIGKILL);
  // Ended: gone, or a zombie its parent (this process) has not reaped yet.
  for (int pid : pids) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
      const auto paren = text.rfind(')');
      if (paren == std::string::npos || text.compare(paren, 4, ") Z ") == 0) break;
      if (std::chrono::steady_clock::now() > until) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return static_cast<int>(pids.size());
}

// Kills the batch's Calc right after the first cell of a try was written,
// as many times as it is told.
class Killer : public MergeObserver {
 public:
  Killer(std::string needle, int times) : needle_(std::move(needle)), left_(times) {}
  void valueWritten(const std::u16string&, const std::u16string&) override {
    if (left_ > 0 && killCalcs(needle_) > 0) --left_;
  }
  int left() const { return left_; }

 private:
  std::string needle_;
  int left_;
};

TEST(BatchCalc, AKilledCalcIsReplacedOnceAndTheWorkerGoesOn) {
  if (auto why = testing::calcUnavailable()) GTEST_SKIP() << *why;
  testing::TempDir dir;
  const std::string db = dir.file("kiv.sqlite");
  testing::buildSheetDatabase(db);
  const std::string in = dir.file("in.ods");
  auto calc = sheet::calc::CalcProcess::start();
  calc->create();
  {
    auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
    ws->Cells(2, 2)->setValue(Variant::string(u"!!price,A01;"));
    ws->Cells(3, 2)->setValue(Variant::string(u"!!name,A02;"));
    ws->Cells(5, 2)->setValue(Variant::string(u"&&orders,A01"));
  }
  calc->saveAs(in);
  calc->closeDocument();

  // The batch's Calcs keep their folders in tmp, where the killer finds them.
  const std::string tmp = dir.file("tmp");
  fs::create_directory(tmp);
  const char* oldTmp = std::getenv("TMPDIR");
  const std::string savedTmp = oldTmp ? oldTmp : "";
  ::setenv("TMPDIR", tmp.c_str(), 1);
  struct Case {
    int kills;
    const char* status;
    const char* said;  // in its errors, or in retried
  };
  const std::vector<Case> cases = {
      {1, "ok", "was killed by signal 9 (SIGKILL) during \"merge "},
      {2, "failed", "was lost twice: first it was killed by signal 9 (SIGKILL)"},
      {0, "ok", ""},
  };
  std::vector<batch::Job> jobs;
  std::vector<std::unique_ptr<Killer>> killers;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    jobs.push_back(batch::parseJob(R"({"kind":"sheet","in":")" + in + R"(","out":")" +
                                       dir.file("o" + n + ".ods") + R"(","db":")" + db +
                                       R"(","report":")" + dir.file("r" + n + ".html") + "\"}",
                                   static_cast<long>(i + 1)));
    killers.push_back(std::make_unique<Killer>(tmp, cases[i].kills));
  }
  std::map<long, batch::JobResult> results;
  batch::Options options;
  options.workers = 1;
  options.observer = [&](const batch::Job& job) { return killers[job.number - 1].get(); };
  options.finished = [&](const batch::JobResult& r) { results[r.number] = r; };
  batch::run(jobs, options);
  if (oldTmp) {
    ::setenv("TMPDIR", savedTmp.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }

  ASSERT_EQ(results.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("job " + std::to_string(i + 1));
    const batch::JobResult& r = results[static_cast<long>(i + 1)];
    EXPECT_EQ(killers[i]->left(), 0) << "killed as often as planned";
    EXPECT_EQ(batch::statusName(r.status), std::string(cases[i].status)) << batch::resultJson(r);
    const std::string said = r.status == batch::JobStatus::Ok ? r.retried : batch::resultJson(r);
    EXPECT_NE(said.find(cases[i].said), std::string::npos) << batch::resultJson(r);
    if (r.status == batch::JobStatus::Ok) {
      EXPECT_TRUE(r.errors.empty()) << "the lost try's pass failures are not the job's";
      std::ifstream html(dir.file("r" + std::to_string(i + 1) + ".html"));
      std::string report((std::istreambuf_iterator<char>(html)), std::istreambuf_iterator<char>());
      EXPECT_EQ(report.find("first try on a private LibreOffice Calc failed") != std::string::npos,
                cases[i].kills == 1);
    }
  }
  EXPECT_TRUE(fs::is_empty(tmp)) << "every Calc's folder is gone";
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(dir.path())) left.insert(e.path().filename());
  EXPECT_EQ(left, (std::set<std::string>{"kiv.sqlite", "in.ods", "tmp", "o1.ods", "o3.ods",
                                         "r1.html", "r2.html", "r3.html"}));

  for (const char* file : {"o1.ods", "o3.ods"}) {
    SCOPED_TRACE(file);
    calc->load(dir.file(file));
    auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
    EXPECT_EQ(ws->Cells(2, 2)->Value(), Variant::dbl(200));
    EXPECT_EQ(ws->Cells(3, 2)->Value(), Variant::string(u"note"));
    EXPECT_EQ(ws->Cells(6, 2)->Value(), Variant::string(u"ink"));
    EXPECT_EQ(ws->Cells(6, 4)->Value(), Variant::dbl(200));
    auto note = ws->Cells(2, 2)->comment();
    ASSERT_TRUE(note);
    EXPECT_EQ(note->text(), u"単価");
  }
}

}  // namespace
}  // namespace dorvane
