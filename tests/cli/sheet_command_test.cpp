// dorvane sheet IN OUT end to end: a workbook made in Calc, merged by the
// command through its own private Calc, and the saved result reopened.
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sheet/calc_process.h"
#include "platform/sheet/calc_sheet.h"
#include "platform/sheet/calc_support.h"
#include "platform/text/utf.h"
#include "worksheet/sheet_fixture.h"

namespace dorvane {
namespace {

namespace fs = std::filesystem;
using sheet::calc::CalcProcess;

struct CliRun {
  int status = -1;
  std::string err;
};

// Runs the dorvane command with args (already quoted) and TMPDIR set to tmp.
CliRun runCli(const std::string& args, const std::string& tmp) {
  const std::string errFile = tmp + "/../stderr.txt";
  const std::string cmd =
      "TMPDIR='" + tmp + "' '" DORVANE_CLI "' sheet " + args + " 2>'" + errFile + "' </dev/null";
  CliRun r;
  int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  std::ifstream in(errFile);
  std::stringstream ss;
  ss << in.rdbuf();
  r.err = ss.str();
  return r;
}

// Processes whose command line mentions needle.
int processesMentioning(const std::string& needle) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::ifstream cmdline(entry.path() / "cmdline");
    if (!cmdline) continue;
    std::string all((std::istreambuf_iterator<char>(cmdline)), std::istreambuf_iterator<char>());
    if (all.find(needle) != std::string::npos) ++n;
  }
  return n;
}

TEST(SheetCommand, UsageErrorsNeedNoCalc) {
  testing::TempDir dir;
  fs::create_directory(dir.path() / "tmp");
  const std::string tmp = (dir.path() / "tmp").string();
  EXPECT_EQ(runCli("in.xlsx out.txt --db kiv.sqlite", tmp).status, 2);
  EXPECT_EQ(runCli("in.xlsx --db kiv.sqlite", tmp).status, 2);
  EXPECT_EQ(runCli("in.xlsx out.xlsx", tmp).status, 2);
  CliRun missing =
      runCli("'" + dir.file("none.xlsx") + "' '" + dir.file("out.xlsx") + "' --db kiv.sqlite", tmp);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(dir.file("out.xlsx")));
}

TEST(SheetCommand, MergesAWorkbookFileThroughAPrivateCalc) {
  if (auto why = testing::calcUnavailable()) GTEST_SKIP() << *why;
  testing::TempDir dir;
  const std::string db = dir.file("kiv.sqlite");
  testing::buildSheetDatabase(db);
  const std::string in = dir.file("in.xlsx");
  const std::string out = dir.file("out.xlsx");
  fs::create_directory(dir.path() / "tmp");
  const std::string tmp = (dir.path() / "tmp").string();

  std::unique_ptr<CalcProcess> calc = CalcProcess::start();
  calc->create();
  {
    auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
    auto put = [&](long r, long c, const char16_t* t) {
      ws->Cells(r, c)->setValue(Variant::string(t));
    };
    put(2, 2, u"!!price,A01;");    // pass 1, with a comment
    put(3, 2, u"!!name,A02;");     // pass 2, with a comment
    put(2, 4, u"!!plain,A02;");    // no comment of its own: keeps the one it has
    put(4, 6, u"!!unknown,A01;");  // no reference row: stays
    put(6, 2, u"&&orders,A01");    // detail block
    put(7, 3, u"kept");            // inside the block's area
    auto mine = ws->Cells(2, 4)->AddComment();
    mine->setText(u"mine");
  }
  calc->saveAs(in);
  calc->closeDocument();

  CliRun r = runCli("--explain '" + in + "' '" + out + "' --db '" + db + "'", tmp);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("placeholder !!price,A01; at $B$2"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(tmp)) << "the private Calc's folder is gone";
  EXPECT_EQ(processesMentioning(tmp), 0) << "no Calc of the command is left running";
  EXPECT_FALSE(fs::exists(dir.file(".~lock.in.xlsx#")));

  calc->load(out);
  auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
  auto value = [&](long r, long c) { return ws->Cells(r, c)->Value(); };
  EXPECT_EQ(value(2, 2), Variant::dbl(200));
  EXPECT_EQ(value(3, 2), Variant::string(u"note"));
  EXPECT_EQ(value(2, 4), Variant::dbl(246));
  EXPECT_EQ(value(4, 6), Variant::string(u"!!unknown,A01;"));
  struct Note {
    long row, column;
    const char16_t* text;
  };
  for (const Note& n :
       {Note{2, 2, u"単価"}, Note{3, 2, u"品名"}, Note{2, 4, u"mine"}, Note{6, 2, u"注文"}}) {
    auto note = ws->Cells(n.row, n.column)->comment();
    ASSERT_TRUE(note) << n.row << "," << n.column;
    EXPECT_EQ(note->text(), n.text) << n.row << "," << n.column;
    if (n.text != std::u16string(u"mine")) {
      EXPECT_FALSE(note->visible()) << n.row << "," << n.column;
    }
  }
  EXPECT_FALSE(ws->Cells(4, 6)->comment());
  const std::vector<std::vector<Variant>> block = {
      {Variant::string(u"pen"), Variant::dbl(1), Variant::dbl(100)},
      {Variant::string(u"ink"), Variant::string(u"kept"), Variant::dbl(200)},
      {Variant(), Variant(), Variant()},
  };
  for (std::size_t i = 0; i < block.size(); ++i) {
    for (std::size_t j = 0; j < block[i].size(); ++j) {
      EXPECT_EQ(value(6 + static_cast<long>(i), 2 + static_cast<long>(j)), block[i][j])
          << "block cell " << i << "," << j;
    }
  }
}

}  // namespace
}  // namespace dorvane
