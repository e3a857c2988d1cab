// One worksheet merge pass: every value placeholder ("!!") of the active
// worksheet of the running spreadsheet, in search order, against the
// reference database at curdbloc for pass number wkcycle; then the detail step.
#pragma once

#include <functional>

#include "worksheet/sheet_members.h"

namespace dorvane::worksheet {

enum class PassEnd {
  Completed,  // every placeholder visited; the detail step ran
  Stopped,    // a malformed placeholder ended the pass; no detail step
};

// Runs the pass on m:
//  - attaches to the running application (objExcel, objWorkbook,
//    objWorksheet), selects all cells and finds the first "!!" cell;
//  - with one, fixes the last placeholder cell in search order, opens kivdb
//    and kivrs from curdbloc, and resolves each placeholder cell c: a value
//    replaces the cell's text, then a comment is added hidden; StopPass ends
//    the pass at once;
//  - finally sets c to the first "&&" cell and, when there is one, calls
//    detailStep (the control's 明細型).
// Raises every run-time error of the spreadsheet, the engine and value
// resolution (no running application, no workbook, a database that cannot be
// opened, a second comment on a cell, ...); what was written stays written.
PassEnd mergeSheetPass(SheetMembers& m, const std::function<void()>& detailStep);

}  // namespace dorvane::worksheet
