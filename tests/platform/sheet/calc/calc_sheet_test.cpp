// The LibreOffice Calc backend against a private headless Calc that the test
// starts and always ends. Skipped when the build has no Calc support.
#include "platform/sheet/calc/calc_sheet.h"

#include <dorvane/ctl_message.h>
#include <dorvane/message_box.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sheet/calc/calc_process.h"
#include "platform/sheet/calc/calc_support.h"
#include "platform/text/utf.h"

#ifdef DORVANE_HAVE_UNO
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>

#include "platform/sheet/calc/calc_uno.h"
#endif

namespace dorvane::sheet::calc {
namespace {

class CalcSheet : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (auto why = testing::calcUnavailable()) return;
    try {
      calc_ = CalcProcess::start().release();
      calc_->create();
    } catch (const RuntimeError& e) {
      startError_ = e.description();
    }
  }
  static void TearDownTestSuite() {
    delete calc_;  // ends Calc and removes its profile
    calc_ = nullptr;
  }
  void SetUp() override {
    if (auto why = testing::calcUnavailable()) GTEST_SKIP() << *why;
    ASSERT_TRUE(calc_) << startError_;
    ws_ = attach(calc_->address())->ActiveWorkbook()->ActiveSheet();
    cells_ = ws_->Cells();
  }
  void put(long row, long column, const char16_t* text) {
    ws_->Cells(row, column)->setValue(Variant::string(text));
  }
  std::vector<std::string> searchOrder(const std::u16string& what) {
    std::vector<std::string> out;
    auto c = cells_->Find(what);
    if (!c) return out;
    const std::u16string first = c->Address();
    do {
      out.push_back(text::toUtf8(c->Address()));
      c = cells_->FindNext(*c);
    } while (c && c->Address() != first && out.size() < 50);
    return out;
  }
  void clearAll(long rows, long columns) {
    for (long r = 1; r <= rows; ++r)
      for (long c = 1; c <= columns; ++c) ws_->Cells(r, c)->setValue(Variant());
  }

  static CalcProcess* calc_;
  static std::string startError_;
  std::shared_ptr<Worksheet> ws_;
  std::shared_ptr<Range> cells_;
};
CalcProcess* CalcSheet::calc_ = nullptr;
std::string CalcSheet::startError_;

TEST_F(CalcSheet, SearchMatchesTheInProcessSheet) {
  clearAll(12, 4);
  put(2, 1, u"!!b");
  put(1, 3, u"!!a");
  put(2, 2, u"x !!C y");
  put(10, 1, u"!!d");
  put(1, 1, u"!!top");
  put(5, 4, u"plain");
  EXPECT_EQ(searchOrder(u"!!"),
            (std::vector<std::string>{"$C$1", "$A$2", "$B$2", "$A$10", "$A$1"}));
  EXPECT_EQ(searchOrder(u"!!c"), (std::vector<std::string>{"$B$2"})) << "case-insensitive";
  EXPECT_TRUE(searchOrder(u"&&").empty());
  auto single = cells_->Find(u"plain");
  ASSERT_TRUE(single);
  auto again = cells_->FindNext(*single);
  ASSERT_TRUE(again) << "a single hit wraps to itself";
  EXPECT_EQ(again->Address(), u"$D$5");
  clearAll(12, 4);
}

TEST_F(CalcSheet, WritesThroughTheSheetUpdateTheSearch) {
  clearAll(6, 4);
  put(2, 2, u"!!one");
  put(4, 1, u"!!two");
  auto first = cells_->Find(u"!!");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->Address(), u"$B$2");
  EXPECT_EQ(first->Value(), Variant::string(u"!!one"));
  first->setValue(Variant::dbl(5));  // no longer a hit
  EXPECT_EQ(ws_->Cells(2, 2)->Value(), Variant::dbl(5)) << "a written hit reads what was written";
  put(3, 3, u"new !!three");  // a new hit
  EXPECT_EQ(searchOrder(u"!!"), (std::vector<std::string>{"$C$3", "$A$4"}));
  auto next = cells_->FindNext(*ws_->Cells(3, 3));
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Address(), u"$A$4");
  ws_->Cells(4, 1)->setValue(Variant::null());
  ws_->Cells(3, 3)->setValue(Variant::string(u"done"));
  EXPECT_FALSE(cells_->FindNext(*ws_->Cells(3, 3))) << "no cell holds the text any more";
  clearAll(6, 4);
}

TEST_F(CalcSheet, ValuesAreWrittenByKind) {
  struct Case {
    const char* name;
    Variant in;
    Variant out;
  };
  const std::vector<Case> cases = {
      {"double", Variant::dbl(12.5), Variant::dbl(12.5)},
      {"long", Variant::longValue(-7), Variant::dbl(-7)},
      {"currency", Variant::currencyScaled(12345), Variant::dbl(1.2345)},
      {"text", Variant::string(u"品名"), Variant::string(u"品名")},
      {"formula-like text stays text", Variant::string(u"=1+1"), Variant::string(u"=1+1")},
      {"numeric text stays text", Variant::string(u"0012"), Variant::string(u"0012")},
      {"boolean", Variant::boolean(true), Variant::dbl(1)},
      {"date", Variant::date(45000), Variant::dbl(45000)},
      {"null clears", Variant::null(), Variant()},
      {"empty text clears", Variant::string(u""), Variant()},
  };
  for (const auto& tc : cases) {
    auto cell = ws_->Cells(3, 3);
    cell->setValue(Variant::string(u"before"));
    cell->setValue(tc.in);
    EXPECT_EQ(cell->Value(), tc.out) << tc.name;
  }
  EXPECT_THROW(ws_->Cells(3, 3)->setValue(Variant::binary({1})), RuntimeError);
}

TEST_F(CalcSheet, HiddenCommentsOncePerCell) {
  auto cell = ws_->Cells(6, 2);
  ASSERT_FALSE(cell->comment());
  auto note = cell->AddComment();
  note->setVisible(false);
  note->setText(u"単価の説明");
  auto again = ws_->Cells(6, 2)->comment();
  ASSERT_TRUE(again);
  EXPECT_EQ(again->text(), u"単価の説明");
  EXPECT_FALSE(again->visible());
  try {
    ws_->Cells(6, 2)->AddComment();
    ADD_FAILURE() << "second comment accepted";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kSheetOperationFailed);
  }
  // A worksheet attached afresh reads the notes Calc holds.
  auto fresh = attach(calc_->address())->ActiveWorkbook()->ActiveSheet();
  EXPECT_THROW(fresh->Cells(6, 2)->AddComment(), RuntimeError);
  auto empty = ws_->Cells(7, 2)->AddComment();
  empty->setVisible(false);
  empty->setText(u"");
  auto kept = ws_->Cells(7, 2)->comment();
  ASSERT_TRUE(kept) << "an empty comment is still a comment";
  EXPECT_EQ(kept->text(), u"");
}

#ifdef DORVANE_HAVE_UNO
// A pass holds Calc's screen updates and recalculation back and gives both
// back as they were, also when it fails half-way.
TEST_F(CalcSheet, APassRestoresCalculationAndControllersAlsoWhenItFails) {
  namespace css = ::com::sun::star;
  auto documents = desktopOf(connect(unoUrl(calc_->address())))->getComponents();
  uno::Reference<css::frame::XModel> model(documents->createEnumeration()->nextElement(),
                                           uno::UNO_QUERY_THROW);
  uno::Reference<css::sheet::XCalculatable> calculation(model, uno::UNO_QUERY_THROW);
  put(1, 1, u"!!price,A01;");
  RunningOnThisThread running(attach(calc_->address()));
  for (bool automatic : {true, false}) {
    calculation->enableAutomaticCalculation(automatic);
    ctlMessage control;
    control.setMessageBox(std::make_shared<RecordingMessageBox>());
    control.ocxKiv(u"/nonexistent/kiv.sqlite", u"");
    EXPECT_EQ(control.failures().size(), 2u) << "both passes fail once they hold the updates";
    EXPECT_EQ(calculation->isAutomaticCalculationEnabled(), automatic);
    EXPECT_FALSE(model->hasControllersLocked());
  }
  calculation->enableAutomaticCalculation(true);
  clearAll(1, 1);
}
#endif

TEST(CalcAttach, NothingListeningIsRunTimeError429) {
  if (auto why = testing::calcUnavailable()) GTEST_SKIP() << *why;
  try {
    attach("pipe,name=dorvane-test-nobody-listens-here");
    ADD_FAILURE() << "attached to nothing";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kCannotCreateObject);
  }
}

}  // namespace
}  // namespace dorvane::sheet::calc
