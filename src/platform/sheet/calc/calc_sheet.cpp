// The spreadsheet interfaces over LibreOffice Calc. Each object holds UNO
// references into the office; every UNO exception becomes a RuntimeError
// (1004) naming what was tried.
//
// Searching: Find asks Calc once for every cell that contains the text (its
// own search: partial, case-insensitive) and keeps their positions; FindNext
// walks them in the in-process sheet's order (by rows, after the given cell,
// wrapping around, the top-left cell last). Cells written through these
// objects update the kept positions; edits made in Calc by someone else
// during a merge are not seen, as the merge does not guard against them.
//
// Comments: AddComment checks against the cells that had a note when the
// worksheet was first asked for one, plus the notes added since; Calc keeps
// no note without text, so the note is created (hidden) when its text is set.
#ifdef DORVANE_HAVE_UNO

#include "platform/sheet/calc/calc_sheet.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cmath>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetAnnotation.hpp>
#include <com/sun/star/sheet/XSheetAnnotationAnchor.hpp>
#include <com/sun/star/sheet/XSheetAnnotationShapeSupplier.hpp>
#include <com/sun/star/sheet/XSheetAnnotations.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/CellAddress.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XSimpleText.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/NumberFormat.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XSearchDescriptor.hpp>
#include <com/sun/star/util/XSearchable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <map>
#include <optional>
#include <set>

#include "platform/convert.h"
#include "platform/sheet/address.h"
#include "platform/sheet/calc/calc_uno.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::sheet::calc {

namespace {

namespace css = ::com::sun::star;
using uno::Reference;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

// What the objects of one attached worksheet share.
struct SheetState {
  Reference<css::frame::XModel> model;
  Reference<css::sheet::XSpreadsheet> sheet;
  Reference<css::util::XSearchable> searchable;
  Reference<css::sheet::XSheetAnnotations> annotations;
  Reference<css::view::XSelectionSupplier> view;  // null without a view
  // While a pass holds updates back, the cell to select when it ends: only
  // the last selection of a walk is visible, so only that one is made.
  bool holding = false;
  std::optional<uno::Any> pendingSelection;
  sal_Int16 sheetIndex = 0;
  std::optional<sal_Int32> dateFormat, dateTimeFormat, booleanFormat;

  using Cell0 = std::pair<sal_Int32, sal_Int32>;  // 0-based (row, column): search order
  bool searched = false;                          // a Find ran
  std::u16string searchText;                      // the last Find's text
  std::set<Cell0> hits;                           // the cells that contain it
  // The texts of the hit cells as one bulk read at the Find gave them, each
  // dropped when its cell is written; Value reads a cell not listed here.
  std::map<Cell0, std::u16string> hitTexts;
  std::optional<std::set<Cell0>> notes;  // cells with a note (read when first needed)

  // Keeps the hit positions right after a value was written at cell.
  void written(Cell0 cell, const Variant& v) {
    hitTexts.erase(cell);
    if (!searched) return;
    std::u16string t;
    if (v.isString()) {
      t = v.asString();
    } else if (!v.isEmpty() && !v.isNull() && v.type() != VarType::Binary) {
      t = toText(v);
    }
    if (!t.empty() && text::InStr(1, t, searchText, text::CompareMode::Text) > 0) {
      hits.insert(cell);
    } else {
      hits.erase(cell);
    }
  }

  // Adds every cell of ranges (a set of cell ranges) to out.
  static void addCells(const Reference<uno::XInterface>& ranges, std::set<Cell0>& out) {
    Reference<css::sheet::XSheetCellRanges> r(ranges, UNO_QUERY);
    if (!r.is()) return;
    const uno::Sequence<css::table::CellRangeAddress> all = r->getRangeAddresses();
    for (const auto& a : all) {
      for (sal_Int32 row = a.StartRow; row <= a.EndRow; ++row) {
        for (sal_Int32 col = a.StartColumn; col <= a.EndColumn; ++col) out.insert({row, col});
      }
    }
  }
};

class CalcComment : public Comment {
 public:
  // The comment of the cell at (row0, column0); created is false for a new
  // comment that has no note in Calc yet.
  CalcComment(std::shared_ptr<SheetState> state, sal_Int32 row0, sal_Int32 column0, bool created)
      : state_(std::move(state)), row0_(row0), column0_(column0), created_(created) {}

  void setVisible(bool visible) override {
    if (!created_) {
      visible_ = visible;
      return;
    }
    try {
      if (note()->getIsVisible() != visible) note()->setIsVisible(visible);
    } catch (const uno::Exception& e) {
      refuse("showing or hiding the comment of " + where(), e);
    }
  }
  void setText(const std::u16string& text) override {
    try {
      if (created_) {
        Reference<css::text::XSimpleText>(note(), UNO_QUERY_THROW)->setString(toOU(text));
        return;
      }
      // One call makes the note, hidden, with its text (a blank first when
      // the text is empty: Calc makes no note from an empty text).
      const css::table::CellAddress at(state_->sheetIndex, column0_, row0_);
      state_->annotations->insertNew(at, text.empty() ? ::rtl::OUString(" ") : toOU(text));
      created_ = true;
      if (text.empty()) Reference<css::text::XSimpleText>(note(), UNO_QUERY_THROW)->setString("");
      if (visible_) note()->setIsVisible(true);
    } catch (const uno::Exception& e) {
      refuse("the text of the comment of " + where(), e);
    }
  }
  std::u16string text() const override {
    if (!created_) return {};
    try {
      return fromOU(Reference<css::text::XSimpleText>(note(), UNO_QUERY_THROW)->getString());
    } catch (const uno::Exception& e) {
      refuse("reading the comment of " + where(), e);
    }
  }
  bool visible() const override {
    if (!created_) return visible_;
    try {
      return note()->getIsVisible();
    } catch (const uno::Exception& e) {
      refuse("reading the comment of " + where(), e);
    }
  }

 private:
  const Reference<css::sheet::XSheetAnnotation>& note() const {
    if (!note_.is()) {
      Reference<css::sheet::XSheetAnnotationAnchor> anchor(
          state_->sheet->getCellByPosition(column0_, row0_), UNO_QUERY_THROW);
      note_ = anchor->getAnnotation();
    }
    return note_;
  }
  std::string where() const { return text::toUtf8(absoluteAddress(row0_ + 1, column0_ + 1)); }

  std::shared_ptr<SheetState> state_;
  sal_Int32 row0_, column0_;
  bool created_;
  bool visible_ = false;  // Calc's notes start hidden
  mutable Reference<css::sheet::XSheetAnnotation> note_;
};

class CalcRange : public Range {
 public:
  // The range of all cells.
  explicit CalcRange(std::shared_ptr<SheetState> state) : state_(std::move(state)), all_(true) {}
  // One cell (1-based); cell may be null and is then fetched when needed.
  CalcRange(std::shared_ptr<SheetState> state, long row, long column,
            Reference<css::table::XCell> cell = nullptr)
      : state_(std::move(state)), all_(false), row_(row), column_(column), cell_(std::move(cell)) {}

  std::shared_ptr<Range> Find(const std::u16string& what) override {
    requireAll("Find");
    try {
      Reference<css::util::XSearchDescriptor> d = state_->searchable->createSearchDescriptor();
      d->setSearchString(toOU(what));
      Reference<css::beans::XPropertySet> props(d, UNO_QUERY_THROW);
      props->setPropertyValue("SearchCaseSensitive", uno::Any(false));
      props->setPropertyValue("SearchWords", uno::Any(false));  // not the entire cell
      props->setPropertyValue("SearchRegularExpression", uno::Any(false));
      props->setPropertyValue("SearchWildcard", uno::Any(false));
      props->setPropertyValue("SearchByRow", uno::Any(true));
      props->setPropertyValue("SearchBackwards", uno::Any(false));
      state_->hits.clear();
      SheetState::addCells(state_->searchable->findAll(d), state_->hits);
      readHitTexts();
      state_->searchText = what;
      state_->searched = true;
    } catch (const uno::Exception& e) {
      refuse("searching the worksheet for \"" + text::toUtf8(what) + "\"", e);
    }
    return next({0, 0});
  }

  std::shared_ptr<Range> FindNext(const Range& after) override {
    requireAll("FindNext");
    auto* cell = dynamic_cast<const CalcRange*>(&after);
    if (!cell || cell->all_ || cell->state_ != state_) {
      throw RuntimeError(err::kSheetOperationFailed,
                         "FindNext needs one cell of the same worksheet to continue after");
    }
    if (!state_->searched) {
      throw RuntimeError(err::kSheetOperationFailed, "FindNext without a search before it");
    }
    return next(cell->position());
  }

  std::u16string Address() const override {
    if (all_) return u"$1:$" + text::fromUtf8(std::to_string(kMaxRows));
    return absoluteAddress(row_, column_);
  }

  Variant Value() const override {
    requireCell("Value");
    if (auto it = state_->hitTexts.find(position()); it != state_->hitTexts.end()) {
      return Variant::string(it->second);
    }
    try {
      Reference<css::table::XCell> c = cell();
      switch (c->getType()) {
        case css::table::CellContentType_EMPTY:
          return Variant();
        case css::table::CellContentType_VALUE:
          return Variant::dbl(c->getValue());
        default:
          return Variant::string(
              fromOU(Reference<css::text::XText>(c, UNO_QUERY_THROW)->getString()));
      }
    } catch (const uno::Exception& e) {
      refuse("reading " + addressUtf8(), e);
    }
  }

  void setValue(const Variant& v) override {
    requireCell("Value");
    if (v.type() == VarType::Binary) {
      throw RuntimeError(err::kTypeMismatch,
                         "Type mismatch: binary data cannot be stored in cell " + addressUtf8());
    }
    try {
      Reference<css::table::XCell> c = cell();
      switch (v.type()) {
        case VarType::Empty:
        case VarType::Null:
          clear(c);
          break;
        case VarType::String:
          if (v.asString().empty()) {
            clear(c);
          } else {
            Reference<css::text::XText>(c, UNO_QUERY_THROW)->setString(toOU(v.asString()));
          }
          break;
        case VarType::Boolean:
          c->setValue(v.asBool() ? 1 : 0);
          setFormat(c, format(state_->booleanFormat, css::util::NumberFormat::LOGICAL));
          break;
        case VarType::Date: {
          c->setValue(v.asDouble());
          const bool time = v.asDouble() != std::floor(v.asDouble());
          setFormat(c, time ? format(state_->dateTimeFormat, css::util::NumberFormat::DATETIME)
                            : format(state_->dateFormat, css::util::NumberFormat::DATE));
          break;
        }
        case VarType::Currency:
          c->setValue(static_cast<double>(v.asInt()) / 10000.0);
          break;
        case VarType::Decimal:  // a cell holds a double
          c->setValue(decimalToDouble(v.asDecimal()));
          break;
        case VarType::Single:
        case VarType::Double:
          c->setValue(v.asDouble());
          break;
        default:  // Byte, Integer, Long
          c->setValue(static_cast<double>(v.asInt()));
          break;
      }
    } catch (const uno::Exception& e) {
      refuse("writing " + addressUtf8(), e);
    }
    state_->written(position(), v);
  }

  long Row() const override { return row_; }
  long Column() const override { return column_; }
  void Activate() override { selectInView(); }
  void Select() override { selectInView(); }

  std::shared_ptr<Comment> AddComment() override {
    requireCell("AddComment");
    try {
      if (!state_->notes) {
        std::set<SheetState::Cell0> notes;
        Reference<css::sheet::XCellRangesQuery> query(state_->sheet, UNO_QUERY_THROW);
        SheetState::addCells(query->queryContentCells(css::sheet::CellFlags::ANNOTATION), notes);
        state_->notes = std::move(notes);
      }
    } catch (const uno::Exception& e) {
      refuse("listing the comments of the worksheet", e);
    }
    if (!state_->notes->insert(position()).second) {
      throw RuntimeError(
          err::kSheetOperationFailed,
          "Cell " + addressUtf8() + " already has a comment; a second one cannot be added");
    }
    return std::make_shared<CalcComment>(state_, position().first, position().second, false);
  }

  std::shared_ptr<Comment> comment() override {
    requireCell("Comment");
    try {
      Reference<css::sheet::XSheetAnnotationAnchor> anchor(cell(), UNO_QUERY_THROW);
      Reference<css::sheet::XSheetAnnotation> note = anchor->getAnnotation();
      Reference<css::sheet::XSheetAnnotationShapeSupplier> shape(note, UNO_QUERY_THROW);
      if (!shape->getAnnotationShape().is()) return nullptr;
      return std::make_shared<CalcComment>(state_, position().first, position().second, true);
    } catch (const uno::Exception& e) {
      refuse("reading the comment of " + addressUtf8(), e);
    }
  }

 private:
  // The first hit after the cell at (0-based) position in search order,
  // wrapping around to that cell itself; null when there is none.
  std::shared_ptr<Range> next(SheetState::Cell0 position) const {
    const auto& hits = state_->hits;
    auto it = hits.upper_bound(position);
    if (it == hits.end()) it = hits.begin();
    if (it == hits.end()) return nullptr;
    return std::make_shared<CalcRange>(state_, it->first + 1, it->second + 1);
  }

  // Reads the texts of all hit cells in one call (the block that spans them,
  // when it is not too large). Numbers and formulas with a number as result
  // are left to Value, which tells them apart; so is everything when the
  // bulk read fails.
  void readHitTexts() const {
    constexpr long long kMaxBlockCells = 200'000;
    auto& hits = state_->hits;
    state_->hitTexts.clear();
    if (hits.empty()) return;
    const sal_Int32 top = hits.begin()->first, bottom = hits.rbegin()->first;
    sal_Int32 left = hits.begin()->second, right = left;
    for (const auto& [row, column] : hits) {
      left = std::min(left, column);
      right = std::max(right, column);
    }
    if (static_cast<long long>(bottom - top + 1) * (right - left + 1) > kMaxBlockCells) return;
    uno::Sequence<uno::Sequence<uno::Any>> data;
    try {
      Reference<css::sheet::XCellRangeData> block(
          state_->sheet->getCellRangeByPosition(left, top, right, bottom), UNO_QUERY);
      if (!block.is()) return;
      data = block->getDataArray();
    } catch (const uno::Exception&) {
      return;  // Value reads each cell itself
    }
    for (const auto& [row, column] : hits) {
      ::rtl::OUString text;
      if (row - top < data.getLength() && column - left < data[row - top].getLength() &&
          (data[row - top][column - left] >>= text) && !text.isEmpty()) {
        state_->hitTexts.emplace(SheetState::Cell0{row, column}, fromOU(text));
      }
    }
  }

  SheetState::Cell0 position() const {
    return {static_cast<sal_Int32>(row_ - 1), static_cast<sal_Int32>(column_ - 1)};
  }

  Reference<css::table::XCell> cell() const {
    if (!cell_.is()) {
      cell_ = state_->sheet->getCellByPosition(static_cast<sal_Int32>(column_ - 1),
                                               static_cast<sal_Int32>(row_ - 1));
    }
    return cell_;
  }

  static void clear(const Reference<css::table::XCell>& c) {
    using namespace css::sheet::CellFlags;
    Reference<css::sheet::XSheetOperation>(c, UNO_QUERY_THROW)
        ->clearContents(VALUE | DATETIME | STRING | FORMULA);
  }

  // The standard number format of kind, looked up once per worksheet.
  sal_Int32 format(std::optional<sal_Int32>& slot, sal_Int16 kind) {
    if (!slot) {
      Reference<css::util::XNumberFormatsSupplier> s(state_->model, UNO_QUERY_THROW);
      Reference<css::util::XNumberFormatTypes> types(s->getNumberFormats(), UNO_QUERY_THROW);
      slot = types->getStandardFormat(kind, css::lang::Locale());
    }
    return *slot;
  }

  static void setFormat(const Reference<css::table::XCell>& c, sal_Int32 key) {
    Reference<css::beans::XPropertySet>(c, UNO_QUERY_THROW)
        ->setPropertyValue("NumberFormat", uno::Any(key));
  }

  void selectInView() {
    if (!state_->view.is()) return;
    try {
      uno::Any what =
          all_ ? uno::Any(Reference<css::table::XCellRange>(
                     state_->sheet->getCellRangeByPosition(0, 0, kMaxColumns - 1, kMaxRows - 1)))
               : uno::Any(cell());
      if (state_->holding) {
        state_->pendingSelection = std::move(what);
      } else {
        state_->view->select(what);
      }
    } catch (const uno::Exception& e) {
      refuse("selecting " + text::toUtf8(Address()), e);
    }
  }

  void requireAll(const char* op) const {
    if (!all_) {
      throw RuntimeError(err::kSheetOperationFailed,
                         std::string(op) + " is available on the range of all cells only");
    }
  }
  void requireCell(const char* op) const {
    if (all_) {
      throw RuntimeError(err::kSheetOperationFailed,
                         std::string(op) + " is available on one cell only, not on all cells");
    }
  }
  std::string addressUtf8() const { return text::toUtf8(Address()); }

  std::shared_ptr<SheetState> state_;
  bool all_;
  long row_ = 1, column_ = 1;
  mutable Reference<css::table::XCell> cell_;
};

class CalcWorksheet : public Worksheet {
 public:
  explicit CalcWorksheet(std::shared_ptr<SheetState> state) : state_(std::move(state)) {}
  std::shared_ptr<Range> Cells() override { return std::make_shared<CalcRange>(state_); }
  std::shared_ptr<Range> Cells(long row, long column) override {
    requireOnSheet(row, column);
    return std::make_shared<CalcRange>(state_, row, column);
  }

  // Locks the document's controllers (no repaint, no view updates per call),
  // turns automatic calculation off and keeps selections back. The guard
  // makes the last selection, turns calculation back on when it was on and
  // unlocks, whatever state the office is in by then.
  std::shared_ptr<void> holdUpdates() override {
    struct Hold {
      std::shared_ptr<SheetState> state;
      Reference<css::sheet::XCalculatable> calculation;
      bool restoreCalculation = false, locked = false;
      ~Hold() {
        state->holding = false;
        try {
          if (state->pendingSelection) state->view->select(*state->pendingSelection);
        } catch (const uno::Exception&) {
        }
        state->pendingSelection.reset();
        try {
          if (restoreCalculation) calculation->enableAutomaticCalculation(true);
        } catch (const uno::Exception&) {
        }
        try {
          if (locked) state->model->unlockControllers();
        } catch (const uno::Exception&) {
        }
      }
    };
    auto hold = std::make_shared<Hold>();
    hold->state = state_;
    try {
      hold->calculation.set(state_->model, UNO_QUERY);
      if (hold->calculation.is() && hold->calculation->isAutomaticCalculationEnabled()) {
        hold->calculation->enableAutomaticCalculation(false);
        hold->restoreCalculation = true;
      }
      state_->model->lockControllers();
      hold->locked = true;
      state_->holding = true;
    } catch (const uno::Exception& e) {
      refuse("holding back the screen updates and recalculation of the workbook", e);
    }
    return hold;
  }

 private:
  std::shared_ptr<SheetState> state_;
};

class CalcWorkbook : public Workbook {
 public:
  explicit CalcWorkbook(Reference<css::sheet::XSpreadsheetDocument> doc) : doc_(std::move(doc)) {}

  std::shared_ptr<Worksheet> ActiveSheet() override {
    try {
      auto state = std::make_shared<SheetState>();
      state->model.set(doc_, UNO_QUERY_THROW);
      Reference<css::frame::XController> controller = state->model->getCurrentController();
      Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY);
      if (view.is()) {
        state->sheet = view->getActiveSheet();
        state->view.set(controller, UNO_QUERY);
      } else {
        Reference<css::container::XIndexAccess> sheets(doc_->getSheets(), UNO_QUERY_THROW);
        state->sheet.set(sheets->getByIndex(0), UNO_QUERY_THROW);
      }
      state->searchable.set(state->sheet, UNO_QUERY_THROW);
      state->sheetIndex =
          Reference<css::sheet::XCellRangeAddressable>(state->sheet, UNO_QUERY_THROW)
              ->getRangeAddress()
              .Sheet;
      state->annotations =
          Reference<css::sheet::XSheetAnnotationsSupplier>(state->sheet, UNO_QUERY_THROW)
              ->getAnnotations();
      return std::make_shared<CalcWorksheet>(std::move(state));
    } catch (const uno::Exception& e) {
      refuse("giving the active sheet", e);
    }
  }

 private:
  Reference<css::sheet::XSpreadsheetDocument> doc_;
};

class CalcApplication : public Application {
 public:
  CalcApplication(Reference<css::frame::XDesktop2> desktop, std::string url)
      : desktop_(std::move(desktop)), url_(std::move(url)) {}

  std::shared_ptr<Workbook> ActiveWorkbook() override {
    try {
      Reference<css::sheet::XSpreadsheetDocument> doc(desktop_->getCurrentComponent(), UNO_QUERY);
      if (!doc.is()) {
        // Hidden documents are never current: take the first spreadsheet open.
        Reference<css::container::XEnumeration> all =
            desktop_->getComponents()->createEnumeration();
        while (!doc.is() && all->hasMoreElements()) doc.set(all->nextElement(), UNO_QUERY);
      }
      if (!doc.is()) {
        throw RuntimeError(err::kObjectNotSet,
                           "LibreOffice Calc at " + url_ + " has no spreadsheet document open");
      }
      return std::make_shared<CalcWorkbook>(doc);
    } catch (const uno::Exception& e) {
      refuse("giving the active spreadsheet document", e);
    }
  }

 private:
  Reference<css::frame::XDesktop2> desktop_;
  std::string url_;
};

}  // namespace

bool calcSupported() { return true; }

std::shared_ptr<Application> attach(const std::string& address) {
  const std::string url = unoUrl(address);
  uno::Reference<uno::XComponentContext> context = connect(url);
  return applicationOn(desktopOf(context), url);
}

std::shared_ptr<Application> applicationOn(uno::Reference<css::frame::XDesktop2> desktop,
                                           std::string where) {
  return std::make_shared<CalcApplication>(std::move(desktop), std::move(where));
}

}  // namespace dorvane::sheet::calc

#endif
