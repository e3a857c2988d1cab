// dorvane batch end to end: a job file mixing good and bad jobs gives the
// single command's results, the right reports and exit status, at any
// number of workers; and a source changed between two placeholders is seen.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "batch/batch.h"
#include "page/page_fixture.h"
#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_support.h"
#include "support/run_command.h"
#include "worksheet/sheet_fixture.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::runCommand;
using testing::shellQuote;
using testing::TempDir;
using testing::writeBytes;

// What a batch reported for one job.
struct Report {
  std::string status;
  std::string errors;  // all joined
  bool operator==(const Report&) const = default;
};

TEST(BatchCommand, MixedJobsGiveTheSingleCommandsResultsAtAnyWorkerCount) {
  TempDir dir;
  testing::buildPageDatabase(dir.file("kiv.sqlite"));
  writeBytes(dir.file("p1.htm"), "!!a,A01; gethere &&d,A02; gethere");
  writeBytes(dir.file("p2.htm"), "\xc3\xa9 !!g,GB; gethere !!b,A02; gethere");
  writeBytes(dir.file("perr.htm"), "!!a,A01; gethere !!u,A01; gethere");
  struct Case {
    std::string line;
    std::string web;     // the same merge by dorvane web, "" for none
    std::string status;  // reported
    std::string said;    // in its errors
  };
  const std::vector<Case> cases = {
      {R"({"kind":"web","read":"p1.htm","save":"o1.htm","db":"kiv.sqlite"})",
       "p1.htm o1.htm kiv.sqlite", "ok", ""},
      {R"({"kind":"web","read":"p2.htm","save":"o2.htm","db":"kiv.sqlite","db2":"kiv.sqlite","codepage":65001})",
       "p2.htm o2.htm kiv.sqlite kiv.sqlite --codepage=65001", "ok", ""},
      {R"({"kind":"web","read":"perr.htm","save":"o3.htm","db":"kiv.sqlite"})",
       "perr.htm o3.htm kiv.sqlite", "error", "pass 1 on kiv.sqlite: error 11"},
      {R"({"kind":"web","read":"none.htm","save":"o4.htm","db":"kiv.sqlite"})", "", "failed",
       "load none.htm"},
      {R"({"kind":"web","read":"p1.htm","save":"o5.htm","db":"nodb.sqlite"})",
       "p1.htm o5.htm nodb.sqlite", "error", "error 3024"},
      {R"({"kind":"web","read":"p1.htm","save":"p1.htm/o6.htm","db":"kiv.sqlite"})", "", "failed",
       "save p1.htm/o6.htm"},
      {R"({"kind":"web","read":"p1.htm",)", "", "failed", "not a JSON object"},
      {R"({"kind":"web","read":"p1.htm","save":"o8.htm","db":"kiv.sqlite","fast":1})", "", "failed",
       "unknown field \"fast\""},
      {R"({"kind":"web","read":"p1.htm","save":"o9.htm"})", "", "failed", "\"db\" is missing"},
      {R"({"kind":"sheet","in":"none.xlsx","out":"o10.xlsx","db":"kiv.sqlite"})", "", "failed",
       "load none.xlsx: the file does not exist"},
  };
  std::string jobs;
  for (const auto& c : cases) jobs += c.line + "\n\n";  // empty lines are skipped
  writeBytes(dir.file("jobs.jsonl"), jobs);

  // The single command's results, kept aside.
  const std::string cd = "cd " + shellQuote(dir.path().string()) + " && ";
  std::map<std::string, std::string> expected;  // output file -> bytes
  for (const auto& c : cases) {
    if (c.web.empty()) continue;
    runCommand(cd + DORVANE_CLI + " web " + c.web + " 2>/dev/null");
    std::string page, out;
    std::istringstream(c.web) >> page >> out;
    expected[out] = readBytes(dir.file(out));
    ASSERT_FALSE(expected[out].empty()) << out;
    fs::remove(dir.file(out));
  }
  std::set<std::string> before;
  for (const auto& e : fs::directory_iterator(dir.path())) before.insert(e.path().filename());

  std::map<long, Report> first;
  for (const char* run : {"jobs.jsonl -j 1", "-j 4 jobs.jsonl", "--jobs=2 - < jobs.jsonl"}) {
    SCOPED_TRACE(run);
    auto r = runCommand(cd + DORVANE_CLI + " batch " + run + " 2>/dev/null");
    EXPECT_EQ(r.status, 1);  // some jobs could not load or save
    std::map<long, Report> reports;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      auto j = nlohmann::json::parse(line);
      EXPECT_GE(j["seconds"].get<double>(), 0);
      Report& report = reports[j["job"].get<long>()];
      report.status = j["status"];
      for (const auto& e : j["errors"]) report.errors += e.get<std::string>() + "\n";
    }
    ASSERT_EQ(reports.size(), cases.size()) << r.out;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const Report& got = reports[static_cast<long>(2 * i + 1)];
      EXPECT_EQ(got.status, cases[i].status) << cases[i].line;
      EXPECT_NE(got.errors.find(cases[i].said), std::string::npos) << got.errors;
    }
    if (first.empty()) first = reports;
    EXPECT_EQ(reports, first) << "the same reports at every worker count";
    // Each result is the single command's; nothing else was left behind.
    std::set<std::string> now;
    for (const auto& e : fs::directory_iterator(dir.path())) now.insert(e.path().filename());
    std::set<std::string> want = before;
    for (const auto& [out, bytes] : expected) {
      want.insert(out);
      EXPECT_EQ(readBytes(dir.file(out)), bytes) << out;
      fs::remove(dir.file(out));
    }
    EXPECT_EQ(now, want);
  }
}

TEST(BatchCommand, AJobsReportIsWrittenAndOneThatCannotBeFailsTheJob) {
  TempDir dir;
  testing::buildPageDatabase(dir.file("kiv.sqlite"));
  writeBytes(dir.file("p.htm"), "!!a,A01; gethere");
  writeBytes(
      dir.file("jobs"),
      R"({"kind":"web","read":"p.htm","save":"o1.htm","db":"kiv.sqlite","report":"r1.html"})"
      "\n"
      R"({"kind":"web","read":"p.htm","save":"o2.htm","db":"kiv.sqlite","report":"no/r.html"})"
      "\n");
  auto r = runCommand("cd " + shellQuote(dir.path().string()) + " && " + DORVANE_CLI +
                      " batch jobs -j 2 2>/dev/null");
  EXPECT_EQ(r.status, 1);
  std::map<long, nlohmann::json> jobs;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    auto j = nlohmann::json::parse(line);
    jobs[j["job"].get<long>()] = j;
  }
  EXPECT_EQ(jobs[1]["status"], "ok") << r.out;
  EXPECT_EQ(jobs[2]["status"], "failed") << r.out;
  EXPECT_NE(jobs[2]["errors"].dump().find("report no/r.html: error 75"), std::string::npos);
  const std::string report = readBytes(dir.file("r1.html"));
  EXPECT_NE(report.find("!!a,A01;"), std::string::npos);
  EXPECT_NE(report.find(">200<"), std::string::npos) << "the written value is marked";
  EXPECT_EQ(readBytes(dir.file("o2.htm")), "!!a,A01; 200\r\n") << "the result stays written";
}

// Workers that share the tables read from an Access file give each page
// what the single command gives.
TEST(BatchCommand, AccessTablesReadOnceServeEveryWorker) {
  TempDir dir;
  const std::string fixtures = DORVANE_SOURCE_DIR "/../shared/fixtures/access";
  writeBytes(dir.file("p.htm"),
             "!!price,A01; gethere !!price,A02; gethere !!price_up,A01; gethere");
  std::string jobs;
  for (int n = 1; n <= 6; ++n) {
    jobs += R"({"kind":"web","read":")" + dir.file("p.htm") + R"(","save":")" +
            dir.file("o" + std::to_string(n)) + R"(","db":"ref.mdb"})" + "\n";
  }
  writeBytes(dir.file("jobs"), jobs);
  const std::string cd = "cd " + shellQuote(fixtures) + " && ";
  ASSERT_EQ(runCommand(cd + DORVANE_CLI + " web " + shellQuote(dir.file("p.htm")) + " " +
                       shellQuote(dir.file("single")) + " ref.mdb")
                .status,
            0);
  const std::string single = readBytes(dir.file("single"));
  EXPECT_NE(single.find("1234"), std::string::npos) << single;
  auto r = runCommand(cd + DORVANE_CLI + " batch -j 2 " + shellQuote(dir.file("jobs")));
  EXPECT_EQ(r.status, 0) << r.out;
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(readBytes(dir.file("o" + std::to_string(n))), single);
}

TEST(BatchCommand, ASourceChangedBetweenTwoPlaceholdersIsSeenByTheLaterOne) {
  TempDir dir;
  const std::string db = dir.file("kiv.sqlite");
  testing::buildPageDatabase(db);
  writeBytes(dir.file("p.htm"), "!!a,A01; gethere !!a,A01; gethere");
  // After a job's first value, another connection raises the price of A01.
  struct Raise : MergeObserver {
    std::string db;
    bool raised = false;
    void valueWritten(const std::u16string&, const std::u16string&) override {
      if (!raised) {
        testing::buildDatabase(
            db, "UPDATE items SET price = price + 100 WHERE code = 'A01' AND name = 'pen';");
      }
      raised = true;
    }
  };
  // One worker: its connection to the file is reused from job to job.
  std::vector<batch::Job> jobs;
  std::vector<Raise> observers(3);
  for (long n = 1; n <= 3; ++n) {
    jobs.push_back(batch::parseJob(R"({"kind":"web","read":")" + dir.file("p.htm") +
                                       R"(","save":")" + dir.file("o" + std::to_string(n)) +
                                       R"(","db":")" + db + R"("})",
                                   n));
    observers[n - 1].db = db;
  }
  batch::Options options;
  options.observer = [&](const batch::Job& job) { return &observers[job.number - 1]; };
  EXPECT_EQ(batch::run(jobs, options).ok, 3);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(readBytes(dir.file("o" + std::to_string(n))),
              "!!a,A01; " + std::to_string(100 + 100 * n) + " !!a,A01; " +
                  std::to_string(200 + 100 * n) + "\r\n");
  }
}

// Workbook jobs on one worker's Calc, reused from job to job, give what
// dorvane sheet gives.
TEST(BatchCalc, WorkbookJobsGiveTheSheetCommandsResults) {
  if (auto why = testing::calcUnavailable()) GTEST_SKIP() << *why;
  TempDir dir;
  testing::buildSheetDatabase(dir.file("kiv.sqlite"));
  auto calc = sheet::calc::CalcProcess::start();
  calc->create();
  {
    auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
    ws->Cells(2, 2)->setValue(Variant::string(u"!!price,A01;"));
    ws->Cells(3, 2)->setValue(Variant::string(u"!!name,A02;"));
  }
  calc->saveAs(dir.file("in.xlsx"));
  calc->closeDocument();
  writeBytes(dir.file("jobs"),
             R"({"kind":"sheet","in":"in.xlsx","out":"o1.xlsx","db":"kiv.sqlite"})"
             "\n"
             R"({"kind":"sheet","in":"in.xlsx","out":"o2.ods","db":"kiv.sqlite"})"
             "\n");
  const std::string cd = "cd " + shellQuote(dir.path().string()) + " && ";
  ASSERT_EQ(runCommand(cd + DORVANE_CLI + " sheet in.xlsx single.xlsx --db kiv.sqlite").status, 0);
  auto r = runCommand(cd + DORVANE_CLI + " batch -j 1 jobs");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << r.out;
  for (const char* file : {"single.xlsx", "o1.xlsx", "o2.ods"}) {
    SCOPED_TRACE(file);
    calc->load(dir.file(file));
    auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
    EXPECT_EQ(ws->Cells(2, 2)->Value(), Variant::dbl(200));
    EXPECT_EQ(ws->Cells(3, 2)->Value(), Variant::string(u"note"));
    auto note = ws->Cells(2, 2)->comment();
    ASSERT_TRUE(note);
    EXPECT_EQ(note->text(), u"単価");
    EXPECT_FALSE(note->visible());
  }
}

}  // namespace
}  // namespace dorvane
