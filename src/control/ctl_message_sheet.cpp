// The worksheet side of the control: ocxKiv, the pass mergeSheet and the
// detail step 明細型. The algorithms live in src/worksheet; these methods hand
// them the control's members and hold the error traps.
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>

#include "platform/db/odbc_connect_string.h"
#include "platform/text/utf.h"
#include "worksheet/sheet_detail.h"
#include "worksheet/sheet_pass.h"

namespace dorvane {

namespace {

std::string passStep(std::int16_t wkcycle, const std::u16string& curdbloc) {
  return "worksheet pass " + std::to_string(wkcycle) + " on " +
         text::toUtf8(db::maskPasswords(curdbloc));
}

}  // namespace

Variant ctlMessage::ocxKiv(const std::u16string& kivdbloc, const std::u16string& kivdb2loc) {
  failures_.clear();
  auto releaseExcel = [this] {
    objWorksheet = nullptr;
    objWorkbook = nullptr;
    objExcel = nullptr;
  };
  wkcycle = 1;
  curdbloc = kivdbloc;
  mergeSheet();
  releaseExcel();
  if (kivdb2loc != u"") {
    curdbloc = kivdb2loc;
    mergeSheet();
  }
  releaseExcel();
  curdbloc = kivdbloc;
  wkcycle = 2;
  mergeSheet();
  releaseExcel();
  if (kivdb2loc != u"") {
    curdbloc = kivdb2loc;
    mergeSheet();
  }
  releaseExcel();
  curdbloc = kivdbloc;
  return Variant();
}

// One pass; every run-time error ends it with the message "error".
void ctlMessage::mergeSheet() {
  if (observer_) observer_->passStarted(curdbloc, wkcycle);
  worksheet::SheetMembers m{c,     objExcel, objWorkbook, objWorksheet, kivdb,    DB,
                            kivrs, kivrs2,   rs,          wkcycle,      curdbloc, observer_};
  try {
    worksheet::mergeSheetPass(m, [this] { 明細型(); });
  } catch (const RuntimeError& e) {
    const std::string step = passStep(wkcycle, curdbloc);
    recordFailure(step, e.number(), e.description());
    passFailed(step + ": error " + std::to_string(e.number()) + ": " + e.description());
  }
}

// The detail step; every run-time error ends it silently (the failure is
// recorded for hosts, no message is shown).
void ctlMessage::明細型() {
  worksheet::SheetMembers m{c,     objExcel, objWorkbook, objWorksheet, kivdb,    DB,
                            kivrs, kivrs2,   rs,          wkcycle,      curdbloc, observer_};
  try {
    if (!objWorksheet || !c) {
      throw RuntimeError(
          err::kObjectNotSet,
          "No worksheet or no detail placeholder cell to start the detail step from");
    }
    worksheet::expandDetails(m);
  } catch (const RuntimeError& e) {
    recordFailure("details of " + passStep(wkcycle, curdbloc), e.number(), e.description());
  }
}

}  // namespace dorvane
