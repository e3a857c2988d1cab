#include "worksheet/sheet_pass.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include "worksheet/sheet_harness.h"

namespace dorvane::worksheet {
namespace {

using testing::RunningSheet;
using testing::SheetDatabase;
using testing::SheetState;
using testing::utf8;

class SheetPass : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new SheetDatabase; }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  void SetUp() override { state_.curdbloc = db_->path16(); }

  void put(long row, long column, const char16_t* text) {
    running_.ws().set(row, column, Variant::string(text));
  }
  std::string at(long row, long column) { return utf8(running_.ws().get(row, column)); }
  std::shared_ptr<sheet::MemoryComment> note(long row, long column) {
    return running_.ws().commentAt(row, column);
  }
  PassEnd run(int pass) {
    auto m = state_.members(pass);
    return mergeSheetPass(m, [this] {
      ++detailCalls_;
      detailCell_ = text::toUtf8(state_.c->Address());
    });
  }

  static SheetDatabase* db_;
  RunningSheet running_;
  SheetState state_;
  int detailCalls_ = 0;
  std::string detailCell_;
};
SheetDatabase* SheetPass::db_ = nullptr;

TEST_F(SheetPass, SheetWithoutMarkersIsLeftAloneAndTheDatabaseUnopened) {
  put(2, 2, u"plain text");
  EXPECT_EQ(run(1), PassEnd::Completed);
  EXPECT_EQ(at(2, 2), "plain text");
  EXPECT_FALSE(state_.kivdb);
  EXPECT_FALSE(state_.kivrs);
  EXPECT_EQ(detailCalls_, 0);
  EXPECT_FALSE(state_.c);
  EXPECT_TRUE(running_.ws().wholeSheetSelected());
  EXPECT_TRUE(state_.objExcel && state_.objWorkbook && state_.objWorksheet);
}

TEST_F(SheetPass, DetailCellWithoutValuePlaceholdersGoesStraightToTheDetailStep) {
  put(4, 3, u"&&orders");
  put(2, 5, u"&&gap2");
  EXPECT_EQ(run(1), PassEnd::Completed);
  EXPECT_EQ(detailCalls_, 1);
  EXPECT_EQ(detailCell_, "$E$2") << "c holds the first \"&&\" cell in search order";
  EXPECT_FALSE(state_.kivdb) << "the pass opens no database without a value placeholder";
}

TEST_F(SheetPass, SinglePlaceholderGetsItsValueAndHiddenComment) {
  put(3, 2, u"!!price,A01;");
  EXPECT_EQ(run(1), PassEnd::Completed);
  EXPECT_EQ(running_.ws().get(3, 2), Variant::dbl(200));
  ASSERT_TRUE(note(3, 2));
  EXPECT_EQ(note(3, 2)->text(), u"単価");
  EXPECT_FALSE(note(3, 2)->visible());
  EXPECT_TRUE(state_.kivdb && state_.kivrs);
  EXPECT_EQ(detailCalls_, 0);
}

TEST_F(SheetPass, EveryOutcomeLeavesTheCellAsExpected) {
  struct Cell {
    long row, column;
    const char16_t* text;
    std::string pass1, pass2;  // cell text after pass 1, after pass 2
    const char16_t* comment;   // nullptr: none
  };
  const std::vector<Cell> cells = {
      {1, 2, u"!!price,A01;", "200", "200", u"単価"},
      {2, 1, u"!!name,A01;", "!!name,A01;", "pen", u"品名"},
      {2, 3, u"!!unknown,A01;", "!!unknown,A01;", "!!unknown,A01;", nullptr},
      {3, 1, u"!!plain,A02;", "246", "246", nullptr},
      {4, 4, u"!!blank,A02;", "246", "246", u""},
      {5, 1, u"!!badround,A01;", "!!badround,A01;", "!!badround,A01;", u"丸め不明"},
  };
  for (const auto& c : cells) put(c.row, c.column, c.text);
  put(9, 1, u"&&orders");

  EXPECT_EQ(run(1), PassEnd::Completed);
  for (const auto& c : cells)
    EXPECT_EQ(at(c.row, c.column), c.pass1) << utf8(Variant::string(c.text));
  EXPECT_EQ(detailCalls_, 1) << "the last placeholder cell leads on to the detail step";

  EXPECT_EQ(run(2), PassEnd::Completed);
  for (const auto& c : cells) {
    EXPECT_EQ(at(c.row, c.column), c.pass2) << utf8(Variant::string(c.text));
    auto n = note(c.row, c.column);
    const std::string name = utf8(Variant::string(c.text));
    if (!c.comment) {
      EXPECT_FALSE(n) << name;
    } else if (!n) {
      ADD_FAILURE() << name << ": no comment";
    } else {
      EXPECT_EQ(n->text(), c.comment) << name;
      EXPECT_FALSE(n->visible()) << name;
    }
  }
  EXPECT_EQ(detailCalls_, 2);
}

TEST_F(SheetPass, MalformedPlaceholderInSecondPlaceStopsThePassEveryTime) {
  put(1, 2, u"!!price,A01;");
  put(2, 1, u"!!price");
  put(3, 1, u"!!plain,A02;");
  put(8, 1, u"&&orders");
  EXPECT_EQ(run(1), PassEnd::Stopped);
  EXPECT_EQ(at(1, 2), "200");
  EXPECT_EQ(at(2, 1), "!!price");
  EXPECT_EQ(at(3, 1), "!!plain,A02;");
  EXPECT_EQ(detailCalls_, 0);
  EXPECT_EQ(text::toUtf8(state_.c->Address()), "$A$2") << "c stays on the cell that stopped";

  EXPECT_EQ(run(2), PassEnd::Stopped);
  EXPECT_EQ(at(3, 1), "!!plain,A02;");
  EXPECT_EQ(detailCalls_, 0);
}

TEST_F(SheetPass, TopLeftPlaceholderIsHandledLast) {
  put(1, 1, u"!!price,A02;");
  put(2, 2, u"!!price");
  EXPECT_EQ(run(1), PassEnd::Stopped);
  EXPECT_EQ(at(1, 1), "!!price,A02;") << "A1 comes after B2 in search order";
}

TEST_F(SheetPass, CellThatAlreadyHasACommentRaisesAfterItsValueIsWritten) {
  put(2, 2, u"!!price,A01;");
  put(3, 2, u"!!plain,A02;");
  running_.ws().addComment(2, 2)->setText(u"mine");
  try {
    run(1);
    ADD_FAILURE() << "second comment accepted";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kSheetOperationFailed);
  }
  EXPECT_EQ(at(2, 2), "200") << "the value goes in before the comment";
  EXPECT_EQ(note(2, 2)->text(), u"mine");
  EXPECT_EQ(at(3, 2), "!!plain,A02;");
}

TEST_F(SheetPass, RunTimeErrorsReachTheCaller) {
  struct Case {
    const char* name;
    std::function<void(RunningSheet&, SheetState&)> arrange;
    int number;
  };
  const std::vector<Case> cases = {
      {"source database missing",
       [](RunningSheet& s, SheetState&) { s.ws().set(2, 2, Variant::string(u"!!nodb,A01;")); },
       err::kFileNotFound},
      {"reference database missing",
       [](RunningSheet& s, SheetState& st) {
         s.ws().set(2, 2, Variant::string(u"!!price,A01;"));
         st.curdbloc = u"/nonexistent/kiv.sqlite";
       },
       err::kFileNotFound},
      {"no workbook",
       [](RunningSheet&, SheetState&) {
         sheet::registerRunning(std::make_shared<sheet::MemoryApplication>());
       },
       err::kObjectNotSet},
  };
  for (const auto& tc : cases) {
    RunningSheet sheet;
    SheetState st;
    st.curdbloc = db_->path16();
    tc.arrange(sheet, st);
    auto m = st.members(1);
    try {
      mergeSheetPass(m, [] {});
      ADD_FAILURE() << tc.name << ": no error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), tc.number) << tc.name << ": " << e.description();
    }
  }
}

}  // namespace
}  // namespace dorvane::worksheet
