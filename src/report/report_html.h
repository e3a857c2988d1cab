// The merge report: one self-contained HTML page (inline style and a small
// inline script for filtering; readable and printable without scripts) with
// a summary, the merged document with every placed value and unfilled
// placeholder marked, and one row per placeholder met by a run.
#pragma once

#include <string>
#include <variant>

#include "report/merge_record.h"
#include "report/sheet_grid.h"

namespace dorvane::report {

// The final text of a merged page.
struct PageDocument {
  std::u16string text;
};

// What the report shows as the merged document: nothing (it could not be
// read), a page, or the grid of a worksheet.
using Document = std::variant<std::monostate, PageDocument, SheetGrid>;

// What the report is about.
struct ReportSubject {
  std::u16string templateName;  // the page or workbook merged ("" for a running sheet)
  std::u16string resultName;    // where the result went ("" when it stays in place)
  double seconds = 0;           // how long the merge took
};

// The report as UTF-8 HTML. Every text that comes from a template, a
// database or a path is escaped, and passwords in database names, SQL texts
// and failure descriptions are masked.
std::string renderReport(const ReportSubject& subject, const MergeRecord& record,
                         const Document& document);

}  // namespace dorvane::report
