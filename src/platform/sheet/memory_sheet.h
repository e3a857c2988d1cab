// The in-process sheet: a spreadsheet application held entirely in memory,
// for tests and for C++ hosts that merge without an office suite.
//
// It behaves like the running spreadsheet the worksheet merge was made for:
// cells hold Variants, a comment can be added once per cell, the active cell
// and the selection follow Activate and Select, and the search is partial,
// case-insensitive and by rows, starting after the top-left cell (which so
// comes last) and wrapping around at the end of the sheet. A host makes it the
// running application with registerRunning().
//
// Ownership: ranges and comments keep their worksheet alive. Not thread-safe.
#pragma once

#include <dorvane/sheet.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace dorvane::sheet {

class MemoryComment : public Comment {
 public:
  void setVisible(bool visible) override { visible_ = visible; }
  void setText(const std::u16string& text) override { text_ = text; }
  std::u16string text() const override { return text_; }
  bool visible() const override { return visible_; }

 private:
  std::u16string text_;
  bool visible_ = true;  // a new comment shows until it is hidden
};

class MemoryWorksheet : public Worksheet, public std::enable_shared_from_this<MemoryWorksheet> {
 public:
  std::shared_ptr<Range> Cells() override;
  std::shared_ptr<Range> Cells(long row, long column) override;

  // Direct access for hosts and tests (rows and columns 1-based; raise 1004
  // off the sheet). set() stores like Range::setValue.
  void set(long row, long column, const Variant& value);
  Variant get(long row, long column) const;
  // Loading from a file: stores value without counting the cell as written.
  // A cell with a formula keeps its text ("=SUM(A1:A3)") for the search, which
  // looks in it instead of the value, until the cell is written.
  void load(long row, long column, const Variant& value, std::u16string formula = {});
  // Makes writing into the rectangle (an array formula's range) raise 1004.
  void lockRange(long top, long left, long bottom, long right);
  // Every cell set() has written (also with an empty value), by rows.
  const std::set<std::pair<long, long>>& writtenCells() const { return written_; }
  // The cell's formula text as loaded, or "" (none, or written since).
  std::u16string formulaAt(long row, long column) const;
  // The cell's comment, or null.
  std::shared_ptr<MemoryComment> commentAt(long row, long column) const;
  // Adds an empty comment to the cell; raises 1004 when the cell has one.
  std::shared_ptr<MemoryComment> addComment(long row, long column);

  std::pair<long, long> activeCell() const { return active_; }
  // True when the whole sheet is selected, false when one cell is.
  bool wholeSheetSelected() const { return wholeSelected_; }
  // Every cell with a value or a comment, by rows.
  std::vector<std::pair<long, long>> usedCells() const;

  // The search behind Find and FindNext: the first cell after (row, column)
  // in search order, wrapping around to (row, column) itself, whose text
  // contains what; nothing when none does.
  std::optional<std::pair<long, long>> findAfter(long row, long column,
                                                 const std::u16string& what) const;

  // State the ranges share.
  void activate(long row, long column, bool wholeSheet);
  void select(long row, long column, bool wholeSheet);
  // The text of the last Find; raises 1004 when no Find ran on this sheet.
  const std::u16string& lastSearch() const;
  void setLastSearch(std::u16string what) {
    lastSearch_ = std::move(what);
    searched_ = true;
  }

 private:
  struct Cell {
    Variant value;
    std::u16string formula;  // as loaded; the search looks in it when not empty
    std::shared_ptr<MemoryComment> comment;
  };
  using Key = std::pair<long, long>;  // (row, column): map order is search order
  std::map<Key, Cell> cells_;
  std::set<Key> written_;
  struct Rect {
    long top, left, bottom, right;
  };
  std::vector<Rect> locked_;
  std::u16string lastSearch_;
  bool searched_ = false;
  std::pair<long, long> active_{1, 1};
  bool wholeSelected_ = false;
};

class MemoryWorkbook : public Workbook {
 public:
  // Adds a worksheet and makes it the active sheet.
  std::shared_ptr<MemoryWorksheet> addWorksheet();
  // Adds a sheet of another kind (a chart sheet) and makes it active: then
  // ActiveSheet raises, as it does for such a sheet.
  void addChartSheet();
  std::shared_ptr<Worksheet> ActiveSheet() override;

 private:
  std::vector<std::shared_ptr<MemoryWorksheet>> sheets_;  // null: a chart sheet
  std::size_t active_ = 0;
};

class MemoryApplication : public Application {
 public:
  // Adds a workbook and makes it the active one.
  std::shared_ptr<MemoryWorkbook> addWorkbook();
  std::shared_ptr<Workbook> ActiveWorkbook() override;

 private:
  std::vector<std::shared_ptr<MemoryWorkbook>> workbooks_;
};

}  // namespace dorvane::sheet
