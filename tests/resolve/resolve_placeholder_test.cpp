#include "resolve/resolve_placeholder.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <memory>

#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_fixture.h"

namespace dorvane {
namespace {

using testing::TempDir;

class RecordingObserver : public MergeObserver {
 public:
  void sqlRun(const std::u16string& sql) override { sql_.push_back(text::toUtf8(sql)); }
  void loopEnded(LoopEnd end) override { ends_.push_back(end); }
  void skipped(std::string_view reason) override { reasons_.emplace_back(reason); }
  std::vector<std::string> sql_;
  std::vector<LoopEnd> ends_;
  std::vector<std::string> reasons_;
};

class ResolvePlaceholder : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    path_ = dir_->file("kiv.sqlite");
    testing::buildResolveDatabase(path_);
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    kivdb_ = Engine::instance().OpenDatabase(text::fromUtf8(path_));
    kivrs_ = reference::open(*kivdb_);
  }

  PlaceholderResult resolve(const std::u16string& t, int pass,
                            PlaceholderKind kind = PlaceholderKind::Worksheet) {
    return resolvePlaceholder(t, static_cast<std::int16_t>(pass), *kivrs_, kind, DB_, rs_,
                              &observer_);
  }
  int errorOf(const std::u16string& t, int pass = 1, std::string* description = nullptr) {
    try {
      resolve(t, pass);
    } catch (const RuntimeError& e) {
      if (description) *description = e.description();
      return e.number();
    }
    return 0;
  }

  static TempDir* dir_;
  static std::string path_;
  std::shared_ptr<Database> kivdb_, DB_;
  std::shared_ptr<Recordset> kivrs_, rs_;
  RecordingObserver observer_;
};

TempDir* ResolvePlaceholder::dir_ = nullptr;
std::string ResolvePlaceholder::path_;

struct Case {
  const char16_t* text;
  int pass;
  PlaceholderKind kind;
  Outcome outcome;
  const char* type;     // nullptr: no value
  const char* value;    // standard text form
  const char* comment;  // nullptr: no comment
};

constexpr auto W = PlaceholderKind::Worksheet;
constexpr auto P = PlaceholderKind::Page;
constexpr auto R = Outcome::Resolved;

const Case kCases[] = {
    // Malformed texts stop the pass.
    {u"!!price,A01", 1, W, Outcome::StopPass, nullptr, nullptr, nullptr},
    {u"!!price,", 1, W, Outcome::StopPass, nullptr, nullptr, nullptr},
    {u"!!price", 1, W, Outcome::StopPass, nullptr, nullptr, nullptr},
    {u"!!price,A01;x", 1, W, Outcome::StopPass, nullptr, nullptr, nullptr},
    {u"", 1, W, Outcome::StopPass, nullptr, nullptr, nullptr},
    // Keys without a row, and the pass selector.
    {u"!!unknown,A01;", 1, W, Outcome::Skip, nullptr, nullptr, nullptr},
    {u"!!PRICE,A01;", 1, W, Outcome::Skip, nullptr, nullptr, nullptr},  // binary index
    {u"!!price,A01;", 2, W, Outcome::Skip, nullptr, nullptr, nullptr},
    {u"!!name,A01;", 1, W, Outcome::Skip, nullptr, nullptr, nullptr},
    {u"!!nullprio,A01;", 1, W, Outcome::Skip, nullptr, nullptr, nullptr},
    {u"!!nullprio,A01;", 2, W, Outcome::Skip, nullptr, nullptr, nullptr},
    // Numeric items: sums, rounding, comments.
    {u"!!price,A01;", 1, W, R, "Double", "200", "単価"},
    {u"!!price,A01;", 1, P, R, "Double", "200", nullptr},
    {u"!!price,A01'2;", 1, W, R, "Double", "80", "単価"},
    {u"!!mixed,M1;", 1, W, R, "Double", "15", nullptr},
    {u"!!mixed,M2;", 1, W, R, "Double", "1007", nullptr},
    {u"!!k_down,T1;", 1, W, R, "Double", "2", nullptr},
    {u"!!k_up,T1;", 1, W, R, "Double", "3", nullptr},
    {u"!!k_near,T1;", 1, W, R, "Double", "3", nullptr},
    {u"!!t_down,T1;", 1, W, R, "Double", "2000", nullptr},
    {u"!!t_up,T1;", 1, W, R, "Double", "3000", nullptr},
    {u"!!t_near,T1;", 1, W, R, "Double", "3000", nullptr},
    {u"!!r2,R1;", 1, W, R, "Double", "2.68", nullptr},
    {u"!!price,R2;", 1, W, R, "Double", "-3", "単価"},
    // Earlier key segments add to the total; an empty final one ends unrounded.
    {u"!!thousand,S1;ZZ;", 1, W, R, "Double", "1.234", nullptr},
    {u"!!thousand,A01;S1;", 1, W, R, "Double", "1", nullptr},
    {u"!!price,ZZ;YY;", 1, W, R, "Double", "0", nullptr},
    {u"!!unit0,ZZ;", 1, W, R, "Double", "0", nullptr},  // no division when the total is 0
    {u"!!nullunit,S1;ZZ;", 1, W, R, "Null", "", nullptr},
    // Unknown rounding word: no value, the comment stays.
    {u"!!badround,A01;", 1, W, R, nullptr, nullptr, "丸め不明"},
    // Text items.
    {u"!!name,A01;", 2, W, R, "String", "pen", "black"},
    {u"!!name,A01;", 2, P, R, "String", "pen", nullptr},
    {u"!!names,N1;", 1, W, R, "String", "a b ", "品名一覧"},
    {u"!!names,N1;", 1, P, R, "String", "a", nullptr},
    {u"!!first,N1;", 1, W, R, "String", "a", nullptr},
    {u"!!first,ZZ;", 1, W, R, "String", "", nullptr},
    {u"!!first,N1;A01;", 1, W, R, "String", "a", nullptr},  // EarlyText: no comment
    {u"!!names,N1;A01;", 1, W, R, "String", "a b ", nullptr},
    {u"!!first,ZZ;A02;", 1, W, R, "String", "note", nullptr},
    {u"!!first,A01'2;", 1, W, R, "Null", "", nullptr},   // first value Null stays Null
    {u"!!nullcomment,A01'2;", 2, W, R, "Null", "", ""},  // empty comment field value
    // Query mode, two key values, modes chosen by an exact comparison.
    {u"!!qprice,A02;", 1, W, R, "Double", "491", nullptr},
    {u"!!qprice,A01'2;", 1, W, R, "Double", "160", nullptr},
    {u"!!trail,A01;", 1, P, R, "Double", "120", nullptr},  // "数値 " is a text item: first value
    // Quotes in key values are data, never SQL.
    {u"!!price,Q'2'3;", 1, W, R, "Double", "9", "単価"},
    {u"!!first,A01' or '1'='1;", 1, W, R, "String", "", nullptr},
    // Only the first row of a key in index order is used.
    {u"!!dup,A01;", 1, W, R, "Double", "200", "first"},
};

TEST_F(ResolvePlaceholder, OutcomesValuesAndComments) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(text::toUtf8(c.text) + " pass " + std::to_string(c.pass) +
                 (c.kind == P ? " page" : " worksheet"));
    PlaceholderResult r = resolve(c.text, c.pass, c.kind);
    EXPECT_EQ(outcomeName(r.outcome), outcomeName(c.outcome));
    if (c.type) {
      ASSERT_TRUE(r.value.has_value());
      EXPECT_STREQ(typeName(r.value->type()), c.type);
      EXPECT_EQ(r.value->isNull() ? "" : text::toUtf8(toText(*r.value)), c.value);
    } else {
      EXPECT_FALSE(r.value.has_value());
    }
    if (c.comment) {
      ASSERT_TRUE(r.comment.has_value());
      EXPECT_EQ(text::toUtf8(*r.comment), c.comment);
    } else {
      EXPECT_FALSE(r.comment.has_value());
    }
  }
}

TEST_F(ResolvePlaceholder, RunsTheSqlTextsOfBothModes) {
  resolve(u"!!price,A01;", 1);
  resolve(u"!!price,A01'2;", 1);
  resolve(u"!!qprice,A01;", 1);
  resolve(u"!!qprice,A01'2;", 1);
  resolve(u"!!price,Q'2'3;", 1);
  EXPECT_EQ(observer_.sql_, (std::vector<std::string>{
                                "select all items.* from items where items.code = 'A01'",
                                "select all items.* from items where items.code = 'A01' and "
                                "items.lot = '2'",
                                "select all q_items.* from q_items where q_items.code= 'A01'",
                                "select all q_items.* from q_items where q_items.code= 'A01' "
                                "and q_items.lot ='2'",
                                "select all items.* from items where items.code = 'Q' and "
                                "items.lot = '2''3'",
                            }));
}

TEST_F(ResolvePlaceholder, EarlyTextReadsNoLaterSegment) {
  resolve(u"!!first,N1;A01;A02;", 1);
  EXPECT_EQ(observer_.sql_.size(), 1u);
  EXPECT_EQ(observer_.ends_, std::vector<LoopEnd>{LoopEnd::EarlyText});
}

TEST_F(ResolvePlaceholder, SkipLeavesTheSourceMembersAlone) {
  resolve(u"!!price,A01;", 1);
  auto db = DB_;
  auto rs = rs_;
  resolve(u"!!unknown,A01;", 1);
  resolve(u"!!price,A01;", 2);
  EXPECT_EQ(DB_, db);
  EXPECT_EQ(rs_, rs);
  EXPECT_EQ(observer_.reasons_.size(), 2u);
}

TEST_F(ResolvePlaceholder, EachHandledPlaceholderReopensItsDatabase) {
  resolve(u"!!price,A01;", 1);
  auto first = DB_;
  resolve(u"!!price,A01;", 1);
  EXPECT_NE(DB_, first);
  resolve(u"!!price,ZZ;YY;", 1);
  EXPECT_EQ(rs_->RecordCount(), 0);  // rs holds the last key segment's recordset
}

TEST_F(ResolvePlaceholder, RuntimeErrorsNameWhatFailed) {
  struct ErrorCase {
    const char16_t* text;
    int pass;
    int number;
    const char* mention;
  } cases[] = {
      {u"!!nodb,A01;", 1, 3024, "missing.sqlite"},
      {u"!!nulldb,A01;", 1, 94, "DB名"},
      {u"!!unit0,A01;", 1, 11, "単位"},
      {u"!!unit0,S1;ZZ;", 1, 11, "単位"},
      {u"!!nullunit,A01;", 1, 94, "単位"},
      {u"!!nullplaces,A01;", 1, 94, "小数位"},
      {u"!!badfield,A01;", 1, 3265, "nope"},
      {u"!!notable,A01;", 1, 3078, "nope"},
      {u"!!nulltable,A01;", 1, 94, "ﾃｰﾌﾞﾙ名"},
      {u"!!Table,A01;", 1, 3075, "select all .* from"},  // query mode with ｸｴﾘｰ名 Null
      {u"!!nullcomment,A02;", 2, 94, "note"},
  };
  for (const auto& c : cases) {
    std::string description;
    EXPECT_EQ(errorOf(c.text, c.pass, &description), c.number) << text::toUtf8(c.text);
    EXPECT_NE(description.find(c.mention), std::string::npos) << description;
  }
}

TEST_F(ResolvePlaceholder, SeparatorsBeyond32767Overflow) {
  std::u16string longKey = u"!!" + std::u16string(40000, u'k') + u",A01;";
  EXPECT_EQ(errorOf(longKey), 6);
  std::u16string longValue = u"!!price," + std::u16string(40000, u'v') + u";";
  EXPECT_EQ(errorOf(longValue), 6);
  // A key segment whose ";" sits exactly at 32767 is fine; one more overflows.
  std::u16string fits = u"!!price,A01;" + std::u16string(32767 - 13, u'v') + u";";
  ASSERT_EQ(fits.size(), 32767u);
  EXPECT_EQ(errorOf(fits), 0);
  EXPECT_EQ(errorOf(fits + u"x;"), 6);
  // Without any "," the text is simply malformed, however long.
  EXPECT_EQ(resolve(std::u16string(50000, u'x'), 1).outcome, Outcome::StopPass);
}

TEST_F(ResolvePlaceholder, ReferenceTableLayoutFailures) {
  std::string other = dir_->file("layouts.sqlite");
  testing::buildDatabase(other, R"sql(
    CREATE TABLE 参照ﾃｰﾌﾞﾙ (ｷｰ TEXT PRIMARY KEY, 転送優先 BOOLEAN);
    CREATE TABLE 明細 (x TEXT);
  )sql");
  auto db = Engine::instance().OpenDatabase(text::fromUtf8(other));
  auto rs = reference::open(*db);
  try {
    resolvePlaceholder(u"!!a,1;", 1, *rs, W, DB_, rs_);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 3800);
  }
  std::string viewDb = dir_->file("view.sqlite");
  testing::buildDatabase(viewDb,
                         "CREATE TABLE base (ｷｰ TEXT); CREATE INDEX ｷｰ ON base (ｷｰ);"
                         "CREATE VIEW 参照ﾃｰﾌﾞﾙ AS SELECT * FROM base;");
  auto vdb = Engine::instance().OpenDatabase(text::fromUtf8(viewDb));
  auto vrs = reference::open(*vdb);
  EXPECT_FALSE(vrs->isTableType());
  EXPECT_THROW(resolvePlaceholder(u"!!a,1;", 1, *vrs, W, DB_, rs_), RuntimeError);
  std::string none = dir_->file("none.sqlite");
  testing::buildDatabase(none, "CREATE TABLE other (x TEXT);");
  auto ndb = Engine::instance().OpenDatabase(text::fromUtf8(none));
  try {
    reference::open(*ndb);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 3078);
  }
}

TEST(PassSelector, TrueFirstFalseSecondNullNever) {
  struct Case {
    Variant v;
    bool pass1, pass2;
  } cases[] = {
      {Variant::boolean(true), true, false},    {Variant::boolean(false), false, true},
      {Variant::null(), false, false},          {Variant::longValue(-1), true, false},
      {Variant::longValue(0), false, true},     {Variant::longValue(1), false, false},
      {Variant::string(u"True"), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(reference::selectsPass(c.v, 1), c.pass1) << typeName(c.v.type());
    EXPECT_EQ(reference::selectsPass(c.v, 2), c.pass2) << typeName(c.v.type());
  }
}

}  // namespace
}  // namespace dorvane
