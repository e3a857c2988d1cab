// The native workbook backend on packages built part by part: what it reads,
// what it writes, and that everything else stays byte for byte.
#include "platform/sheet/ooxml/ooxml_workbook.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "platform/sheet/memory_sheet.h"
#include "platform/sheet/ooxml/ooxml_fixture.h"
#include "platform/sheet/ooxml/ooxml_formulas.h"
#include "platform/sheet/ooxml/ooxml_styles.h"
#include "platform/sheet/ooxml/ooxml_xml.h"
#include "platform/text/utf.h"
#include "support/error_of.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

using sheet::ooxml::WorkbookFile;
using testing::Parts;

const char kRows[] =
    "<row r=\"1\" spans=\"1:5\"><c r=\"A1\" t=\"s\"><v>0</v></c>"
    "<c r=\"B1\" t=\"inlineStr\"><is><r><t>in</t></r><r><t>line</t></r></is></c>"
    "<c r=\"C1\" t=\"b\"><v>1</v></c><c r=\"D1\" t=\"e\"><v>#DIV/0!</v></c>"
    "<c r=\"E1\" s=\"1\"><v>45292</v></c><c r=\"AA1\"><v>1.5</v></c></row>"
    "<row r=\"2\"><c r=\"A2\"><f>SUM(B2:B3)</f><v>7</v></c><c r=\"B2\"><v>3</v></c>"
    "<c r=\"C2\"><f t=\"shared\" ref=\"C2:C3\" si=\"0\">B2*2</f><v>6</v></c></row>"
    "<row r=\"3\"><c r=\"B3\"><v>4</v></c><c r=\"C3\"><f t=\"shared\" si=\"0\"/><v>8</v></c></row>"
    "<row r=\"5\"><c r=\"A5\" t=\"s\"><v>1</v></c><c r=\"B5\" t=\"s\"><v>2</v></c><c "
    "r=\"C5\"><f>1+1</f><v></v></c></row>"
    "<row r=\"7\"><c r=\"D7\"><f t=\"array\" ref=\"D7:E8\">B2:C3</f><v>3</v></c></row>"
    "<row r=\"1048576\"><c r=\"XFD1048576\" t=\"inlineStr\"><is><t>last</t></is></c></row>";
const char kStrings[] =
    "<si><t>plain</t></si><si><r><t>漢</t></r><r><t>字</t></r><rPh sb=\"0\" "
    "eb=\"2\"><t>カンジ</t></rPh></si>"
    "<si><t>a_x000D_b</t></si>";

std::shared_ptr<sheet::MemoryWorksheet> activeSheet(WorkbookFile& wb) {
  return std::dynamic_pointer_cast<sheet::MemoryWorksheet>(
      wb.application()->ActiveWorkbook()->ActiveSheet());
}

using testing::errorOf;

// The parts with their spreadsheet elements under the prefix "x:", as some
// writers put them ("<x:c r=...>").
Parts withPrefixedElements(Parts parts) {
  const std::string plain = std::string("xmlns=\"") + testing::kMain + "\"";
  for (auto& [name, xml] : parts) {
    const std::size_t declaration = xml.find(plain);
    if (declaration == std::string::npos) continue;
    xml.replace(declaration, plain.size(), std::string("xmlns:x=\"") + testing::kMain + "\"");
    std::string out;
    for (std::size_t i = 0; i < xml.size(); ++i) {
      out += xml[i];
      if (xml[i] != '<') continue;
      std::size_t at = i + 1 + (i + 1 < xml.size() && xml[i + 1] == '/');
      const std::size_t end = xml.find_first_of(" />", at);
      if (at < xml.size() && std::isalpha(static_cast<unsigned char>(xml[at])) &&
          xml.substr(at, end - at).find(':') == std::string::npos) {
        out += xml.substr(i + 1, at - i - 1) + "x:";
        i = at - 1;
      }
    }
    xml = out;
  }
  return parts;
}

void readEveryKindOfCell(const std::string& in);

TEST(OoxmlWorkbook, ReadsEveryKindOfCellAndSearchesFormulasAsText) {
  for (const bool prefixed : {false, true}) {
    SCOPED_TRACE(prefixed ? "elements under a prefix" : "elements in the default namespace");
    testing::TempDir dir;
    const std::string in = dir.file("in.xlsx");
    const Parts parts = testing::basicWorkbook(kRows, kStrings);
    testing::writePackage(in, prefixed ? withPrefixedElements(parts) : parts);
    readEveryKindOfCell(in);

    // A cell written among them reads back beside them.
    const std::string out = dir.file("out.xlsx");
    {
      auto wb = WorkbookFile::open(in);
      activeSheet(*wb)->Cells(4, 1)->setValue(Variant::date(45300.5));
      wb->save(out, out);
    }
    auto wb = WorkbookFile::open(out);
    EXPECT_EQ(activeSheet(*wb)->get(4, 1), Variant::date(45300.5));
    EXPECT_EQ(activeSheet(*wb)->get(5, 1), Variant::string(u"漢字"));
    const std::string sum = testing::readPackage(out)["xl/worksheets/sheet2.xml"].inflated;
    EXPECT_EQ(sum.find("v>"), std::string::npos) << "cached results are dropped: " << sum;
  }
}

void readEveryKindOfCell(const std::string& in) {
  auto wb = WorkbookFile::open(in);
  auto ws = activeSheet(*wb);
  struct Case {
    long row, column;
    Variant value;
  };
  for (const Case& c :
       {Case{1, 1, Variant::string(u"plain")}, Case{1, 2, Variant::string(u"inline")},
        Case{1, 3, Variant::boolean(true)}, Case{1, 4, Variant::string(u"#DIV/0!")},
        Case{1, 5, Variant::date(45292)}, Case{1, 27, Variant::dbl(1.5)},
        Case{2, 1, Variant::dbl(7)}, Case{3, 3, Variant::dbl(8)},
        Case{5, 1, Variant::string(u"漢字")}, Case{5, 2, Variant::string(u"a\rb")},
        Case{1048576, 16384, Variant::string(u"last")}, Case{4, 1, Variant()},
        Case{5, 3, Variant()}}) {
    EXPECT_EQ(ws->get(c.row, c.column), c.value) << c.row << "," << c.column;
  }
  EXPECT_EQ(ws->formulaAt(3, 3), u"=B3*2") << "a shared formula reads as it stands in its cell";
  struct Search {
    const char16_t* what;
    const char16_t* found;
  };
  for (const Search& s :
       {Search{u"sum(", u"$A$2"}, Search{u"B3*2", u"$C$3"}, Search{u"LAST", u"$XFD$1048576"},
        Search{u"7", nullptr}, Search{u"plain", u"$A$1"}}) {
    auto hit = ws->Cells()->Find(s.what);
    EXPECT_EQ(hit ? hit->Address() : u"none", s.found ? s.found : u"none") << text::toUtf8(s.what);
  }
}

TEST(OoxmlWorkbook, WritesValuesNotesAndFormulasAndCopiesEverythingElse) {
  testing::TempDir dir;
  const std::string in = dir.file("in.xlsm"), out = dir.file("out.xlsm");
  // What the sheet part holds besides its cells stays as it was.
  const std::string besides =
      "<mergeCells count=\"1\"><mergeCell ref=\"F5:G6\"/></mergeCells><conditionalFormatting "
      "sqref=\"B2:B9\"><cfRule type=\"cellIs\" priority=\"1\" "
      "operator=\"greaterThan\"><formula>5</formula>"
      "</cfRule></conditionalFormatting><dataValidations count=\"1\"><dataValidation type=\"list\" "
      "sqref=\"A9\"><formula1>\"a,b\"</formula1></dataValidation></dataValidations><pageSetup "
      "r:id=\"rId9\"/>";
  Parts parts = testing::basicWorkbook(kRows, kStrings);
  parts["xl/worksheets/sheet1.xml"] = testing::worksheetXml(kRows, besides);
  testing::writePackage(in, parts);
  {
    auto wb = WorkbookFile::open(in);
    auto ws = wb->application()->ActiveWorkbook()->ActiveSheet();
    ws->Cells(1, 1)->setValue(Variant::string(u"=1+1 <&> _x0041_"));
    ws->Cells(1, 2)->setValue(Variant::dbl(2.5));
    ws->Cells(1, 3)->setValue(Variant::boolean(false));
    ws->Cells(1, 5)->setValue(Variant::null());
    ws->Cells(1, 6)->setValue(Variant::integer(6));     // past the row's span hint
    ws->Cells(4, 2)->setValue(Variant::date(45300.5));  // a new row between rows 3 and 5
    ws->Cells(4, 1)->setValue(Variant::currencyScaled(12345));
    ws->Cells(2, 1)->setValue(Variant::longValue(10));      // over a formula
    ws->Cells(2, 3)->setValue(Variant::string(u"anchor"));  // over a shared formula's anchor
    EXPECT_EQ(errorOf([&] { ws->Cells(8, 5)->setValue(Variant::dbl(1)); }),
              err::kSheetOperationFailed);
    auto note = ws->Cells(4, 2)->AddComment();
    note->setText(u"単価");
    note->setVisible(false);
    EXPECT_EQ(errorOf([&] { ws->Cells(4, 2)->AddComment(); }), err::kSheetOperationFailed);
    ws->Cells(4, 2)->Activate();
    wb->save(out, out);
  }
  auto wb = WorkbookFile::open(out);
  auto ws = activeSheet(*wb);
  struct Case {
    long row, column;
    Variant value;
  };
  for (const Case& c :
       {Case{1, 1, Variant::string(u"=1+1 <&> _x0041_")}, Case{1, 2, Variant::dbl(2.5)},
        Case{1, 3, Variant::boolean(false)}, Case{1, 5, Variant()}, Case{1, 6, Variant::dbl(6)},
        Case{4, 2, Variant::date(45300.5)}, Case{4, 1, Variant::dbl(1.2345)},
        Case{2, 1, Variant::dbl(10)}, Case{2, 3, Variant::string(u"anchor")},
        Case{5, 1, Variant::string(u"漢字")}}) {
    EXPECT_EQ(ws->get(c.row, c.column), c.value) << c.row << "," << c.column;
  }
  EXPECT_EQ(ws->formulaAt(2, 1), u"");
  EXPECT_EQ(ws->formulaAt(3, 3), u"=B3*2") << "the shared formula's other cell keeps its formula";
  ASSERT_TRUE(ws->commentAt(4, 2));
  EXPECT_EQ(ws->commentAt(4, 2)->text(), u"単価");
  EXPECT_FALSE(ws->commentAt(4, 2)->visible());
  EXPECT_EQ(ws->activeCell(), (std::pair<long, long>{4, 2}));

  const auto before = testing::readPackage(in), after = testing::readPackage(out);
  const std::set<std::string> changed = {"[Content_Types].xml",        "xl/workbook.xml",
                                         "xl/_rels/workbook.xml.rels", "xl/worksheets/sheet1.xml",
                                         "xl/worksheets/sheet2.xml",   "xl/styles.xml"};
  const std::set<std::string> added = {"xl/comments1.xml", "xl/drawings/vmlDrawing1.vml",
                                       "xl/worksheets/_rels/sheet1.xml.rels"};
  for (const auto& [name, entry] : before) {
    if (name == "xl/calcChain.xml") {
      EXPECT_FALSE(after.count(name)) << "a written formula cell drops the calculation chain";
    } else if (!changed.count(name)) {
      ASSERT_TRUE(after.count(name)) << name;
      EXPECT_EQ(after.at(name).stored, entry.stored) << name << " keeps its compressed bytes";
    }
  }
  for (const auto& [name, entry] : after) {
    EXPECT_TRUE(before.count(name) || added.count(name)) << "unexpected new part " << name;
  }
  const std::string& sum = after.at("xl/worksheets/sheet2.xml").inflated;
  EXPECT_NE(sum.find("<f>SUM(Data!B2:B3)</f>"), std::string::npos) << sum;
  EXPECT_NE(sum.find("<f>Data!A1&amp;\"x\"</f>"), std::string::npos) << sum;
  EXPECT_EQ(sum.find("<v>"), std::string::npos) << "cached results are dropped: " << sum;
  EXPECT_NE(after.at("xl/workbook.xml").inflated.find("fullCalcOnLoad=\"1\""), std::string::npos);
  EXPECT_EQ(after.at("xl/_rels/workbook.xml.rels").inflated.find("calcChain"), std::string::npos);
  EXPECT_EQ(after.at("[Content_Types].xml").inflated.find("calcChain"), std::string::npos);
  EXPECT_NE(after.at("[Content_Types].xml").inflated.find("macroEnabled.main+xml"),
            std::string::npos)
      << "an .xlsm result is a macro workbook";
  const std::string& data = after.at("xl/worksheets/sheet1.xml").inflated;
  std::size_t last = 0;
  for (const char* row : {"<row r=\"1\"", "<row r=\"2\"", "<row r=\"3\"", "<row r=\"4\"",
                          "<row r=\"5\"", "<row r=\"7\"", "<row r=\"1048576\""}) {
    const std::size_t at = data.find(row);
    ASSERT_NE(at, std::string::npos) << row;
    EXPECT_GT(at, last) << row << " keeps the rows in order";
    last = at;
  }
  EXPECT_NE(data.find("<dimension ref=\"A1:XFD1048576\"/>"), std::string::npos) << data;
  EXPECT_NE(data.find(besides + "<legacyDrawing r:id="), std::string::npos) << data;
  EXPECT_EQ(data.find("spans=\"1:5\""), std::string::npos) << "a row's stale span hint goes";
}

TEST(OoxmlWorkbook, ADateWrittenIntoAWorkbookWithoutStylesShowsAsADate) {
  testing::TempDir dir;
  const std::string in = dir.file("in.xlsx"), out = dir.file("out.xlsx");
  Parts parts = testing::basicWorkbook(kRows, kStrings);
  auto cut = [](std::string& xml, const std::string& from, const std::string& to) {
    const std::size_t a = xml.find(from), b = xml.find(to, a);
    ASSERT_NE(b, std::string::npos) << from;
    xml.erase(a, b + to.size() - a);
  };
  parts.erase("xl/styles.xml");
  cut(parts["xl/_rels/workbook.xml.rels"], "<Relationship Id=\"rId3\"", "/>");
  cut(parts["[Content_Types].xml"], "<Override PartName=\"/xl/styles.xml\"", "/>");
  testing::writePackage(in, parts);
  {
    auto wb = WorkbookFile::open(in);
    EXPECT_EQ(activeSheet(*wb)->get(1, 5), Variant::dbl(45292)) << "no styles: no dates";
    wb->application()->ActiveWorkbook()->ActiveSheet()->Cells(4, 2)->setValue(
        Variant::date(45300.5));
    wb->save(out, out);
  }
  auto wb = WorkbookFile::open(out);
  EXPECT_EQ(activeSheet(*wb)->get(4, 2), Variant::date(45300.5));
  const auto after = testing::readPackage(out);
  ASSERT_TRUE(after.count("xl/styles.xml"));
  EXPECT_NE(after.at("[Content_Types].xml").inflated.find("/xl/styles.xml"), std::string::npos);
}

TEST(OoxmlWorkbook, AddsNotesBesideTheOnesASheetHas) {
  testing::TempDir dir;
  const std::string in = dir.file("in.xlsx"), out = dir.file("out.xlsx");
  Parts parts = testing::basicWorkbook(kRows, kStrings);
  parts["xl/worksheets/sheet1.xml"] =
      testing::worksheetXml(kRows, "<legacyDrawing r:id=\"rId2\"/>");
  parts["xl/worksheets/_rels/sheet1.xml.rels"] =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments\" "
      "Target=\"../comments7.xml\"/><Relationship Id=\"rId2\" "
      "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/vmlDrawing\" "
      "Target=\"../drawings/vmlDrawing3.vml\"/><Relationship Id=\"rId3\" "
      "Type=\"http://schemas.microsoft.com/office/2017/10/relationships/threadedComment\" "
      "Target=\"../threadedComments/threadedComment1.xml\"/></Relationships>";
  parts["xl/threadedComments/threadedComment1.xml"] =
      "<ThreadedComments "
      "xmlns=\"http://schemas.microsoft.com/office/spreadsheetml/2018/threadedcomments\">"
      "<threadedComment ref=\"C2\" "
      "id=\"{1}\"><text>thread</text></threadedComment></ThreadedComments>";
  parts["xl/comments7.xml"] =
      std::string("<comments xmlns=\"") + testing::kMain +
      "\"><authors><author>me</author></authors><commentList><comment ref=\"B2\" "
      "authorId=\"0\"><text><r><t>old</t></r></text></comment></commentList></comments>";
  const std::string vml =
      "<xml xmlns:v=\"urn:schemas-microsoft-com:vml\" "
      "xmlns:x=\"urn:schemas-microsoft-com:office:excel\">"
      "<v:shape id=\"_x0000_s2049\"><x:ClientData "
      "ObjectType=\"Note\"><x:Row>1</x:Row><x:Column>1</x:Column>"
      "<x:Visible/></x:ClientData></v:shape></xml>";
  parts["xl/drawings/vmlDrawing3.vml"] = vml;
  std::string& types = parts["[Content_Types].xml"];
  types.insert(
      types.find("</Types>"),
      "<Default Extension=\"vml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.vmlDrawing\"/>"
      "<Override PartName=\"/xl/comments7.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml\"/>");
  testing::writePackage(in, parts);
  {
    auto wb = WorkbookFile::open(in);
    auto ws = wb->application()->ActiveWorkbook()->ActiveSheet();
    ASSERT_TRUE(ws->Cells(2, 2)->comment());
    EXPECT_TRUE(ws->Cells(2, 2)->comment()->visible());
    EXPECT_EQ(errorOf([&] { ws->Cells(2, 2)->AddComment(); }), err::kSheetOperationFailed);
    EXPECT_EQ(errorOf([&] { ws->Cells(2, 3)->AddComment(); }), err::kSheetOperationFailed)
        << "a threaded comment is a note too";
    auto note = ws->Cells(3, 2)->AddComment();
    note->setText(u"new");
    note->setVisible(false);
    wb->save(out, out);
  }
  auto wb = WorkbookFile::open(out);
  auto ws = activeSheet(*wb);
  ASSERT_TRUE(ws->commentAt(2, 2) && ws->commentAt(3, 2));
  EXPECT_EQ(ws->commentAt(2, 2)->text(), u"old");
  EXPECT_EQ(ws->commentAt(3, 2)->text(), u"new");
  EXPECT_FALSE(ws->commentAt(3, 2)->visible());
  const auto after = testing::readPackage(out);
  EXPECT_EQ(after.count("xl/comments1.xml"), 0u) << "no second comments part";
  const auto before = testing::readPackage(in);
  for (const char* same :
       {"[Content_Types].xml", "xl/workbook.xml", "xl/_rels/workbook.xml.rels"}) {
    EXPECT_EQ(after.at(same).stored, before.at(same).stored) << same << " needs no change";
  }
  const std::string& drawing = after.at("xl/drawings/vmlDrawing3.vml").inflated;
  EXPECT_EQ(drawing.substr(0, vml.size() - 6), vml.substr(0, vml.size() - 6))
      << "the old boxes stay as they were";
  EXPECT_NE(drawing.find("_x0000_s2050"), std::string::npos) << drawing;
}

// Inputs the workbook fuzz target failed on: each is refused with a clear
// error before anything is written, or keeps the text and the note written
// into it when opened again.
TEST(OoxmlWorkbook, FuzzFindingsAreRefusedOrKeepWhatIsWritten) {
  const std::string findings = "../shared/fuzz-findings/workbook/";
  if (!std::filesystem::is_directory(findings)) GTEST_SKIP() << findings << " is missing";
  testing::TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      // libzip's name of the entry outlived the archive (ASan saw it)
      {"use-after-free-encrypted-entry", "its entry _rels/.rels is encrypted"},
      // a comments relationship pointing at ".."; a comments part that is the drawing too
      {"note-lost-bad-comments-target", "a note cannot be added"},
      {"note-lost-comments-wrong-namespace", "a note cannot be added"},
  };
  for (const auto& [name, refusal] : cases) {
    std::ifstream input(findings + name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(input)), {});
    const std::string in = dir.file(std::string(name) + ".xlsx"), out = dir.file("out.xlsx");
    std::filesystem::remove(out);
    testing::writeFuzzInput(in, bytes);
    std::string why;
    try {
      auto wb = WorkbookFile::open(in);
      auto ws = wb->application()->ActiveWorkbook()->ActiveSheet();
      ws->Cells(2, 2)->setValue(Variant::string(u"written"));
      ws->Cells(4, 4)->AddComment()->setText(u"note");
      wb->save(out, out);
      auto again = WorkbookFile::open(out);
      auto back = activeSheet(*again);
      EXPECT_EQ(back->get(2, 2), Variant::string(u"written")) << name;
      EXPECT_TRUE(back->commentAt(4, 4) && back->commentAt(4, 4)->text() == u"note") << name;
    } catch (const RuntimeError& e) {
      why = e.what();
      EXPECT_EQ(e.number(), err::kFileAccess) << name << ": " << why;
      EXPECT_FALSE(std::filesystem::exists(out)) << name << ": refused after writing";
    }
    EXPECT_NE(why.find(refusal), std::string::npos) << name << ": " << why;
  }
}

// A package whose local headers disagree with its central directory (made by
// a real writer: sizes left out, a data descriptor flagged) is read by the
// directory and written back consistent, the untouched entries as they were;
// a CRC that does not match the data is still refused.
TEST(OoxmlWorkbook, APackageWithInconsistentLocalHeadersIsReadByItsDirectory) {
  const std::string sample = "../shared/corpora/workbooks-poi/64667.xlsx";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << sample << " is missing";
  testing::TempDir dir;
  const std::string out = dir.file("out.xlsx");
  {
    auto wb = WorkbookFile::open(sample);
    auto ws = wb->application()->ActiveWorkbook()->ActiveSheet();
    EXPECT_TRUE(ws->Cells()->Find(u"Document number"));  // the shared strings read
    ws->Cells(9, 2)->setValue(Variant::dbl(42));
    wb->save(out, out);
  }
  const std::string unchanged = dir.file("unchanged.xlsx");
  WorkbookFile::open(sample)->save(unchanged, unchanged);  // nothing written
  for (const std::string& result : {out, unchanged}) {
    int error = 0;
    zip_t* checked = zip_open(result.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    EXPECT_NE(checked, nullptr) << result << ": headers that disagree with the directory";
    if (checked) zip_discard(checked);
  }
  EXPECT_EQ(activeSheet(*WorkbookFile::open(out))->get(9, 2), Variant::dbl(42));
  const auto before = testing::readPackage(sample), after = testing::readPackage(out);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [name, entry] : before) {
    if (name == "xl/worksheets/sheet1.xml" || name == "xl/workbook.xml") continue;
    EXPECT_EQ(after.at(name).stored, entry.stored) << name << " was not touched";
  }

  // The central directory's CRC of the shared strings no longer matches them.
  std::ifstream input(sample, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(input)), {});
  const std::string part = "xl/sharedStrings.xml";
  const std::size_t central = bytes.rfind(part);  // the name in the directory entry
  ASSERT_NE(central, std::string::npos);
  bytes[central - 30] = static_cast<char>(bytes[central - 30] ^ 0x5A);  // its CRC-32
  const std::string bad = dir.file("bad-crc.xlsx");
  std::ofstream(bad, std::ios::binary) << bytes;
  try {
    WorkbookFile::open(bad);
    ADD_FAILURE() << "a CRC error went unnoticed";
  } catch (const RuntimeError& e) {
    EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
  }
}

TEST(OoxmlWorkbook, RefusesBadPackagesNamingTheFileAndTheCause) {
  testing::TempDir dir;
  const Parts good = testing::basicWorkbook(kRows, kStrings);
  auto with = [&](const std::string& part, const std::string& xml) {
    Parts p = good;
    p[part] = xml;
    return p;
  };
  std::string bomb(80u << 20, '\0');
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    int number;
    const char* cause;
  };
  const std::vector<Case> cases = {
      {"truncated",
       [&](const std::string& path) {
         testing::writePackage(path, good);
         std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
       },
       err::kFileAccess, "zip"},
      {"encrypted",
       [](const std::string& path) {
         std::ofstream(path, std::ios::binary)
             << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) << std::string(504, '\0');
       },
       err::kFileAccess, "encrypted"},
      {"doctype",
       [&](const std::string& path) {
         testing::writePackage(path,
                               with("xl/sharedStrings.xml",
                                    "<!DOCTYPE sst [<!ENTITY a \"aaaaaaaa\">]><sst>&a;</sst>"));
       },
       err::kFileAccess, "DOCTYPE"},
      {"no sheets",
       [&](const std::string& path) {
         testing::writePackage(path, with("xl/workbook.xml", std::string("<workbook xmlns=\"") +
                                                                 testing::kMain + "\"/>"));
       },
       err::kFileAccess, "no sheets"},
      {"chart sheet active",
       [&](const std::string& path) {
         Parts p = good;
         const std::string from = "activeTab=\"0\"";
         p["xl/workbook.xml"].replace(p["xl/workbook.xml"].find(from), from.size(),
                                      "activeTab=\"2\"");
         testing::writePackage(path, p);
       },
       err::kTypeMismatch, "a chart sheet"},
      {"cell off the sheet",
       [&](const std::string& path) {
         testing::writePackage(
             path, with("xl/worksheets/sheet1.xml",
                        testing::worksheetXml("<row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row>")));
       },
       err::kFileAccess, "off the sheet"},
      {"row off the sheet",
       [&](const std::string& path) {
         testing::writePackage(
             path, with("xl/worksheets/sheet1.xml",
                        testing::worksheetXml("<row r=\"1048577\"><c><v>1</v></c></row>")));
       },
       err::kFileAccess, "off the sheet"},
      {"two entries of one name",  // only the central directory says so
       [&](const std::string& path) {
         Parts p = good;
         p["xl/media/x1.bin"] = "1";
         p["xl/media/x2.bin"] = "2";
         testing::writePackage(path, p);
         std::ifstream input(path, std::ios::binary);
         std::string bytes((std::istreambuf_iterator<char>(input)), {});
         bytes[bytes.rfind("xl/media/x2.bin") + 10] = '1';
         std::ofstream(path, std::ios::binary) << bytes;
       },
       err::kFileAccess, "two entries are named xl/media/x1.bin"},
      {"zip bomb",
       [&](const std::string& path) {
         testing::writePackage(path, with("xl/sharedStrings.xml", bomb));
       },
       err::kFileAccess, "zip bomb"},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(std::string(c.name) + ".xlsx");
    c.make(path);
    try {
      WorkbookFile::open(path);
      ADD_FAILURE() << c.name << " was opened";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), c.number) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << c.name << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.cause), std::string::npos)
          << c.name << ": " << e.what();
    }
  }
}

}  // namespace
}  // namespace dorvane

namespace dorvane {
namespace {

TEST(OoxmlFormulas, SharedFormulaTextMovesItsRelativeReferencesOnly) {
  struct Case {
    const char* formula;
    long rows, columns;
    const char* moved;
  };
  for (const Case& c : {
           Case{"B2*2", 1, 0, "B3*2"},
           Case{"SUM($A$1:A1)+A$1+$A1", 2, 1, "SUM($A$1:B3)+B$1+$A3"},
           Case{"Sheet2!C3&\"A1\"&'My Sheet'!D4", 1, 1, "Sheet2!D4&\"A1\"&'My Sheet'!E5"},
           Case{"SUM(B:B)+SUM(2:3)+LOG10(A1)", 1, 1, "SUM(C:C)+SUM(3:4)+LOG10(B2)"},
           Case{"Table1[[#This Row],[A1]]+TRUE+1.5E3", 5, 5, "Table1[[#This Row],[A1]]+TRUE+1.5E3"},
           Case{"A1+XFD1", 0, 1, "B1+#REF!"},
       }) {
    EXPECT_EQ(sheet::ooxml::shiftFormula(c.formula, c.rows, c.columns), c.moved) << c.formula;
  }
}

TEST(OoxmlXml, SpreadsheetElementsLoseTheirPrefixWhereThatIsSafe) {
  const std::string main = std::string("xmlns:x=\"") + testing::kMain + "\"";
  const std::pair<std::string, std::string> cases[] = {
      // input → the names after parsing, in document order
      {"<x:worksheet " + main + "><x:sheetData/><x:.odd/></x:worksheet>",
       "worksheet sheetData x:.odd"},
      {"<x:worksheet " + main + "><x:sheetData xmlns=\"urn:other\"/></x:worksheet>",
       "x:worksheet x:sheetData"},
      {"<a:theme "
       "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"><a:x/></a:theme>",
       "a:theme a:x"},
  };
  for (const auto& [xml, names] : cases) {
    pugi::xml_document doc;
    sheet::ooxml::parseXml(doc, xml, "part", "book");
    std::string seen;
    for (const pugi::xpath_node& n : doc.select_nodes("//*"))
      seen += (seen.empty() ? "" : " ") + std::string(n.node().name());
    EXPECT_EQ(seen, names) << xml;
    pugi::xml_document again;
    sheet::ooxml::parseXml(again, sheet::ooxml::saveXml(doc), "part", "book");  // still well-formed
  }
}

TEST(OoxmlStyles, DateFormatCodes) {
  for (const char* code :
       {"yyyy/mm/dd", "[$-411]ggge\"年\"m\"月\"d\"日\"", "h:mm", "[h]:mm:ss", "d-mmm"}) {
    EXPECT_TRUE(sheet::ooxml::isDateFormatCode(code)) << code;
  }
  for (const char* code : {"General", "0.00E+00", "#,##0\"days\"", "[Red]0.0", "0;\"d\"", "\\d0"}) {
    EXPECT_FALSE(sheet::ooxml::isDateFormatCode(code)) << code;
  }
}

}  // namespace
}  // namespace dorvane
