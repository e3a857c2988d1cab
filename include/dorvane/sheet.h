// The spreadsheet application as the worksheet merge uses it: the running
// application, its active workbook and worksheet, cell ranges and comments.
//
// Two backends implement these interfaces: an in-process sheet (tests, C++
// hosts) and LibreOffice Calc over UNO. Objects are counted references
// (std::shared_ptr); a null pointer plays the part of Nothing. Every failing
// call throws dorvane::RuntimeError. Objects belong to the thread that made them.
#pragma once

#include <dorvane/object.h>
#include <dorvane/variant.h>

#include <memory>
#include <string>

namespace dorvane::sheet {

// The size of a worksheet; a cell outside it is a run-time error.
inline constexpr long kMaxRows = 1048576;
inline constexpr long kMaxColumns = 16384;

class Comment : public Object {
 public:
  virtual void setVisible(bool visible) = 0;
  virtual void setText(const std::u16string& text) = 0;
  virtual std::u16string text() const = 0;
  virtual bool visible() const = 0;
};

class Range : public Object {
 public:
  // On the range of all cells: the first cell, in the application's search
  // order, whose text contains what (partial, case-insensitive, by rows,
  // starting after the top-left cell), or null.
  virtual std::shared_ptr<Range> Find(const std::u16string& what) = 0;
  // On the range of all cells: the next cell after `after` that contains the
  // text of the last Find, wrapping around at the end of the sheet, or null.
  virtual std::shared_ptr<Range> FindNext(const Range& after) = 0;

  // Absolute A1 form, "$B$3"; equal for the same cell.
  virtual std::u16string Address() const = 0;
  virtual Variant Value() const = 0;
  // Stores a field value unconverted: numbers as numbers, texts as text
  // (never parsed as formulas), Null and "" leave the cell empty.
  virtual void setValue(const Variant& value) = 0;
  virtual long Row() const = 0;
  virtual long Column() const = 0;
  virtual void Activate() = 0;
  virtual void Select() = 0;
  // A new, empty comment; raises a run-time error when the cell has one.
  virtual std::shared_ptr<Comment> AddComment() = 0;
  // The cell's comment, or null.
  virtual std::shared_ptr<Comment> comment() = 0;
};

class Worksheet : public Object {
 public:
  virtual std::shared_ptr<Range> Cells() = 0;  // all cells
  // One cell; raises a run-time error outside 1..1,048,576 × 1..16,384.
  virtual std::shared_ptr<Range> Cells(long row, long column) = 0;
  // Holds the workbook's screen updates and automatic recalculation back
  // until the returned guard is released, which restores both as they were
  // (a pass keeps it for its whole run, so an error restores them too).
  // Values, notes and the active cell are written as without it. The
  // default holds nothing back.
  virtual std::shared_ptr<void> holdUpdates() { return nullptr; }
};

class Workbook : public Object {
 public:
  // The active sheet taken as a worksheet; raises when it is another kind.
  virtual std::shared_ptr<Worksheet> ActiveSheet() = 0;
};

class Application : public Object {
 public:
  // Raises a run-time error when no workbook is open.
  virtual std::shared_ptr<Workbook> ActiveWorkbook() = 0;
};

// The running application: the one a RunningOnThisThread of the calling
// thread names, or else one a host registered with registerRunning, or
// else LibreOffice Calc at the UNO address in DORVANE_CALC (default pipe
// "dorvane"). Never starts one; raises a run-time error when none runs.
std::shared_ptr<Application> attachRunning();

// Registers app (or, with null, unregisters) as the running application of
// this process.
void registerRunning(std::shared_ptr<Application> app);

// While alive, attachRunning on the thread that made it returns app: a
// worker thread that owns a spreadsheet application of its own merges into
// that one while other threads use theirs. The one before it on the thread
// comes back when it ends.
class RunningOnThisThread {
 public:
  explicit RunningOnThisThread(std::shared_ptr<Application> app);
  ~RunningOnThisThread();
  RunningOnThisThread(const RunningOnThisThread&) = delete;
  RunningOnThisThread& operator=(const RunningOnThisThread&) = delete;

 private:
  std::shared_ptr<Application> previous_;
};

}  // namespace dorvane::sheet
