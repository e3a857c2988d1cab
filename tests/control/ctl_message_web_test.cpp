// ocxwebKiv end to end: page file in, result file out, four runs over a
// primary and a secondary reference database.
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "page/page_fixture.h"
#include "platform/text/utf.h"

namespace dorvane {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

using testing::readBytes;
using testing::writeBytes;

std::u16string u(const std::string& s) { return text::fromUtf8(s); }

// Hears the runs and the failures.
class Runs : public MergeObserver {
 public:
  void passStarted(const std::u16string& path, int wkcycle) override {
    runs.push_back(text::toUtf8(path) + " " + std::to_string(wkcycle));
  }
  void failed(std::string_view step, int number, std::string_view) override {
    failures.push_back(std::string(step) + " " + std::to_string(number));
  }
  std::vector<std::string> runs, failures;
};

class NoApplication : public sheet::Application {
 public:
  std::shared_ptr<sheet::Workbook> ActiveWorkbook() override { return nullptr; }
};

class OcxwebKiv : public ::testing::Test {
 protected:
  void SetUp() override {
    primary_ = dir_.file("kiv.sqlite");
    testing::buildPageDatabase(primary_);
    secondary_ = dir_.file("kiv2.sqlite");
    std::string sql = testing::referenceTableSchema();
    sql += R"sql(
CREATE TABLE stock (code TEXT, qty INTEGER, label TEXT);
INSERT INTO stock VALUES ('A01', 7, 'seven'), ('A02', 9, NULL);
INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF",
  ﾃｰﾌﾞﾙ名, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES
  ('!!a', 1, 'code', '@DB@', 'qty', '数値', 'table', 'stock', 1, '四捨五入', 0),
  ('!!s', 0, 'code', '@DB@', 'label', 'テキスト', 'table', 'stock', 1, NULL, 0);
)sql";
    for (size_t p; (p = sql.find("@DB@")) != std::string::npos;) sql.replace(p, 4, secondary_);
    testing::buildDatabase(secondary_, sql);
    box_ = std::make_shared<RecordingMessageBox>();
    control_.setMessageBox(box_);
    control_.setObserver(&runs_);
  }

  // Writes page (UTF-8 text, saved in code page 932 bytes as given) and merges it.
  std::string merge(const std::string& pageBytes, const std::string& secondary = "") {
    writeBytes(dir_.file("page.htm"), pageBytes);
    Variant result = control_.ocxwebKiv(u(dir_.file("page.htm")), u(dir_.file("out.htm")),
                                        u(primary_), u(secondary));
    EXPECT_TRUE(result.isEmpty());
    return readBytes(dir_.file("out.htm"));
  }

  TempDir dir_;
  std::string primary_, secondary_;
  std::shared_ptr<RecordingMessageBox> box_;
  Runs runs_;
  ctlMessage control_;
};

TEST(CtlMessage, StartsEmpty) {
  ctlMessage c;
  EXPECT_EQ(c.get_c(), nullptr);
  EXPECT_EQ(c.get_kivdbtbl(), nullptr);
  EXPECT_EQ(c.get_kivdbdetail(), nullptr);
  EXPECT_EQ(c.get_objExcel(), nullptr);
  EXPECT_EQ(c.get_objWorkbook(), nullptr);
  EXPECT_EQ(c.get_objWorksheet(), nullptr);
  EXPECT_EQ(c.get_kivdb(), nullptr);
  EXPECT_EQ(c.get_DB(), nullptr);
  EXPECT_EQ(c.get_kivrs(), nullptr);
  EXPECT_EQ(c.get_kivrs2(), nullptr);
  EXPECT_EQ(c.get_rs(), nullptr);
  EXPECT_EQ(c.get_wkcycle(), 0);
  EXPECT_EQ(c.get_text(), u"");
  EXPECT_EQ(c.get_HitStr(), 0);
  EXPECT_EQ(c.get_textWeb(), u"");
  EXPECT_EQ(c.get_textWebbefore(), u"");
  EXPECT_EQ(c.codePage(), 932);
  EXPECT_TRUE(c.failures().empty());
}

TEST_F(OcxwebKiv, RunsInTheFixedOrder) {
  struct Case {
    const char* name;
    std::string secondary;
    std::vector<std::string> runs;
  };
  const std::string p = primary_, s = secondary_;
  const Case cases[] = {
      {"primary only", "", {p + " 1", p + " 2"}},
      {"with a secondary", s, {p + " 1", s + " 1", p + " 2", s + " 2"}},
      {"the same database twice", p, {p + " 1", p + " 1", p + " 2", p + " 2"}},
      {"a blank path counts as a secondary", " ", {p + " 1", "  1", p + " 2", "  2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    runs_.runs.clear();
    merge("<p>nothing</p>", c.secondary);
    EXPECT_EQ(runs_.runs, c.runs);
    EXPECT_EQ(control_.get_wkcycle(), 2);
  }
}

TEST_F(OcxwebKiv, MergesBothPassesAndBothDatabases) {
  struct Case {
    const char* name;
    std::string page, secondary, expected;
  };
  const Case cases[] = {
      {"pass order decides the markers", "!!b,A02; !!a,A01; gethere gethere", "",
       "!!b,A02; !!a,A01; 200 246\r\n"},
      {"a key in both databases is written twice", "!!a,A01; gethere gethere", secondary_,
       "!!a,A01; 200 7\r\n"},
      {"pass 2 of the secondary", "!!s,A01; gethere gethere", secondary_,
       "!!s,A01; seven gethere\r\n"},
      {"detail table and values", "!!a,A01; gethere &&d,A02; gethere", "",
       "!!a,A01; 200 &&d,A02; <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(merge(c.page, c.secondary), c.expected);
    EXPECT_TRUE(control_.failures().empty());
    EXPECT_TRUE(box_->shown.empty());
  }
  EXPECT_EQ(text::toUtf8(control_.get_text()),
            "!!a,A01; 200 &&d,A02; <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>");
}

TEST_F(OcxwebKiv, PassesThePageThroughByteForByte) {
  // Kanji, bytes code page 932 does not define, a pair with a second byte
  // sequence for its character, and a value with a character the code page
  // cannot hold.
  const std::string page =
      "\x8c\xa9\x90\xcf \x80\xff \x85\x40 \xed\x40 <!-- !!g,GB; -->gethere \x82\xa0";
  EXPECT_EQ(merge(page),
            "\x8c\xa9\x90\xcf \x80\xff \x85\x40 \xed\x40 <!-- !!g,GB; -->\x8a\xbf\x8e\x9a&#165; "
            "\x82\xa0\r\n");
}

TEST_F(OcxwebKiv, AMissingPageIsALoadFailure) {
  control_.put_text(u"before");
  writeBytes(dir_.file("out.htm"), "old result");
  Variant r =
      control_.ocxwebKiv(u(dir_.file("missing.htm")), u(dir_.file("out.htm")), u(primary_), u(""));
  EXPECT_TRUE(r.isEmpty());
  EXPECT_TRUE(runs_.runs.empty());  // no pass ran
  EXPECT_TRUE(box_->shown.empty());
  EXPECT_FALSE(fs::exists(dir_.file("missing.htm")));
  EXPECT_EQ(readBytes(dir_.file("out.htm")), "old result");
  EXPECT_EQ(control_.get_text(), u"before");
  ASSERT_EQ(control_.failures().size(), 1u);
  EXPECT_EQ(control_.failures()[0].step, "load " + dir_.file("missing.htm"));
  EXPECT_EQ(control_.failures()[0].number, err::kNoSuchFile);
  EXPECT_EQ(runs_.failures, std::vector<std::string>{"load " + dir_.file("missing.htm") + " 53"});
}

TEST_F(OcxwebKiv, ASaveFailureKeepsTheMergedText) {
  writeBytes(dir_.file("page.htm"), "!!a,A01; gethere");
  control_.ocxwebKiv(u(dir_.file("page.htm")), u(dir_.file("no/out.htm")), u(primary_), u(""));
  EXPECT_EQ(control_.get_text(), u"!!a,A01; 200");
  ASSERT_EQ(control_.failures().size(), 1u);
  EXPECT_EQ(control_.failures()[0].number, err::kFileAccess);
  EXPECT_TRUE(box_->shown.empty());
  EXPECT_FALSE(fs::exists(dir_.file("no")));
}

TEST_F(OcxwebKiv, AFailedPassShowsErrorAndTheOthersGoOn) {
  control_.putref_objExcel(std::make_shared<NoApplication>());
  // Pass 1 fails at its second placeholder; pass 2 still writes b.
  std::string out = merge("!!a,A01; gethere !!u,A01; gethere !!b,A02; gethere");
  EXPECT_EQ(out, "!!a,A01; 200 !!u,A01; gethere !!b,A02; 246\r\n");
  ASSERT_EQ(box_->shown.size(), 1u);
  EXPECT_EQ(box_->shown[0].text, u"error");
  const std::string& reason = box_->shown[0].reason;
  EXPECT_NE(reason.find("pass 1 on " + primary_), std::string::npos) << reason;
  EXPECT_NE(reason.find("!!u,A01;"), std::string::npos) << reason;
  EXPECT_NE(reason.find("error 11"), std::string::npos) << reason;
  EXPECT_EQ(control_.get_objExcel(), nullptr);
  ASSERT_EQ(control_.failures().size(), 1u);
  EXPECT_EQ(control_.failures()[0].step, "pass 1 on " + primary_);
  EXPECT_EQ(control_.failures()[0].number, err::kDivisionByZero);
}

TEST_F(OcxwebKiv, AMissingDatabaseFailsEachPassThatNeedsIt) {
  writeBytes(dir_.file("page.htm"), "!!a,A01; gethere");
  control_.ocxwebKiv(u(dir_.file("page.htm")), u(dir_.file("out.htm")), u(dir_.file("none.sqlite")),
                     u(""));
  EXPECT_EQ(readBytes(dir_.file("out.htm")), "!!a,A01; gethere\r\n");
  EXPECT_EQ(box_->shown.size(), 2u);
  ASSERT_EQ(control_.failures().size(), 2u);
  EXPECT_EQ(control_.failures()[1].number, err::kFileNotFound);
}

TEST_F(OcxwebKiv, TheResultMayReplaceTheTemplate) {
  writeBytes(dir_.file("page.htm"), "!!a,A01; gethere");
  control_.ocxwebKiv(u(dir_.file("page.htm")), u(dir_.file("page.htm")), u(primary_), u(""));
  EXPECT_EQ(readBytes(dir_.file("page.htm")), "!!a,A01; 200\r\n");
}

TEST_F(OcxwebKiv, AHostMayCallTheDetailTableItself) {
  merge("plain");
  control_.put_text(u"&&d,A02; gethere");
  control_.put_HitStr(1);
  control_.put_wkcycle(1);
  control_.WEB明細型();
  EXPECT_EQ(text::toUtf8(control_.get_text()),
            "&&d,A02; <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>");
  EXPECT_EQ(control_.get_HitStr(), 0);
}

}  // namespace
}  // namespace dorvane
