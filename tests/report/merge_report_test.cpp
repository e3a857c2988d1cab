// The merge report: the data it carries for page and worksheet merges, read
// back by parsing the HTML (it is also well-formed XML), and its safety.
#include <dorvane/ctl_message.h>
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "page/page_fixture.h"
#include "report/html_text.h"
#include "report/report_html.h"
#include "worksheet/sheet_harness.h"

namespace dorvane {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::u16string u(const std::string& s) { return text::fromUtf8(s); }

// The report parsed; fails the test when it is not well-formed.
struct Parsed {
  explicit Parsed(const std::string& html) {
    auto r = doc.load_buffer(html.data(), html.size(), pugi::parse_default | pugi::parse_doctype);
    EXPECT_TRUE(r) << r.description() << " at " << r.offset;
  }
  pugi::xpath_node_set all(const char* xpath) const { return doc.select_nodes(xpath); }
  pugi::xml_node one(const std::string& xpath) const {
    return doc.select_node(xpath.c_str()).node();
  }
  // The whole text of the first node at xpath, markup inside it left out.
  std::string str(const std::string& xpath) const {
    return pugi::xpath_query(("string(" + xpath + ")").c_str()).evaluate_string(doc);
  }
  // Run, key, outcome and value written of every placeholder row.
  std::vector<std::string> rows() const {
    std::vector<std::string> out;
    for (auto n : all("//table[@id='occurrences']/tbody/tr")) {
      std::string value = n.node().select_node("td[@class='value']/code").node().text().get();
      out.push_back(std::string(n.node().child("td").next_sibling("td").text().get()) + " " +
                    n.node().select_node("td/code").node().text().get() + " " +
                    n.node().attribute("data-verdict").value() + " " + value);
    }
    return out;
  }
  pugi::xml_document doc;
};

class PageReport : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.file("kiv.sqlite");
    testing::buildPageDatabase(db_);
    control_.setMessageBox(std::make_shared<RecordingMessageBox>());
    control_.setObserver(&recorder_);
  }
  // Merges pageBytes against the primary database (and secondary) and renders the report.
  std::string merge(const std::string& pageBytes, const std::string& secondary = "") {
    writeBytes(dir_.file("page.htm"), pageBytes);
    control_.ocxwebKiv(u(dir_.file("page.htm")), u(dir_.file("out.htm")), u(db_), u(secondary));
    return report::renderReport({u("page.htm"), u("out.htm"), 0.5}, recorder_.record(),
                                report::PageDocument{control_.get_text()});
  }

  TempDir dir_;
  std::string db_;
  report::RecordingObserver recorder_;
  ctlMessage control_;
};

TEST_F(PageReport, CarriesEveryPlaceholderOfEveryRunWithItsOutcomeAndMarks) {
  // Run 2 writes "!!b"'s value before the placeholder "!!a" that run 1 met,
  // so "!!a"'s marks must be carried through that later write.
  const std::string html = merge(
      "<p>!!b,A01; gethere</p>\n<p>!!a,A01; gethere</p>\n<p>!!nokey,A01; gethere</p>\n"
      "<p>!!x,A01; gethere</p>\n<p>!!u,A01; gethere</p>\n");
  Parsed p(html);
  EXPECT_EQ(p.rows(),
            (std::vector<std::string>{
                "1 !!b other-pass ", "1 !!a written 200", "1 !!nokey key-missing ",
                "1 !!x unwritten ", "1 !!u error ", "2 !!b written 200", "2 !!a other-pass ",
                "2 !!nokey key-missing ", "2 !!x other-pass ", "2 !!u other-pass "}));

  // Summary: counts per outcome over all runs, and run 1's first error.
  std::vector<std::string> totals;
  for (auto td : p.all("//table[@id='runs']//tr[@class='total']/td[@class='num']"))
    totals.push_back(td.node().text().get());
  EXPECT_EQ(totals, (std::vector<std::string>{"2", "4", "2", "1", "1"}));
  const std::string firstError =
      p.one("//table[@id='runs']/tbody/tr[1]/td[@class='reason']").child_value();
  EXPECT_NE(firstError.find("error 11"), std::string::npos) << firstError;
  EXPECT_EQ(p.one("//table[@id='runs']/tbody/tr[2]/td[@class='reason']").first_child(),
            pugi::xml_node());

  // Why, in words, for what was not written.
  EXPECT_NE(p.str("//tr[@id='o-4']/td[@class='reason']").find("'適当'"), std::string::npos);
  EXPECT_NE(p.str("//tr[@id='o-1']/td[@class='reason']").find("pass 2"), std::string::npos);

  // Marks and links both ways: "!!a" of run 1 sits on line 2, column 4 of the
  // result, and its value mark holds the written text.
  const pugi::xml_node where = p.one("//tr[@id='o-2']/td[@class='where']/a");
  EXPECT_STREQ(where.text().get(), "2:4");
  const std::string markId = std::string(where.attribute("href").value()).substr(1);
  const pugi::xml_node mark = p.one("//pre//a[@id='" + markId + "']");
  EXPECT_STREQ(mark.text().get(), "!!a,A01;");
  EXPECT_STREQ(mark.attribute("href").value(), "#o-2");
  const pugi::xml_node valueLink = p.one("//tr[@id='o-2']/td[@class='value']//a");
  EXPECT_STREQ(valueLink.text().get(), "2:13");
  const pugi::xml_node value =
      p.one("//pre//a[@id='" + std::string(valueLink.attribute("href").value()).substr(1) + "']");
  EXPECT_STREQ(value.text().get(), "200");
  // Every placeholder has one mark, coloured by its deciding outcome.
  std::vector<std::string> marks;
  for (auto a : p.all("//pre//a[contains(@class,'ph')]"))
    marks.push_back(std::string(a.node().text().get()) + " " + a.node().attribute("class").value());
  EXPECT_EQ(marks, (std::vector<std::string>{
                       "!!b,A01; mark ph v-written", "!!a,A01; mark ph v-written",
                       "!!nokey,A01; mark ph v-key-missing", "!!x,A01; mark ph v-other-pass",
                       "!!u,A01; mark ph v-other-pass"}));
  // The SQL text of "!!a" and the records it summed.
  EXPECT_NE(p.str("//tr[@id='o-2']//ol[@class='sql']/li").find("→ 2 records"), std::string::npos);
}

TEST_F(PageReport, TemplateAndDatabaseTextAppearsAsTextNeverAsMarkup) {
  const std::string evil = dir_.file("evil.sqlite");
  testing::buildDatabase(evil, std::string(testing::referenceTableSchema()) + R"sql(
CREATE TABLE t (code TEXT, v TEXT);
INSERT INTO t VALUES ('A01', '<script>alert("db")</script> & ''co''');
INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF",
  ﾃｰﾌﾞﾙ名, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES
  ('!!s', 1, 'code', ')sql" + evil +
                                   R"sql(', 'v', 'テキスト', 'table', 't', 1, NULL, 0);
)sql");
  db_ = evil;
  // A key with markup and a key value with a byte code page 932 does not
  // define (0x80); the secondary "database" is a connect string with a password.
  const std::string html =
      merge("!!s,A01; gethere <b>!!<script>\"&,\x80; gethere</b>", "ODBC;DSN=x;PWD=hunter2;UID=u");
  Parsed p(html);
  EXPECT_EQ(p.all("//script").size(), 1u);  // only the report's own
  EXPECT_EQ(html.find("hunter2"), std::string::npos);
  EXPECT_NE(html.find("PWD=****"), std::string::npos);

  const std::string source = p.str("//pre");
  EXPECT_NE(source.find("<script>alert(\"db\")</script> & 'co'"), std::string::npos) << source;
  EXPECT_NE(source.find("<b>!!<script>\"&,\\x80; gethere</b>"), std::string::npos) << source;
  EXPECT_STREQ(p.one("//pre//span[@class='raw']").text().get(), "\\x80");
  EXPECT_STREQ(p.one("//tr[@id='o-2']").attribute("data-key").value(), "!!<script>\"&");
  EXPECT_STREQ(p.one("//tr[@id='o-2']").attribute("data-verdict").value(), "key-missing");
}

TEST(PasswordMask, HidesEveryPasswordValue) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ODBC;DSN=a;PWD=secret;UID=u", "ODBC;DSN=a;PWD=****;UID=u"},
      {"dsn=a;pwd={x;y}z;Password=abc", "dsn=a;pwd=****z;Password=****"},
      {"/data/kiv.sqlite", "/data/kiv.sqlite"},
      {"PWD=", "PWD=****"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(report::maskPasswords(in), out) << in;
}

TEST(SheetReport, MarksWrittenCellsNotesAndDetailBlocks) {
  testing::SheetDatabase db;
  testing::RunningSheet running;
  auto& ws = running.ws();
  ws.set(1, 1, Variant::string(u"!!price,A01;"));
  ws.set(2, 1, Variant::string(u"!!name,A02;"));
  ws.set(3, 1, Variant::string(u"!!nokey,A01;"));
  ws.set(1, 3, Variant::string(u"&&orders,A01"));
  report::RecordingObserver recorder;
  ctlMessage control;
  control.setMessageBox(std::make_shared<RecordingMessageBox>());
  control.setObserver(&recorder);
  control.ocxKiv(db.path16(), u"");
  const report::MergeRecord& record = recorder.record();
  const std::string html = report::renderReport({u"in.xlsx", u"out.xlsx", 0.1}, record,
                                                report::readSheetGrid(ws, record));
  Parsed p(html);

  // The search visits A1 last; pass 2 no longer finds the cells pass 1 filled.
  EXPECT_EQ(p.rows(), (std::vector<std::string>{
                          "1 !!name other-pass ", "1 !!nokey key-missing ", "1 !!price written 200",
                          "1 &&orders written (block of 2 rows)", "2 !!name written note",
                          "2 !!nokey key-missing "}));
  struct Cell {
    int row, column;
    const char* shown;
    const char* cls;
  };
  const std::vector<Cell> cells = {
      {1, 1, "200単価", "v-written"},
      {2, 1, "note品名", "v-written"},
      {3, 1, "!!nokey,A01;", "v-key-missing"},
  };
  for (const auto& c : cells) {
    const auto td =
        p.one("//td[@id='c-" + std::to_string(c.row) + "-" + std::to_string(c.column) + "']");
    EXPECT_EQ(p.str("//td[@id='c-" + std::to_string(c.row) + "-" + std::to_string(c.column) + "']"),
              c.shown);
    EXPECT_STREQ(td.attribute("class").value(), c.cls) << c.row << "," << c.column;
  }
  // The block's outline: its corners carry the sides, the cell below it none.
  ASSERT_EQ(record.blocks.size(), 1u);
  const report::Block& b = record.blocks[0];
  auto classOf = [&](long r, long c) {
    return std::string(p.one("//td[@id='c-" + std::to_string(r) + "-" + std::to_string(c) + "']")
                           .attribute("class")
                           .value());
  };
  EXPECT_EQ(b.bottom - b.top, 1);
  EXPECT_NE(classOf(b.top, b.left).find("blk-t blk-l"), std::string::npos);
  EXPECT_NE(classOf(b.bottom, b.right).find("blk-b blk-r"), std::string::npos);
  EXPECT_EQ(classOf(b.bottom + 1, b.left).find("blk"), std::string::npos);
}

}  // namespace
}  // namespace dorvane
