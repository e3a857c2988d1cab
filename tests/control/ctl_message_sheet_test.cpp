#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "worksheet/sheet_harness.h"

namespace dorvane {
namespace {

using testing::RecordingObserver;
using testing::RunningSheet;
using testing::SheetDatabase;
using testing::utf8;

class CtlMessageSheet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new SheetDatabase; }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  void SetUp() override {
    control_.setMessageBox(box_);
    control_.setObserver(&observer_);
  }
  std::string at(long row, long column) { return utf8(running_.ws().get(row, column)); }

  static SheetDatabase* db_;
  RunningSheet running_;
  ctlMessage control_;
  std::shared_ptr<RecordingMessageBox> box_ = std::make_shared<RecordingMessageBox>();
  RecordingObserver observer_;
};
SheetDatabase* CtlMessageSheet::db_ = nullptr;

TEST_F(CtlMessageSheet, RunsThePassesInTheirFixedOrder) {
  const std::string p = db_->path();
  const std::string other = p + ".other";
  struct Case {
    const char* name;
    std::u16string second;
    std::vector<std::string> passes;
  };
  const std::vector<Case> cases = {
      {"no secondary", u"", {p + " 1", p + " 2"}},
      {"secondary", text::fromUtf8(other), {p + " 1", other + " 1", p + " 2", other + " 2"}},
      {"secondary equal to primary", db_->path16(), {p + " 1", p + " 1", p + " 2", p + " 2"}},
      {"blank secondary counts", u" ", {p + " 1", "  1", p + " 2", "  2"}},
  };
  for (const auto& tc : cases) {
    observer_.passes.clear();
    box_->shown.clear();
    const std::u16string primary = db_->path16();
    const std::u16string second = tc.second;
    Variant result = control_.ocxKiv(primary, second);
    EXPECT_TRUE(result.isEmpty()) << tc.name;
    EXPECT_EQ(observer_.passes, tc.passes) << tc.name;
    EXPECT_EQ(primary, db_->path16()) << tc.name;
    EXPECT_EQ(second, tc.second) << tc.name;
    EXPECT_EQ(control_.get_wkcycle(), 2) << tc.name;
    EXPECT_FALSE(control_.get_objExcel() || control_.get_objWorkbook() ||
                 control_.get_objWorksheet())
        << tc.name;
  }
}

TEST_F(CtlMessageSheet, MergesValuesOfBothPassesAndExpandsDetails) {
  running_.ws().set(1, 2, Variant::string(u"!!price,A01;"));
  running_.ws().set(2, 2, Variant::string(u"!!name,A02;"));
  running_.ws().set(4, 2, Variant::string(u"&&orders,A01"));
  running_.ws().set(7, 2, Variant::string(u"&&late"));
  control_.ocxKiv(db_->path16(), u"");
  EXPECT_TRUE(box_->shown.empty());
  EXPECT_TRUE(control_.failures().empty());
  EXPECT_EQ(at(1, 2), "200");
  EXPECT_EQ(at(2, 2), "note");
  EXPECT_EQ(at(4, 2), "pen");
  EXPECT_EQ(at(5, 4), "200");
  EXPECT_EQ(at(7, 2), "pen") << "the pass-2 detail row is expanded in pass 2";
  EXPECT_EQ(running_.ws().commentAt(2, 2)->text(), u"品名");
  EXPECT_TRUE(control_.get_kivdb() && control_.get_kivrs() && control_.get_rs());
}

TEST_F(CtlMessageSheet, FailedPassShowsErrorAndTheNextPassStillRuns) {
  running_.ws().set(1, 2, Variant::string(u"!!price,A01;"));
  running_.ws().addComment(1, 2);
  running_.ws().set(3, 2, Variant::string(u"!!name,A02;"));
  control_.ocxKiv(db_->path16(), u"");
  ASSERT_EQ(box_->shown.size(), 1u);
  EXPECT_EQ(box_->shown[0].text, u"error");
  EXPECT_NE(box_->shown[0].reason.find("already has a comment"), std::string::npos);
  ASSERT_EQ(control_.failures().size(), 1u);
  EXPECT_EQ(control_.failures()[0].number, err::kSheetOperationFailed);
  EXPECT_EQ(at(1, 2), "200");
  EXPECT_EQ(at(3, 2), "note") << "pass 2 runs after pass 1 failed";
  EXPECT_FALSE(control_.get_objExcel());
}

TEST_F(CtlMessageSheet, NoRunningApplicationShowsErrorOncePerPass) {
  sheet::registerRunning(nullptr);
  ::setenv("DORVANE_CALC", "pipe,name=dorvane-test-nobody-listens", 1);
  control_.ocxKiv(db_->path16(), db_->path16());
  ::unsetenv("DORVANE_CALC");
  ASSERT_EQ(box_->shown.size(), 4u);
  for (const auto& shown : box_->shown) EXPECT_EQ(shown.text, u"error");
  for (const auto& f : control_.failures()) EXPECT_EQ(f.number, err::kCannotCreateObject);
  EXPECT_EQ(control_.get_wkcycle(), 2);
}

TEST_F(CtlMessageSheet, DetailFailureIsSilentAndRecorded) {
  running_.ws().set(2, 2, Variant::string(u"&&noitems"));
  control_.ocxKiv(db_->path16(), u"");
  EXPECT_TRUE(box_->shown.empty());
  ASSERT_EQ(control_.failures().size(), 1u) << "pass 2 passes the pass-1 row over";
  EXPECT_EQ(control_.failures()[0].number, err::kNoCurrentRecord);
  EXPECT_EQ(at(2, 2), "&&noitems");
}

TEST_F(CtlMessageSheet, DetailMethodWithoutStateEndsSilently) {
  control_.明細型();
  EXPECT_TRUE(box_->shown.empty());
  ASSERT_EQ(control_.failures().size(), 1u);
  EXPECT_EQ(control_.failures()[0].number, err::kObjectNotSet);
}

}  // namespace
}  // namespace dorvane
