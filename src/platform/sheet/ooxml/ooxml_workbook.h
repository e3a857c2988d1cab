// A workbook file (.xlsx, .xlsm, .xltx, .xltm) as the spreadsheet the merge
// runs on, without an office suite.
//
// Opening reads the package, the workbook, the active worksheet (its cells,
// shared strings, styles and notes) into an in-process sheet, so the merge
// sees the search, cells and notes of that sheet. save() writes a copy of the
// package in which only what the merge changed differs: the written cells,
// the dimension, the sheet view's selection, the notes, the cached results of
// formulas (dropped, and calculation on load requested, so totals come out
// right), the styles when a date needed a date format, and the relationships
// and content types of new parts. Every other entry keeps its compressed bytes.
//
// Not thread-safe; the application belongs to the thread that opened it.
#pragma once

#include <dorvane/sheet.h>

#include <memory>
#include <string>

namespace dorvane::sheet::ooxml {

// The file kinds this backend reads and writes, by extension
// (case-insensitive): .xlsx, .xlsm, .xltx, .xltm.
bool isWorkbookFile(const std::string& path);
// Whether the kind holds macros (.xlsm, .xltm).
bool isMacroKind(const std::string& path);

class WorkbookFile {
 public:
  // Opens path. Raises 53 when it does not exist, 75 naming the file and the
  // cause when it is damaged, encrypted, a zip bomb, has no worksheet or
  // bad XML, and 13 when its active sheet is no worksheet.
  static std::unique_ptr<WorkbookFile> open(const std::string& path);
  virtual ~WorkbookFile() = default;

  // The application whose active workbook and sheet are this file's.
  virtual std::shared_ptr<Application> application() = 0;

  // Writes the merged package to target (created or replaced), which will
  // become the file named result (a temporary file is renamed to it): the
  // workbook's content type follows result's extension (a template saved as
  // a workbook becomes a workbook, .xlsm a macro workbook). Raises 75 when
  // the package cannot be written.
  virtual void save(const std::string& target, const std::string& result) = 0;
};

// Saves workbook as the result file out by the result file rules
// (platform/file/result_file.h): replaced whole or left as it was, a link
// kept, a device written into, a read-only result refused. The package is
// first written to a private temporary file, removed afterwards and on
// SIGINT/SIGTERM/SIGHUP under an InterruptGuard. Raises 75 or 61.
void saveAsResult(WorkbookFile& workbook, const std::string& out);

}  // namespace dorvane::sheet::ooxml
