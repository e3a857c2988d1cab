// The page pass and the detail tables: page text in, page text out, against
// the page reference database.
#include "page/page_pass.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include "page/page_detail.h"
#include "page/page_fixture.h"
#include "platform/text/utf.h"

namespace dorvane::page {
namespace {

using testing::TempDir;

std::string u8(const std::u16string& s) { return text::toUtf8(s); }

// The control's page members, owned by the test.
struct Members {
  std::u16string text, textWeb, textWebbefore, curdbloc;
  std::int32_t HitStr = -1;
  std::int16_t wkcycle = 1;
  std::shared_ptr<Database> kivdb, DB;
  std::shared_ptr<Recordset> kivrs, kivrs2, rs;
  PageMembers refs() {
    return {text, HitStr, textWeb, textWebbefore, wkcycle, curdbloc, kivdb, kivrs, kivrs2, DB, rs};
  }
};

class PagePass : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    path_ = dir_->file("kiv.sqlite");
    testing::buildPageDatabase(path_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  struct Run {
    PassEnd end = PassEnd::Done;
    int error = 0;  // run-time error number, 0 when none
    int detailCalls = 0;
  };

  // One pass over page with the detail tables behind it.
  Run pass(const std::u16string& page, int wkcycle) {
    m_.text = page;
    m_.wkcycle = static_cast<std::int16_t>(wkcycle);
    m_.curdbloc = text::fromUtf8(path_);
    Run r;
    PageMembers refs = m_.refs();
    try {
      r.end = runPagePass(refs, [&] {
        ++r.detailCalls;
        expandDetailTables(refs);
      });
    } catch (const RuntimeError& e) {
      r.error = e.number();
    }
    return r;
  }

  static TempDir* dir_;
  static std::string path_;
  Members m_;
};
TempDir* PagePass::dir_ = nullptr;
std::string PagePass::path_;

struct PageCase {
  const char* name;
  int wkcycle;
  std::u16string page;
  std::u16string expected;
  int error = 0;
  PassEnd end = PassEnd::Done;
};

const std::u16string kTable =
    u"<TABLE><TR><TD>pen</TD><TD>2</TD><TD><i></TD></TR>"
    u"<TR><TD>note</TD><TD>5</TD><TD></TD></TR></TABLE>";

TEST_F(PagePass, PageTextInPageTextOut) {
  const std::u16string longText(40000, u'x');
  const PageCase cases[] = {
      {"nothing to do", 1, u"<p>plain page</p>", u"<p>plain page</p>"},
      {"value into the marker after it", 1, u"!!a,A01; <b>gethere</b>", u"!!a,A01; <b>200</b>"},
      {"markers used up in page order", 1, u"!!a,A01; !!k,A02; gethere gethere",
       u"!!a,A01; !!k,A02; 200 0.3"},
      {"pass 2 writes only its rows", 2, u"!!a,A01; !!b,A02; gethere gethere",
       u"!!a,A01; !!b,A02; 246 gethere"},
      {"the marker must be at or after the placeholder", 1, u"gethere !!a,A01;",
       u"gethere !!a,A01;"},
      {"marker is exact and case-sensitive", 1, u"!!a,A01; GetHere gethere",
       u"!!a,A01; GetHere 200"},
      {"key without a row leaves its marker", 1, u"!!zz,A01; gethere", u"!!zz,A01; gethere"},
      {"Null transfer priority: no pass", 1, u"!!nul,A01; gethere", u"!!nul,A01; gethere"},
      {"numeric with no records writes 0", 1, u"!!a,NONE; gethere.", u"!!a,NONE; 0."},
      {"text with no records deletes the marker", 1, u"!!g,NONE; [gethere]", u"!!g,NONE; []"},
      {"empty text value deletes the marker", 1, u"!!g,G4; [gethere]", u"!!g,G4; []"},
      {"unknown rounding word writes nothing", 1, u"!!x,A01; gethere", u"!!x,A01; gethere"},
      {"page text takes the first value, never joins", 1, u"!!t,A01; gethere", u"!!t,A01; pen"},
      {"query mode", 1, u"!!q,A01; gethere", u"!!q,A01; 400"},
      {"the cut ends at the first ';'", 1, u"!!a,A02;A01; gethere", u"!!a,A02;A01; 246"},
      {"two key values", 1, u"!!a,A01'x; gethere", u"!!a,A01'x; gethere", 3075},
      {"no escaping of values", 1, u"!!g,G6; gethere", u"!!g,G6; <b>&amp;</b>"},
      {"a value holding gethere serves a later placeholder", 1, u"!!g,GA; !!a,A01; gethere gethere",
       u"!!g,GA; !!a,A01; 200 gethere gethere"},
      {"a value holding !! is a placeholder", 1, u"!!g,G2; gethere gethere",
       u"!!g,G2; x!!a,A01;y 200"},
      {"a marker formed across the inserted value", 1, u"!!g,G7; !!a,A01; gethereere",
       u"!!g,G7; !!a,A01; 200"},
      {"a value holding a placeholder and its marker", 1, u"!!g,GF; gethere",
       u"!!g,GF; !!g,G1;gethere"},
      {"malformed text ends the run quietly", 1, u"Yes!! Done; !!a,A01; gethere",
       u"Yes!! Done; !!a,A01; gethere", 0, PassEnd::Stopped},
      {"a '!!' with no ';' at position 1 ends quietly", 1, u"!!a,A01 gethere", u"!!a,A01 gethere",
       0, PassEnd::Stopped},
      {"a '!!' with no ';' elsewhere is an error", 1, u" !!a,A01 gethere", u" !!a,A01 gethere",
       err::kInvalidCall},
      {"a Null value cannot be written", 1, u"!!g,G5; gethere", u"!!g,G5; gethere",
       err::kInvalidUseOfNull},
      {"writes before an error stay", 1, u"!!a,A01; gethere !!u,A01; gethere",
       u"!!a,A01; 200 !!u,A01; gethere", err::kDivisionByZero},
      {"a source database that does not exist", 1, u"!!m,A01; gethere", u"!!m,A01; gethere",
       err::kFileNotFound},
      {"NUL characters are ordinary text", 1, std::u16string(u"\0!!a,A01; gethere\0", 18),
       std::u16string(u"\0!!a,A01; 200\0", 14)},
      {"a NUL inside a key value is data: no record has it", 1,
       std::u16string(u"!!a,A\0; gethere", 15), std::u16string(u"!!a,A\0; 0", 9)},
      {"a ';' beyond character 32767 overflows", 1, u"!!a," + longText + u"; gethere",
       u"!!a," + longText + u"; gethere", err::kOverflow},
      {"a ',' beyond character 32767 overflows", 1, u"!!a" + longText + u",A01; gethere",
       u"!!a" + longText + u",A01; gethere", err::kOverflow},
      {"a long text without ',' stops the run", 1, u"!!a" + longText + u"; gethere",
       u"!!a" + longText + u"; gethere", 0, PassEnd::Stopped},
      {"detail table at the marker", 1, u"&&d,A01; gethere", u"&&d,A01; " + kTable},
      {"value and detail in one run", 1, u"!!a,A01; gethere &&d,A01; gethere",
       u"!!a,A01; 200 &&d,A01; " + kTable},
      {"detail of the other pass is left", 1, u"&&e,A02; gethere &&d,A01; gethere",
       u"&&e,A02; gethere &&d,A01; " + kTable},
      {"detail of pass 2", 2, u"&&e,A02; gethere", u"&&e,A02; <TABLE><TR><TD>7</TD></TR></TABLE>"},
      {"two detail tables", 1, u"&&d,A02; gethere &&d,A01; gethere",
       u"&&d,A02; <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE> &&d,A01; " +
           kTable},
      {"target without records: the walk goes on", 1, u"&&d,NONE; gethere &&d,A02; gethere",
       u"&&d,NONE; gethere &&d,A02; <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>"},
      {"no detail items: rows without cells", 1, u"&&z,A01; gethere",
       u"&&z,A01; <TABLE><TR><TR></TABLE>"},
      {"'&&' without ',' ends the walk", 1, u"if (a && b); &&d,A01; gethere",
       u"if (a && b); &&d,A01; gethere"},
      {"',' last ends the walk", 1, u"&&d,; gethere &&d,A01; gethere",
       u"&&d,; gethere &&d,A01; gethere"},
      {"a failing detail ends the walk silently", 1, u"&&bad,A01; gethere &&d,A01; gethere",
       u"&&bad,A01; gethere &&d,A01; gethere"},
      {"a detail database that does not exist", 1, u"&&nodb,A01; gethere", u"&&nodb,A01; gethere"},
      {"'&&' without ';' ends the walk silently", 1, u"&&d,A01 gethere", u"&&d,A01 gethere"},
      {"a quote in the detail key value is data", 1, u"&&d,O'1; gethere",
       u"&&d,O'1; <TABLE><TR><TD>quoted</TD><TD>1</TD><TD></TD></TR></TABLE>"},
      {"a table holding '&&' is walked too", 1, u"&&d,D1; gethere gethere",
       u"&&d,D1; <TABLE><TR><TD>&&d,A01;" + kTable +
           u"</TD><TD>1</TD><TD></TD></TR></TABLE> gethere"},
  };
  for (const PageCase& c : cases) {
    SCOPED_TRACE(c.name);
    Run r = pass(c.page, c.wkcycle);
    EXPECT_EQ(u8(m_.text), u8(c.expected));
    EXPECT_EQ(r.error, c.error);
    if (c.error == 0) {
      EXPECT_EQ(r.end, c.end);
    }
  }
}

TEST_F(PagePass, OpensNothingWithoutValuePlaceholders) {
  Run r = pass(u"<p>no markers</p>", 1);
  EXPECT_EQ(r.detailCalls, 0);
  EXPECT_EQ(m_.kivdb, nullptr);
  EXPECT_EQ(m_.kivrs, nullptr);
  EXPECT_EQ(m_.HitStr, 0);

  r = pass(u"&&zz,A01; gethere", 1);  // detail only: the pass opens nothing itself
  EXPECT_EQ(r.detailCalls, 1);
  EXPECT_NE(m_.kivdb, nullptr);  // opened by the detail walk
}

TEST_F(PagePass, HitStrAfterTheRun) {
  pass(u"!!a,A01; gethere", 1);
  EXPECT_EQ(m_.HitStr, 0);
  pass(u"ab Yes!! Done; !!a,A01; gethere", 1);
  EXPECT_EQ(m_.HitStr, 7);  // the placeholder whose StopPass ended the run
  pass(u"!!a,A01; gethere !!u,A01; gethere", 1);
  EXPECT_EQ(m_.HitStr, 14);  // where the error came
  pass(u"!!a,A01; &&zz,A01; gethere", 1);
  EXPECT_EQ(m_.HitStr, 0);  // the detail walk ran out of hits
  pass(u"x &&d,A01 gethere", 1);
  EXPECT_EQ(m_.HitStr, 3);  // the hit at which the detail walk ended
}

TEST_F(PagePass, DetailMembersAfterTheWalk) {
  pass(u"&&d,A02; gethere", 1);
  EXPECT_EQ(u8(m_.textWeb), "<TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>");
  EXPECT_EQ(u8(m_.textWebbefore), "</TABLE>");
  ASSERT_NE(m_.rs, nullptr);
  EXPECT_TRUE(m_.rs->Eof());
  ASSERT_NE(m_.kivrs2, nullptr);

  // A table with no marker after it is built but not inserted.
  pass(u"gethere &&d,A02;", 1);
  EXPECT_EQ(u8(m_.text), "gethere &&d,A02;");
  EXPECT_EQ(u8(m_.textWeb), "<TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>");
}

TEST_F(PagePass, RunsRepeatOverTheSamePage) {
  // The placeholders stay: every run meets them again and a later run fills
  // the next marker.
  std::u16string page = u"!!a,A01; gethere gethere &&d,A02; gethere gethere";
  pass(page, 1);
  pass(m_.text, 1);
  EXPECT_EQ(u8(m_.text),
            "!!a,A01; 200 200 &&d,A02; <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR>"
            "</TABLE> <TABLE><TR><TD>eraser</TD><TD>7</TD><TD>a&b</TD></TR></TABLE>");
}

}  // namespace
}  // namespace dorvane::page
