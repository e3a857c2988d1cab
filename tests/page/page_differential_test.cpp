// The page pass and its detail tables against the literal algorithm, over
// many generated pages: the same text, HitStr, table text and errors.
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <random>

#include "page/literal_page_pass.h"
#include "page/page_detail.h"
#include "page/page_fixture.h"
#include "page/page_pass.h"
#include "platform/text/utf.h"

namespace dorvane::page {
namespace {

using testing::TempDir;

struct Result {
  std::u16string text, textWeb, textWebbefore;
  std::int32_t HitStr = 0;
  int error = 0;
  bool stopped = false;
};

template <typename Pass>
Result run(const std::u16string& page, std::int16_t wkcycle, const std::u16string& db, Pass pass,
           bool keepTextWeb = true) {
  Result r;
  r.text = page;
  std::shared_ptr<Database> kivdb, DB;
  std::shared_ptr<Recordset> kivrs, kivrs2, rs;
  PageMembers m{r.text, r.HitStr, r.textWeb, r.textWebbefore, wkcycle, db, kivdb, kivrs,
                kivrs2, DB,       rs,        keepTextWeb};
  try {
    r.stopped = pass(m) == PassEnd::Stopped;
  } catch (const RuntimeError& e) {
    r.error = e.number();
  }
  return r;
}

Result fast(const std::u16string& page, std::int16_t wkcycle, const std::u16string& db,
            bool keepTextWeb = true) {
  return run(
      page, wkcycle, db,
      [](PageMembers& m) { return runPagePass(m, [&m] { expandDetailTables(m); }); }, keepTextWeb);
}

Result literalPass(const std::u16string& page, std::int16_t wkcycle, const std::u16string& db) {
  return run(page, wkcycle, db,
             [](PageMembers& m) { return literal::pagePass(m, [&m] { literal::detailWalk(m); }); });
}

// Pages made of placeholders, markers, pieces of markers, detail
// placeholders and separators; the rare tokens end a run early.
class PageGenerator {
 public:
  // rareOneIn: one token in this many is a rare one (0: none).
  PageGenerator(unsigned seed, unsigned rareOneIn) : random_(seed), rareOneIn_(rareOneIn) {}

  std::u16string page(int tokens) {
    std::u16string p;
    for (int i = 0; i < tokens; ++i) p += token();
    return p;
  }

 private:
  std::u16string token() {
    static const std::u16string common[] = {
        u"!!a,A01;", u"!!a,A02;", u"!!b,A02;", u"!!k,A02;",  u"!!t,A01;", u"!!g,G1;",  u"!!g,G2;",
        u"!!g,G3;",  u"!!g,G4;",  u"!!g,G6;",  u"!!g,G7;",   u"!!g,G8;",  u"!!g,G9;",  u"!!g,GA;",
        u"!!g,GD;",  u"!!g,GE;",  u"!!g,GF;",  u"!!h,G1;",   u"!!x,A01;", u"!!zz,1;",  u"!!a,NONE;",
        u"!!q,A01;", u"gethere",  u"gethere",  u"gethere",   u"geth",     u"ere",      u"get",
        u"here",     u"&&d,A01;", u"&&d,A02;", u"&&d,D1;",   u"&&e,A02;", u"&&z,A01;", u"!",
        u"!!",       u"&",        u";",        u",",         u"'",        u" ",        u"x",
        u"漢",       u"\xdc85",   u"<TD>",     u"&&nul,A01;"};
    static const std::u16string rare[] = {u"!!u,A01;", u"!!g,G5;", u"Yes!! Done;", u"!!m,A01;",
                                          u"&&d,;",    u"a && b;", u"&&bad,A01;",  u"!!a,A01"};
    if (rareOneIn_ != 0 && random_() % rareOneIn_ == 0) return rare[random_() % std::size(rare)];
    return common[random_() % std::size(common)];
  }
  std::mt19937 random_;
  unsigned rareOneIn_;
};

class PageDifferential : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    std::string path = dir_->file("kiv.sqlite");
    testing::buildPageDatabase(path);
    db_ = text::fromUtf8(path);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static void expectSame(const std::u16string& page, std::int16_t wkcycle) {
    Result a = fast(page, wkcycle, db_);
    Result b = literalPass(page, wkcycle, db_);
    SCOPED_TRACE("pass " + std::to_string(wkcycle) + " over: " + text::toUtf8(page));
    ASSERT_EQ(text::toUtf8(a.text), text::toUtf8(b.text));
    ASSERT_EQ(a.HitStr, b.HitStr);
    ASSERT_EQ(a.error, b.error);
    ASSERT_EQ(a.stopped, b.stopped);
    ASSERT_EQ(a.textWeb, b.textWeb);
    ASSERT_EQ(a.textWebbefore, b.textWebbefore);

    // Tables built in pieces, with textWeb not kept: the same page.
    Result c = fast(page, wkcycle, db_, false);
    ASSERT_EQ(text::toUtf8(c.text), text::toUtf8(b.text));
    ASSERT_EQ(c.HitStr, b.HitStr);
    ASSERT_EQ(c.error, b.error);
    ASSERT_EQ(c.textWebbefore, b.textWebbefore);
    ASSERT_EQ(c.textWeb, u"");
  }

  static TempDir* dir_;
  static std::u16string db_;
};
TempDir* PageDifferential::dir_ = nullptr;
std::u16string PageDifferential::db_;

TEST_F(PageDifferential, ShortPages) {
  PageGenerator gen(20261207, 40);
  for (int i = 0; i < 600; ++i) {
    std::u16string page = gen.page(1 + i % 40);
    expectSame(page, static_cast<std::int16_t>(1 + i % 2));
    if (HasFatalFailure()) return;
  }
}

TEST_F(PageDifferential, LongPages) {
  // No token that ends a run early: every run goes through the whole page.
  PageGenerator gen(42, 0);
  for (int i = 0; i < 6; ++i) {
    std::u16string page = gen.page(1500);
    expectSame(page, static_cast<std::int16_t>(1 + i % 2));
    if (HasFatalFailure()) return;
    EXPECT_NE(fast(page, static_cast<std::int16_t>(1 + i % 2), db_).text, page);
  }
}

TEST_F(PageDifferential, RunsOneAfterAnother) {
  // Four runs over the same text, as a merge makes them.
  PageGenerator gen(7, 40);
  for (int i = 0; i < 60; ++i) {
    std::u16string a = gen.page(30), b = a;
    for (std::int16_t wkcycle : {1, 1, 2, 2}) {
      Result ra = fast(a, wkcycle, db_), rb = literalPass(b, wkcycle, db_);
      ASSERT_EQ(text::toUtf8(ra.text), text::toUtf8(rb.text)) << text::toUtf8(a);
      a = ra.text;
      b = rb.text;
    }
  }
}

TEST_F(PageDifferential, PlaceholdersAroundTheOverflowLimit) {
  // Cuts of 32767 to 32770 characters, with and without a "," before or
  // after character 32767; the stand-in for a huge cut must fail the same way.
  for (int extra = -3; extra <= 3; ++extra) {
    for (int commaAt : {0, 5, 32766, 32767, 32768, 32769}) {
      std::u16string filler(static_cast<size_t>(32767 + extra - 4), u'x');
      std::u16string cut = u"!!a" + filler + u";";
      if (commaAt > 0 && commaAt < static_cast<int>(cut.size())) cut[commaAt - 1] = u',';
      expectSame(cut + u" gethere !!a,A01; gethere", 1);
      expectSame(u"y" + cut + u" gethere", 1);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace dorvane::page
