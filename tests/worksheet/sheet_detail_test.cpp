#include "worksheet/sheet_detail.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "worksheet/sheet_harness.h"

namespace dorvane::worksheet {
namespace {

using testing::RunningSheet;
using testing::SheetDatabase;
using testing::SheetState;
using testing::utf8;

TEST(DetailText, SplitsAtTheFirstComma) {
  struct Case {
    std::u16string text, key;
    std::optional<std::u16string> value;
  };
  for (const Case& tc :
       {Case{u"&&orders", u"&&orders", std::nullopt}, Case{u"&&orders,A01", u"&&orders", u"A01"},
        Case{u"&&orders,", u"&&orders", u""}, Case{u"&&orders,A,B", u"&&orders", u"A,B"},
        Case{u",x", u"", u"x"}}) {
    DetailText parts = splitDetailText(tc.text);
    EXPECT_EQ(parts.key, tc.key) << text::toUtf8(tc.text);
    EXPECT_EQ(parts.keyValue, tc.value) << text::toUtf8(tc.text);
  }
}

TEST(DetailSlots, SlotNumbersRoundToEvenAndStayWithinTheTable) {
  struct Case {
    Variant order;
    int slot;  // -1: run-time error with the number below
    int number;
  };
  const std::vector<Case> cases = {
      {Variant::integer(0), 0, 0},
      {Variant::integer(100), 100, 0},
      {Variant::dbl(2.5), 2, 0},
      {Variant::dbl(3.5), 4, 0},
      {Variant::string(u"7"), 7, 0},
      {Variant::dbl(-0.4), 0, 0},
      {Variant::integer(101), -1, err::kSubscriptOutOfRange},
      {Variant::integer(-1), -1, err::kSubscriptOutOfRange},
      {Variant::null(), -1, err::kInvalidUseOfNull},
      {Variant::string(u"x"), -1, err::kTypeMismatch},
  };
  for (const auto& tc : cases) {
    if (tc.slot >= 0) {
      EXPECT_EQ(slotNumber(tc.order), tc.slot) << utf8(tc.order);
      continue;
    }
    try {
      slotNumber(tc.order);
      ADD_FAILURE() << utf8(tc.order) << ": no error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), tc.number) << utf8(tc.order);
    }
  }
}

class SheetDetail : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = new SheetDatabase; }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  void SetUp() override {
    state_.curdbloc = db_->path16();
    state_.objWorksheet = running_.ws().shared_from_this();
  }

  void put(long row, long column, const char16_t* text) {
    running_.ws().set(row, column, Variant::string(text));
  }
  std::string at(long row, long column) { return utf8(running_.ws().get(row, column)); }
  std::vector<std::string> row(long r, long fromColumn, long toColumn) {
    std::vector<std::string> out;
    for (long c = fromColumn; c <= toColumn; ++c) out.push_back(at(r, c));
    return out;
  }
  // Starts the walk as the pass does: c is the first "&&" hit of the search.
  // Returns the run-time error number that ended it, 0 for a normal end.
  int walk(int pass) {
    state_.c = running_.ws().Cells()->Find(u"&&");
    if (!state_.c) return -1;
    auto m = state_.members(pass);
    try {
      expandDetails(m);
    } catch (const RuntimeError& e) {
      description_ = e.description();
      return e.number();
    }
    return 0;
  }
  bool ran(const std::string& sql) {
    const auto& all = state_.observer.sql_;
    return std::find(all.begin(), all.end(), sql) != all.end();
  }

  static SheetDatabase* db_;
  RunningSheet running_;
  SheetState state_;
  std::string description_;
};
SheetDatabase* SheetDetail::db_ = nullptr;

using Row = std::vector<std::string>;

TEST_F(SheetDetail, BlockOfEveryRecordWithItsCommentAddedFirst) {
  put(2, 2, u"&&orders");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(2, 2, 5), (Row{"pen", "1", "100", ""}));
  EXPECT_EQ(row(3, 2, 5), (Row{"ink", "2", "200", ""}));
  EXPECT_EQ(row(4, 2, 5), (Row{"cap", "3", "300", ""}));
  EXPECT_EQ(row(5, 2, 5), (Row{"quoted", "4", "400", ""}));
  EXPECT_EQ(at(6, 2), "");
  EXPECT_EQ(running_.ws().get(3, 3), Variant::longValue(2)) << "numbers stay numbers";
  auto note = running_.ws().commentAt(2, 2);
  ASSERT_TRUE(note);
  EXPECT_EQ(note->text(), u"注文");
  EXPECT_FALSE(note->visible());
  EXPECT_TRUE(
      ran("select all 明細項目ﾃｰﾌﾞﾙ.* from 明細項目ﾃｰﾌﾞﾙ where 明細項目ﾃｰﾌﾞﾙ.ｷｰ = '&&orders'"));
  EXPECT_TRUE(state_.kivrs2 && state_.DB && state_.rs);
}

TEST_F(SheetDetail, RowSpacingTwoLeavesTheRowsBetweenAlone) {
  put(1, 2, u"&&gap2");
  put(2, 3, u"between");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(1, 2, 3), (Row{"pen", "1"}));
  EXPECT_EQ(row(2, 2, 3), (Row{"", "between"}));
  EXPECT_EQ(row(3, 2, 3), (Row{"ink", "2"}));
  EXPECT_EQ(row(5, 2, 3), (Row{"cap", "3"}));
  EXPECT_EQ(row(7, 2, 3), (Row{"quoted", "4"}));
  EXPECT_FALSE(running_.ws().commentAt(1, 2)) << "内容説明 Null adds no comment";
}

TEST_F(SheetDetail, RowSpacingZeroOverwritesOnlyThePlaceholderCell) {
  put(1, 2, u"&&gap0");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(1, 2, 3), (Row{"quoted", "1"}));
  EXPECT_EQ(at(2, 2), "");
}

TEST_F(SheetDetail, CellsWithContentInsideTheBlockKeepIt) {
  put(2, 2, u"&&orders");
  put(3, 3, u"mine");
  running_.ws().set(4, 4, Variant::dbl(0));
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(3, 2, 4), (Row{"ink", "mine", "200"}));
  EXPECT_EQ(row(4, 2, 4), (Row{"cap", "3", "0"}));
  EXPECT_EQ(at(2, 2), "pen") << "the placeholder cell is always overwritten";
}

TEST_F(SheetDetail, ColumnsEndAtTheFirstFreeSlot) {
  put(1, 2, u"&&slots013");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(1, 2, 5), (Row{"pen", "1", "", ""})) << "slot 3 is never shown";
}

TEST_F(SheetDetail, LaterDetailItemWinsASharedSlot) {
  put(1, 2, u"&&dup");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(1, 2, 3), (Row{"pen", "100"}));
}

TEST_F(SheetDetail, TargetWithoutRecordsEmptiesThePlaceholderWithoutComment) {
  put(2, 2, u"&&none");
  put(4, 2, u"&&orders,");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(at(2, 2), "");
  EXPECT_EQ(at(4, 2), "");
  EXPECT_FALSE(running_.ws().commentAt(2, 2));
  EXPECT_FALSE(running_.ws().commentAt(4, 2));
  EXPECT_TRUE(ran("select all orders.* from orders where orders.code =''"));
}

TEST_F(SheetDetail, KeyAndValueFormSelectsTheRecordsOfItsKeyValue) {
  put(2, 2, u"&&orders,A01");
  put(6, 2, u"&&query,B02");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_TRUE(ran("select all orders.* from orders where orders.code ='A01'"));
  EXPECT_TRUE(ran("select all q_orders.* from q_orders where q_orders.code ='B02'"));
  EXPECT_EQ(row(2, 2, 4), (Row{"pen", "1", "100"}));
  EXPECT_EQ(row(3, 2, 4), (Row{"ink", "2", "200"}));
  EXPECT_EQ(row(4, 2, 4), (Row{"", "", ""}));
  EXPECT_EQ(row(6, 2, 3), (Row{"cap", "30"}));
}

TEST_F(SheetDetail, QuotesInKeyAndKeyValueStayInsideTheLiterals) {
  put(2, 2, u"&&o'q");
  put(5, 2, u"&&orders,A'1");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_TRUE(
      ran("select all 明細項目ﾃｰﾌﾞﾙ.* from 明細項目ﾃｰﾌﾞﾙ where 明細項目ﾃｰﾌﾞﾙ.ｷｰ = '&&o''q'"));
  EXPECT_TRUE(ran("select all orders.* from orders where orders.code ='A''1'"));
  EXPECT_EQ(at(2, 2), "pen");
  EXPECT_EQ(row(5, 2, 4), (Row{"quoted", "4", "400"}));
}

TEST_F(SheetDetail, PassSelectorDecidesWhichPassExpands) {
  put(2, 2, u"&&late");
  put(4, 2, u"&&never");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(at(2, 2), "&&late");
  EXPECT_EQ(at(4, 2), "&&never");
  ASSERT_EQ(walk(2), 0) << description_;
  EXPECT_EQ(at(2, 2), "pen");
  EXPECT_EQ(at(4, 2), "&&never");
}

TEST_F(SheetDetail, SeveralPlaceholdersInSearchOrder) {
  put(1, 1, u"&&orders,B02");  // the top-left cell: visited last
  put(3, 2, u"&&orders,A01");
  put(8, 1, u"&&unknown");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(row(1, 1, 3), (Row{"cap", "3", "300"}));
  EXPECT_EQ(row(3, 2, 3), (Row{"pen", "1"}));
  EXPECT_EQ(at(8, 1), "&&unknown");
}

TEST_F(SheetDetail, WalkEndsWhenThePassedOverHitComesRoundAgain) {
  // The last hit of the pre-scan is expanded while an earlier one was passed
  // over: the search keeps returning the passed-over hit.
  put(2, 2, u"&&unknown");
  put(3, 2, u"&&late");
  put(5, 2, u"&&orders,B02");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(at(2, 2), "&&unknown");
  EXPECT_EQ(at(3, 2), "&&late");
  EXPECT_EQ(at(5, 2), "cap");
  EXPECT_EQ(text::toUtf8(state_.c->Address()), "$B$2");
}

TEST_F(SheetDetail, UnknownKeyAsLastHitEndsTheWalk) {
  put(2, 2, u"&&orders,B02");
  put(3, 2, u"&&unknown");
  ASSERT_EQ(walk(1), 0) << description_;
  EXPECT_EQ(at(2, 2), "cap");
  EXPECT_EQ(at(3, 2), "&&unknown");
  EXPECT_EQ(running_.ws().activeCell(), (std::pair<long, long>{3, 2}));
}

TEST_F(SheetDetail, FailuresEndTheWalkAndLeaveLaterPlaceholders) {
  struct Case {
    const char16_t* text;
    int number;
    Row firstRow;  // columns B to D of the placeholder's row afterwards
    bool comment;
  };
  const std::vector<Case> cases = {
      {u"&&noitems", err::kNoCurrentRecord, {"&&noitems", "", ""}, false},
      {u"&&noslot0", err::kItemNotFound, {"&&noslot0", "", ""}, true},
      {u"&&badfield", err::kItemNotFound, {"pen", "", ""}, false},
      {u"&&slot100", err::kSubscriptOutOfRange, {"1", "1", "1"}, false},
  };
  for (const auto& tc : cases) {
    RunningSheet sheet;
    SheetState st;
    st.curdbloc = db_->path16();
    st.objWorksheet = sheet.ws().shared_from_this();
    sheet.ws().set(2, 2, Variant::string(tc.text));
    sheet.ws().set(9, 2, Variant::string(u"&&orders,B02"));
    st.c = sheet.ws().Cells()->Find(u"&&");
    auto m = st.members(1);
    const std::string name = utf8(Variant::string(tc.text));
    try {
      expandDetails(m);
      ADD_FAILURE() << name << ": no error";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), tc.number) << name << ": " << e.description();
    }
    Row got;
    for (long c = 2; c <= 4; ++c) got.push_back(utf8(sheet.ws().get(2, c)));
    EXPECT_EQ(got, tc.firstRow) << name;
    EXPECT_EQ(static_cast<bool>(sheet.ws().commentAt(2, 2)), tc.comment) << name;
    EXPECT_EQ(utf8(sheet.ws().get(9, 2)), "&&orders,B02") << name;
  }
}

TEST_F(SheetDetail, SlotHundredWritesEveryColumnBeforeItFails) {
  put(2, 2, u"&&slot100");
  EXPECT_EQ(walk(1), err::kSubscriptOutOfRange);
  EXPECT_EQ(at(2, 102), "1") << "slot 100 is written";
  EXPECT_EQ(at(2, 103), "");
  EXPECT_EQ(at(3, 2), "") << "the second record never starts";
}

TEST_F(SheetDetail, RowsOffTheSheetEndTheWalk) {
  put(sheet::kMaxRows - 1, 2, u"&&gap2");
  EXPECT_EQ(walk(1), err::kSheetOperationFailed);
  EXPECT_EQ(at(sheet::kMaxRows - 1, 2), "pen");
}

}  // namespace
}  // namespace dorvane::worksheet
