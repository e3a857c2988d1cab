#include "platform/sheet/memory_sheet.h"

#include <dorvane/runtime_error.h>

#include "platform/convert.h"
#include "platform/sheet/address.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::sheet {

namespace {

// Raises 1004 with what was tried on which range.
[[noreturn]] void refuse(const std::string& what) {
  throw RuntimeError(err::kSheetOperationFailed, what);
}

// The text the search looks in: a text as it stands, other values in their
// standard text form. Empty cells have none.
std::u16string searchText(const Variant& v) {
  if (v.isEmpty() || v.isNull()) return {};
  if (v.isString()) return v.asString();
  return toText(v);
}

// A range of the in-process sheet: the range of all cells, or one cell.
class MemoryRange : public Range {
 public:
  MemoryRange(std::shared_ptr<MemoryWorksheet> sheet, bool all, long row, long column)
      : sheet_(std::move(sheet)), all_(all), row_(row), column_(column) {}

  std::shared_ptr<Range> Find(const std::u16string& what) override {
    requireAll("Find");
    sheet_->setLastSearch(what);
    return cellAt(sheet_->findAfter(1, 1, what));
  }

  std::shared_ptr<Range> FindNext(const Range& after) override {
    requireAll("FindNext");
    auto* cell = dynamic_cast<const MemoryRange*>(&after);
    if (!cell || cell->all_ || cell->sheet_ != sheet_) {
      refuse("FindNext needs one cell of the same worksheet to continue after");
    }
    return cellAt(sheet_->findAfter(cell->row_, cell->column_, sheet_->lastSearch()));
  }

  std::u16string Address() const override {
    if (all_) return u"$1:$" + text::fromUtf8(std::to_string(kMaxRows));
    return absoluteAddress(row_, column_);
  }

  Variant Value() const override {
    requireCell("Value");
    return sheet_->get(row_, column_);
  }

  void setValue(const Variant& value) override {
    requireCell("Value");
    sheet_->set(row_, column_, value);
  }

  long Row() const override { return row_; }
  long Column() const override { return column_; }
  void Activate() override { sheet_->activate(row_, column_, all_); }
  void Select() override { sheet_->select(row_, column_, all_); }

  std::shared_ptr<Comment> AddComment() override {
    requireCell("AddComment");
    return sheet_->addComment(row_, column_);
  }

  std::shared_ptr<Comment> comment() override {
    requireCell("Comment");
    return sheet_->commentAt(row_, column_);
  }

 private:
  std::shared_ptr<Range> cellAt(std::optional<std::pair<long, long>> at) const {
    if (!at) return nullptr;
    return std::make_shared<MemoryRange>(sheet_, false, at->first, at->second);
  }
  void requireAll(const char* op) const {
    if (!all_) refuse(std::string(op) + " is available on the range of all cells only");
  }
  void requireCell(const char* op) const {
    if (all_) refuse(std::string(op) + " is available on one cell only, not on all cells");
  }

  std::shared_ptr<MemoryWorksheet> sheet_;
  bool all_;
  long row_, column_;
};

}  // namespace

std::shared_ptr<Range> MemoryWorksheet::Cells() {
  return std::make_shared<MemoryRange>(shared_from_this(), true, 1, 1);
}

std::shared_ptr<Range> MemoryWorksheet::Cells(long row, long column) {
  requireOnSheet(row, column);
  return std::make_shared<MemoryRange>(shared_from_this(), false, row, column);
}

void MemoryWorksheet::set(long row, long column, const Variant& value) {
  requireOnSheet(row, column);
  if (value.type() == VarType::Binary) {
    throw RuntimeError(err::kTypeMismatch, "Type mismatch: binary data cannot be stored in cell " +
                                               text::toUtf8(absoluteAddress(row, column)));
  }
  for (const Rect& r : locked_) {
    if (row >= r.top && row <= r.bottom && column >= r.left && column <= r.right) {
      refuse("Cell " + text::toUtf8(absoluteAddress(row, column)) +
             " is part of an array formula; a part of an array cannot be changed");
    }
  }
  written_.insert({row, column});
  const bool empty =
      value.isEmpty() || value.isNull() || (value.isString() && value.asString().empty());
  auto it = cells_.find({row, column});
  if (empty) {
    if (it == cells_.end()) return;
    if (it->second.comment) {
      it->second.value = Variant();
      it->second.formula.clear();
    } else {
      cells_.erase(it);
    }
    return;
  }
  Cell& cell = cells_[{row, column}];
  cell.value = value;
  cell.formula.clear();
}

void MemoryWorksheet::load(long row, long column, const Variant& value, std::u16string formula) {
  requireOnSheet(row, column);
  Cell& cell = cells_[{row, column}];
  cell.value = value;
  cell.formula = std::move(formula);
}

void MemoryWorksheet::lockRange(long top, long left, long bottom, long right) {
  locked_.push_back({top, left, bottom, right});
}

std::u16string MemoryWorksheet::formulaAt(long row, long column) const {
  auto it = cells_.find({row, column});
  return it == cells_.end() ? std::u16string() : it->second.formula;
}

Variant MemoryWorksheet::get(long row, long column) const {
  requireOnSheet(row, column);
  auto it = cells_.find({row, column});
  return it == cells_.end() ? Variant() : it->second.value;
}

std::shared_ptr<MemoryComment> MemoryWorksheet::commentAt(long row, long column) const {
  requireOnSheet(row, column);
  auto it = cells_.find({row, column});
  return it == cells_.end() ? nullptr : it->second.comment;
}

std::shared_ptr<MemoryComment> MemoryWorksheet::addComment(long row, long column) {
  requireOnSheet(row, column);
  Cell& cell = cells_[{row, column}];
  if (cell.comment) {
    refuse("Cell " + text::toUtf8(absoluteAddress(row, column)) +
           " already has a comment; a second one cannot be added");
  }
  cell.comment = std::make_shared<MemoryComment>();
  return cell.comment;
}

std::vector<std::pair<long, long>> MemoryWorksheet::usedCells() const {
  std::vector<std::pair<long, long>> out;
  for (const auto& [key, cell] : cells_) out.push_back(key);
  return out;
}

namespace {

// Whether the text form of a number (digits, ".", "-", "+", "E") cannot hold
// what: it has an ASCII character no number is written with.
bool numbersCannotHold(const std::u16string& what) {
  for (char16_t c : what) {
    if (c < 0x80 && !(c >= u'0' && c <= u'9') && c != u'.' && c != u'-' && c != u'+' && c != u'E' &&
        c != u'e')
      return true;
  }
  return false;
}

}  // namespace

std::optional<std::pair<long, long>> MemoryWorksheet::findAfter(long row, long column,
                                                                const std::u16string& what) const {
  // A number is not written out as text to be searched for what it cannot
  // hold ("!!" in a merged cell): most of a merged sheet is numbers.
  const bool skipNumbers = numbersCannotHold(what);
  auto matches = [&](const Cell& cell) {
    auto holds = [&](std::u16string_view t) {
      return !t.empty() && text::InStr(1, t, what, text::CompareMode::Text) > 0;
    };
    if (!cell.formula.empty()) return holds(cell.formula);
    if (cell.value.isString()) return holds(cell.value.asString());
    if (skipNumbers && cell.value.isNumber() && cell.value.type() != VarType::Boolean) return false;
    return holds(searchText(cell.value));
  };
  const auto start = cells_.upper_bound({row, column});
  for (auto it = start; it != cells_.end(); ++it) {
    if (matches(it->second)) return it->first;
  }
  for (auto it = cells_.begin(); it != start; ++it) {
    if (matches(it->second)) return it->first;
  }
  return std::nullopt;
}

const std::u16string& MemoryWorksheet::lastSearch() const {
  if (!searched_) refuse("FindNext without a search before it");
  return lastSearch_;
}

void MemoryWorksheet::activate(long row, long column, bool wholeSheet) {
  active_ = wholeSheet ? std::pair<long, long>{1, 1} : std::pair<long, long>{row, column};
}

void MemoryWorksheet::select(long row, long column, bool wholeSheet) {
  activate(row, column, wholeSheet);
  wholeSelected_ = wholeSheet;
}

std::shared_ptr<MemoryWorksheet> MemoryWorkbook::addWorksheet() {
  sheets_.push_back(std::make_shared<MemoryWorksheet>());
  active_ = sheets_.size() - 1;
  return sheets_.back();
}

void MemoryWorkbook::addChartSheet() {
  sheets_.push_back(nullptr);
  active_ = sheets_.size() - 1;
}

std::shared_ptr<Worksheet> MemoryWorkbook::ActiveSheet() {
  if (sheets_.empty()) {
    throw RuntimeError(err::kObjectNotSet, "The active workbook has no sheet");
  }
  if (!sheets_[active_]) {
    throw RuntimeError(err::kTypeMismatch,
                       "Type mismatch: the active sheet is not a worksheet (a chart sheet)");
  }
  return sheets_[active_];
}

std::shared_ptr<MemoryWorkbook> MemoryApplication::addWorkbook() {
  workbooks_.push_back(std::make_shared<MemoryWorkbook>());
  return workbooks_.back();
}

std::shared_ptr<Workbook> MemoryApplication::ActiveWorkbook() {
  if (workbooks_.empty()) {
    throw RuntimeError(err::kObjectNotSet,
                       "The spreadsheet application has no open workbook to merge");
  }
  return workbooks_.back();
}

}  // namespace dorvane::sheet
