// dorvane sheet IN OUT end to end: a workbook made in Calc, merged by the
// command through its own private Calc, and the saved result reopened.
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/convert.h"
#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_sheet.h"
#include "platform/sheet/calc/calc_support.h"
#include "platform/sheet/ooxml/ooxml_fixture.h"
#include "platform/sheet/ooxml/ooxml_xml.h"
#include "platform/text/utf.h"
#include "support/run_command.h"
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
CliRun runCli(const std::string& args, const std::string& tmp, const std::string& env = "") {
  const std::string errFile = tmp + "/../stderr.txt";
  const std::string cmd = env + "TMPDIR='" + tmp + "' '" DORVANE_CLI "' sheet " + args + " 2>'" +
                          errFile + "' </dev/null";
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

  CliRun r = runCli("--office --explain '" + in + "' '" + out + "' --db '" + db + "'", tmp);
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

// A template with value and detail placeholders, a total over them on the
// same sheet and on another, and a row below the detail block.
void writeTemplate(const std::string& path) {
  testing::Parts parts = testing::basicWorkbook(
      "<row r=\"2\"><c r=\"B2\" t=\"s\"><v>0</v></c></row>"
      "<row r=\"3\"><c r=\"B3\" t=\"s\"><v>1</v></c></row>"
      "<row r=\"4\"><c r=\"B4\"><f>SUM(B2:B3)</f><v>0</v></c></row>"
      "<row r=\"6\"><c r=\"B6\" t=\"s\"><v>2</v></c></row>"
      "<row r=\"9\"><c r=\"B9\" t=\"s\"><v>3</v></c></row>",
      "<si><t>!!price,A01;</t></si><si><t>!!plain,A02;</t></si><si><t>&amp;&amp;orders,A01</t></si>"
      "<si><t>below</t></si>");
  // The hand-made chart sheet is no real chart: keep it out of the readers' way.
  std::string& wb = parts["xl/workbook.xml"];
  const std::string chart = "<sheet name=\"Chart\" sheetId=\"3\" r:id=\"rId7\"/>";
  wb.erase(wb.find(chart), chart.size());
  testing::writePackage(path, parts);
}

// What a reader sees on the sheet "Data" of a merged template: cell → value
// text and note (or "-").
using Seen = std::map<std::string, std::pair<std::string, std::string>>;
const Seen kMerged = {{"B2", {"200", "単価"}}, {"B3", {"246", "-"}}, {"B4", {"446", "-"}},
                      {"B6", {"pen", "注文"}}, {"C6", {"1", "-"}},   {"D6", {"100", "-"}},
                      {"B7", {"ink", "-"}},    {"C7", {"2", "-"}},   {"D7", {"200", "-"}},
                      {"B9", {"below", "-"}}};

TEST(SheetCommand, MergesWorkbookFilesNativelyWithoutAnOfficeSuite) {
  testing::TempDir dir;
  const std::string db = dir.file("kiv.sqlite");
  testing::buildSheetDatabase(db);
  const std::string in = dir.file("in.xlsm"), out = dir.file("out.xlsm");
  writeTemplate(in);
  fs::create_directory(dir.path() / "tmp");
  const std::string tmp = (dir.path() / "tmp").string();
  // No office suite on PATH, and no Calc listening where one would be looked for.
  const std::string env = "PATH=" + tmp + " DORVANE_CALC=pipe,name=dorvane-none ";
  EXPECT_EQ(runCli("'" + in + "' '" + dir.file("out.xlsx") + "' --db '" + db + "'", tmp).status, 2)
      << "a macro workbook stays one";
  CliRun r = runCli("'" + in + "' '" + out + "' --db '" + db + "'", tmp, env);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_empty(tmp));
  EXPECT_NE(testing::readPackage(out)["[Content_Types].xml"].inflated.find("macroEnabled.main+xml"),
            std::string::npos)
      << "the merged .xlsm is a macro workbook";

  // openpyxl sees the values and the notes.
  const std::string script =
      "import json, sys, openpyxl\n"
      "ws = openpyxl.load_workbook(sys.argv[1])['Data']\n"
      "print(json.dumps({c.coordinate: [str(c.value), c.comment.text if c.comment else '-']\n"
      "  for row in ws.iter_rows() for c in row if c.value is not None}))\n";
  std::ofstream(dir.file("read.py")) << script;
  auto py = testing::runCommand("/usr/bin/python3 '" + dir.file("read.py") + "' '" + out + "'");
  ASSERT_EQ(py.status, 0) << "Debian's python3-openpyxl is needed (scripts/setup installs it)";
  const auto seen = nlohmann::json::parse(py.out);
  for (const auto& [cell, expected] : kMerged) {
    if (cell == "B4") continue;  // openpyxl shows formulas, not results
    ASSERT_TRUE(seen.contains(cell)) << cell << " in " << py.out;
    const std::string value = seen[cell][0].get<std::string>();
    EXPECT_TRUE(value == expected.first || value == expected.first + ".0") << cell << ": " << value;
    EXPECT_EQ(seen[cell][1].get<std::string>(), expected.second) << cell;
  }
  EXPECT_EQ(seen["B4"][0].get<std::string>(), "=SUM(B2:B3)");

  // LibreOffice calculates the totals and keeps the notes hidden; the same
  // template merged through Calc gives the same sheet.
  if (auto why = testing::calcUnavailable()) GTEST_SKIP() << *why;
  const std::string viaCalc = dir.file("calc.xlsx");
  const std::string plain = dir.file("in.xlsx");
  fs::copy_file(in, plain);
  ASSERT_EQ(runCli("--office '" + plain + "' '" + viaCalc + "' --db '" + db + "'", tmp).status, 0);
  std::unique_ptr<CalcProcess> calc = CalcProcess::start();
  for (const std::string& file : {out, viaCalc}) {
    calc->load(file);
    auto ws = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
    for (const auto& [cell, expected] : kMerged) {
      auto at = sheet::ooxml::parseCellRef(cell);
      auto range = ws->Cells(at->first, at->second);
      EXPECT_EQ(text::toUtf8(toText(range->Value())), expected.first) << file << " " << cell;
      auto note = range->comment();
      EXPECT_EQ(note ? text::toUtf8(note->text()) : "-", expected.second) << file << " " << cell;
      if (note) {
        EXPECT_FALSE(note->visible()) << file << " " << cell;
      }
    }
    calc->closeDocument();
  }
  // The total on the other sheet: the same package with that sheet active.
  auto parts = testing::readPackage(out);
  testing::Parts other;
  for (auto& [name, entry] : parts) other[name] = entry.inflated;
  auto& wb = other["xl/workbook.xml"];
  wb.replace(wb.find("activeTab=\"0\""), 13, "activeTab=\"1\"");
  testing::writePackage(dir.file("other.xlsm"), other);
  calc->load(dir.file("other.xlsm"));
  auto sum = sheet::calc::attach(calc->address())->ActiveWorkbook()->ActiveSheet();
  EXPECT_EQ(toText(sum->Cells(1, 1)->Value()), u"446");
  calc->closeDocument();
}

}  // namespace
}  // namespace dorvane
