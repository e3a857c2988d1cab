#include "platform/sheet/memory_sheet.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/utf.h"

namespace dorvane::sheet {
namespace {

struct Placed {
  long row, column;
  const char16_t* text;
};

// Fills a fresh worksheet with texts.
std::shared_ptr<MemoryWorksheet> sheetWith(const std::vector<Placed>& cells) {
  auto ws = std::make_shared<MemoryWorksheet>();
  for (const auto& p : cells) ws->set(p.row, p.column, Variant::string(p.text));
  return ws;
}

// The addresses Find then FindNext visit until the search returns to the first hit.
std::vector<std::string> searchOrder(MemoryWorksheet& ws, const std::u16string& what) {
  std::vector<std::string> out;
  auto cells = ws.Cells();
  auto c = cells->Find(what);
  if (!c) return out;
  const std::u16string first = c->Address();
  do {
    out.push_back(text::toUtf8(c->Address()));
    c = cells->FindNext(*c);
  } while (c && c->Address() != first && out.size() < 100);
  return out;
}

TEST(MemorySheetSearch, OrderIsByRowsWithTheTopLeftCellLast) {
  struct Case {
    const char* name;
    std::vector<Placed> cells;
    std::u16string what;
    std::vector<std::string> order;
  };
  const std::vector<Case> cases = {
      {"by rows, then columns",
       {{2, 1, u"!!b"}, {1, 3, u"!!a"}, {2, 2, u"!!c"}, {10, 1, u"!!d"}},
       u"!!",
       {"$C$1", "$A$2", "$B$2", "$A$10"}},
      {"top-left cell comes last", {{1, 1, u"!!x"}, {5, 5, u"!!y"}}, u"!!", {"$E$5", "$A$1"}},
      {"partial and case-insensitive",
       {{1, 2, u"a Key b"}, {3, 1, u"KEY"}, {4, 1, u"kez"}},
       u"key",
       {"$B$1", "$A$3"}},
      {"full-width letters fold too", {{1, 2, u"ＡＢＣ"}}, u"ａｂｃ", {"$B$1"}},
      {"no hit", {{1, 2, u"plain"}}, u"!!", {}},
      {"wide columns", {{1, 16384, u"!!"}, {1, 27, u"!!"}}, u"!!", {"$AA$1", "$XFD$1"}},
  };
  for (const auto& tc : cases) {
    auto ws = sheetWith(tc.cells);
    EXPECT_EQ(searchOrder(*ws, tc.what), tc.order) << tc.name;
  }
}

// Values other than text are searched in their text form; a search for what
// no number's text can hold ("!!") passes numbers by.
TEST(MemorySheetSearch, NumbersMatchTheirTextForm) {
  const struct {
    Variant value;
    std::u16string what;
    bool hit;
  } cases[] = {
      {Variant::dbl(1250.5), u"50.5", true},  {Variant::dbl(1.5e20), u"e+2", true},
      {Variant::longValue(-42), u"-4", true}, {Variant::currencyScaled(12345), u"1.23", true},
      {Variant::dbl(1250.5), u"", true},      {Variant::dbl(1250.5), u"!!", false},
      {Variant::dbl(12), u"12;", false},      {Variant::boolean(true), u"tru", true},
      {Variant::date(45293), u"/01/", true},
  };
  for (const auto& tc : cases) {
    auto ws = std::make_shared<MemoryWorksheet>();
    ws->set(3, 3, tc.value);
    auto hit = ws->Cells()->Find(tc.what);
    EXPECT_EQ(hit != nullptr, tc.hit) << text::toUtf8(tc.what);
    if (hit) EXPECT_EQ(hit->Address(), u"$C$3");
  }
}

TEST(MemorySheetSearch, FindNextWrapsAndReturnsASingleHitItself) {
  auto ws = sheetWith({{4, 2, u"&&only"}});
  auto cells = ws->Cells();
  auto c = cells->Find(u"&&");
  ASSERT_TRUE(c);
  auto again = cells->FindNext(*c);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Address(), u"$B$4");
  ws->set(4, 2, Variant::string(u"done"));
  EXPECT_FALSE(cells->FindNext(*c)) << "no cell holds the text any more";
}

TEST(MemorySheetSearch, FindNextNeedsAFindBeforeIt) {
  auto ws = sheetWith({{2, 2, u"&&x"}});
  EXPECT_THROW(ws->Cells()->FindNext(*ws->Cells(1, 1)), RuntimeError);
}

TEST(MemorySheetSearch, FindNextContinuesTheLastSearchAfterTheGivenCell) {
  auto ws = sheetWith({{1, 2, u"!!a"}, {2, 1, u"&&b"}, {3, 1, u"!!c"}, {4, 1, u"&&d"}});
  auto cells = ws->Cells();
  ASSERT_TRUE(cells->Find(u"!!"));
  auto d = cells->Find(u"&&");
  ASSERT_EQ(d->Address(), u"$A$2");
  // After a cell that is no hit itself, the search goes on from that cell.
  auto next = cells->FindNext(*ws->Cells(3, 1));
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Address(), u"$A$4");
  EXPECT_EQ(cells->FindNext(*next)->Address(), u"$A$2");
}

TEST(MemorySheetCells, LimitsOfTheSheet) {
  auto keep = std::make_shared<MemoryWorksheet>();
  struct Case {
    long row, column;
    bool ok;
  };
  for (const Case& tc :
       {Case{1, 1, true}, Case{1048576, 16384, true}, Case{0, 1, false}, Case{1, 0, false},
        Case{1048577, 1, false}, Case{1, 16385, false}, Case{-3, 2, false}}) {
    if (tc.ok) {
      EXPECT_NO_THROW(keep->Cells(tc.row, tc.column)) << tc.row << "," << tc.column;
    } else {
      try {
        keep->Cells(tc.row, tc.column);
        ADD_FAILURE() << "no error for " << tc.row << "," << tc.column;
      } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::kSheetOperationFailed);
      }
    }
  }
  EXPECT_EQ(keep->Cells(1048576, 16384)->Address(), u"$XFD$1048576");
}

TEST(MemorySheetCells, ValuesAreStoredByKindAndEmptyOnesClearTheCell) {
  auto ws = std::make_shared<MemoryWorksheet>();
  auto cell = ws->Cells(2, 3);
  cell->setValue(Variant::dbl(12.5));
  EXPECT_EQ(cell->Value(), Variant::dbl(12.5));
  cell->setValue(Variant::boolean(true));
  EXPECT_EQ(cell->Value(), Variant::boolean(true));
  cell->setValue(Variant::string(u"=1+1"));
  EXPECT_EQ(cell->Value(), Variant::string(u"=1+1")) << "texts are never formulas";
  cell->setValue(Variant::null());
  EXPECT_TRUE(cell->Value().isEmpty());
  cell->setValue(Variant::string(u"x"));
  cell->setValue(Variant::string(u""));
  EXPECT_TRUE(cell->Value().isEmpty());
  EXPECT_TRUE(ws->usedCells().empty());
  try {
    cell->setValue(Variant::binary({1, 2}));
    ADD_FAILURE() << "binary data stored";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

TEST(MemorySheetComments, OneCommentPerCellThatOutlivesTheValue) {
  auto ws = std::make_shared<MemoryWorksheet>();
  auto cell = ws->Cells(5, 1);
  EXPECT_FALSE(cell->comment());
  auto note = cell->AddComment();
  ASSERT_TRUE(note);
  EXPECT_EQ(note->text(), u"");
  note->setVisible(false);
  note->setText(u"説明");
  EXPECT_EQ(ws->commentAt(5, 1)->text(), u"説明");
  EXPECT_FALSE(ws->commentAt(5, 1)->visible());
  try {
    ws->Cells(5, 1)->AddComment();
    ADD_FAILURE() << "second comment accepted";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kSheetOperationFailed);
    EXPECT_NE(std::string(e.description()).find("$A$5"), std::string::npos);
  }
  cell->setValue(Variant::string(u"v"));
  cell->setValue(Variant::null());
  EXPECT_TRUE(ws->commentAt(5, 1)) << "clearing the value keeps the comment";
}

TEST(MemorySheetCells, ActivateAndSelectFollowTheRange) {
  auto ws = std::make_shared<MemoryWorksheet>();
  ws->Cells()->Select();
  EXPECT_TRUE(ws->wholeSheetSelected());
  ws->Cells(7, 4)->Activate();
  EXPECT_EQ(ws->activeCell(), (std::pair<long, long>{7, 4}));
  EXPECT_TRUE(ws->wholeSheetSelected()) << "activating a cell keeps the selection";
  ws->Cells(2, 2)->Select();
  EXPECT_FALSE(ws->wholeSheetSelected());
}

TEST(MemoryApplication, ActiveWorkbookAndSheet) {
  auto app = std::make_shared<MemoryApplication>();
  EXPECT_THROW(app->ActiveWorkbook(), RuntimeError);
  auto wb = app->addWorkbook();
  EXPECT_THROW(wb->ActiveSheet(), RuntimeError);
  auto ws = wb->addWorksheet();
  EXPECT_EQ(app->ActiveWorkbook()->ActiveSheet(), ws);
  wb->addChartSheet();
  try {
    wb->ActiveSheet();
    ADD_FAILURE() << "a chart sheet was taken as a worksheet";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kTypeMismatch);
  }
}

}  // namespace
}  // namespace dorvane::sheet
