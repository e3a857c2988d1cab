#include "worksheet/sheet_pass.h"

#include <dorvane/runtime_error.h>

#include <optional>
#include <set>

#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/names.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"

namespace dorvane::worksheet {

namespace {

// The next cell of the current search after c; raises 91 when the search
// lost every hit (the sheet changed under the pass).
std::shared_ptr<sheet::Range> nextHit(sheet::Range& cells, const sheet::Range& c) {
  auto next = cells.FindNext(c);
  if (!next) {
    throw RuntimeError(err::kObjectNotSet,
                       "The worksheet search found no placeholder cell any more after " +
                           text::toUtf8(c.Address()) + " (was the sheet edited during the merge?)");
  }
  return next;
}

// The address of the last hit in search order before the search wraps
// around to c. Leaves c on the first hit again.
std::u16string lastHitAddress(sheet::Range& cells, std::shared_ptr<sheet::Range>& c) {
  const std::u16string first = c->Address();
  std::u16string last = first;
  std::set<std::u16string> seen{first};
  for (;;) {
    c = nextHit(cells, *c);
    std::u16string at = c->Address();
    if (at == first) return last;
    if (!seen.insert(at).second) {
      // The search circles without coming back to the first hit: the sheet
      // changed under the pass. Going on would never end.
      throw RuntimeError(err::kSheetOperationFailed,
                         "The worksheet search no longer returns to the first placeholder cell " +
                             text::toUtf8(first) + " (was the sheet edited during the merge?)");
    }
    last = std::move(at);
  }
}

// The text form of a written value for observers.
std::u16string shownValue(const Variant& v) {
  if (v.isNull()) return u"Null";
  if (v.type() == VarType::Binary) return u"(binary)";
  return toText(v);
}

}  // namespace

PassEnd mergeSheetPass(SheetMembers& m, const std::function<void()>& detailStep) {
  m.objExcel = sheet::attachRunning();
  m.objWorkbook = m.objExcel->ActiveWorkbook();
  m.objWorksheet = m.objWorkbook->ActiveSheet();
  const std::shared_ptr<void> held = m.objWorksheet->holdUpdates();
  std::shared_ptr<sheet::Range> cells = m.objWorksheet->Cells();
  cells->Activate();
  cells->Select();

  m.c = cells->Find(names::kValueMarker);
  if (m.c) {
    const std::u16string last = lastHitAddress(*cells, m.c);
    m.kivdb = Engine::instance().OpenDatabase(m.curdbloc);
    m.kivrs = reference::open(*m.kivdb);
    // The placeholders share their snapshots, one span at a time; not across
    // an observer that may wait between two placeholders.
    std::optional<ReadRun> run;
    if (!m.observer || !m.observer->mayWait()) run.emplace();
    for (;;) {
      const std::u16string where = m.c->Address();
      const Variant content = m.c->Value();
      const std::u16string placeholder = content.isString() ? content.asString() : toText(content);
      if (m.observer) m.observer->placeholderFound(placeholder, where);
      PlaceholderResult r = resolvePlaceholder(placeholder, m.wkcycle, *m.kivrs,
                                               PlaceholderKind::Worksheet, m.DB, m.rs, m.observer);
      if (r.outcome == Outcome::StopPass) return PassEnd::Stopped;
      if (r.outcome == Outcome::Resolved) {
        if (r.value) {
          m.c->setValue(*r.value);
          if (m.observer) m.observer->valueWritten(shownValue(*r.value), where);
        }
        if (r.comment) {
          std::shared_ptr<sheet::Comment> note = m.c->AddComment();
          note->setVisible(false);
          note->setText(*r.comment);
        }
      }
      if (where == last) break;
      m.c = nextHit(*cells, *m.c);
      m.c->Activate();
    }
  }

  m.c = cells->Find(names::kDetailMarker);
  if (m.c) detailStep();
  return PassEnd::Completed;
}

}  // namespace dorvane::worksheet
