#include "worksheet/sheet_detail.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "platform/convert.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "resolve/names.h"
#include "resolve/reference_table.h"
#include "resolve/sql_text.h"

namespace dorvane::worksheet {

namespace {

// The next hit of the worksheet's search after c; raises 91 when there is none.
std::shared_ptr<sheet::Range> requireNext(sheet::Range& cells, const sheet::Range& c) {
  auto next = cells.FindNext(c);
  if (!next) {
    throw RuntimeError(err::kObjectNotSet,
                       "The worksheet search found no detail placeholder "
                       "cell any more after " +
                           text::toUtf8(c.Address()));
  }
  return next;
}

// The address of the hit the search visits last before it wraps around to c.
// Activates every hit once; leaves c on the first hit again.
std::u16string lastHitAddress(sheet::Range& cells, std::shared_ptr<sheet::Range>& c) {
  c->Activate();
  const std::u16string first = c->Address();
  std::u16string last = first;
  std::set<std::u16string> seen{first};
  for (;;) {
    c = requireNext(cells, *c);
    c->Activate();
    std::u16string at = c->Address();
    if (at == first) return last;
    if (!seen.insert(at).second) {
      throw RuntimeError(err::kSheetOperationFailed,
                         "The worksheet search no longer returns to the first detail placeholder " +
                             text::toUtf8(first) + " (was the sheet edited during the merge?)");
    }
    last = std::move(at);
  }
}

// A whole number from a double, a tie going to the even one.
double roundHalfEven(double d) { return std::nearbyint(d); }

// "行間" of the current reference row as a whole number of rows.
long rowSpacing(const Recordset& kivrs, const std::u16string& key) {
  const std::string what = "column '" + text::toUtf8(names::kRowSpacing) + "' of the " +
                           text::toUtf8(names::kReferenceTable) + " row '" + text::toUtf8(key) +
                           "'";
  double d = roundHalfEven(toDouble(kivrs.Fields(names::kRowSpacing), what));
  if (!(std::fabs(d) <= static_cast<double>(sheet::kMaxRows))) {
    throw RuntimeError(err::kOverflow, "Overflow: " + what + " moves the rows off the worksheet");
  }
  return static_cast<long>(d);
}

// Loads the detail items of kivrs2 into a fresh slot table.
SlotTable loadSlots(Recordset& kivrs2, const std::u16string& key) {
  SlotTable slots;
  try {
    kivrs2.MoveFirst();
  } catch (const RuntimeError& e) {
    throw RuntimeError(e.number(), "The " + text::toUtf8(names::kDetailItemTable) +
                                       " has no row for the key '" + text::toUtf8(key) +
                                       "': " + e.description());
  }
  const std::string nameWhat = "column '" + text::toUtf8(names::kFieldName) + "' of the " +
                               text::toUtf8(names::kDetailItemTable) + " for '" +
                               text::toUtf8(key) + "'";
  while (!kivrs2.Eof()) {
    const int n = slotNumber(kivrs2.Fields(names::kDetailOrder));
    slots[n].mark = static_cast<std::int16_t>(n);
    slots[n].fieldName = toText(kivrs2.Fields(names::kFieldName), nameWhat);
    kivrs2.MoveNext();
  }
  return slots;
}

// Empty cells and empty texts take a block value; everything else keeps its content.
bool isEmptyValue(const Variant& v) {
  return v.isEmpty() || (v.isString() && v.asString().empty());
}

// Expands one hit at (r0, c0) whose key found its reference row on m.kivrs.
void expandHit(SheetMembers& m, const DetailText& parts, long r0, long c0) {
  Recordset& kivrs = *m.kivrs;
  const std::u16string itemsSql = sql::detailItems(parts.key);
  if (m.observer) m.observer->sqlRun(itemsSql);
  m.kivrs2 = m.kivdb->OpenRecordset(itemsSql);
  const SlotTable slots = loadSlots(*m.kivrs2, parts.key);

  const std::u16string dbName = reference::requireText(kivrs, names::kDbName, parts.key);
  m.DB = nullptr;
  m.DB = Engine::instance().OpenDatabase(dbName);
  const bool tableMode =
      reference::requireText(kivrs, names::kTableOrQuery, parts.key) == names::kTableMode;
  const std::u16string target = tableMode
                                    ? reference::requireText(kivrs, names::kTableName, parts.key)
                                    : reference::joinText(kivrs, names::kQueryName);
  std::u16string source = target;
  if (parts.keyValue) {
    source =
        sql::detailTarget(target, reference::joinText(kivrs, names::kKeyField), *parts.keyValue);
  }
  if (m.observer) m.observer->sqlRun(source);
  m.rs = m.DB->OpenRecordset(source);

  sheet::Worksheet& ws = *m.objWorksheet;
  if (m.rs->Eof()) {
    if (m.observer) m.observer->recordsRead(0);
    ws.Cells(r0, c0)->setValue(Variant::string(u""));
    if (m.observer) m.observer->valueWritten(u"", ws.Cells(r0, c0)->Address());
    return;
  }
  const std::u16string anchor = ws.Cells(r0, c0)->Address();
  if (Variant description = kivrs.Fields(names::kDescription); !description.isNull()) {
    std::shared_ptr<sheet::Comment> note = m.c->AddComment();
    note->setVisible(false);
    note->setText(toText(description));
  }

  Recordset& rs = *m.rs;
  rs.MoveFirst();
  long row = r0;
  long column = c0;
  std::size_t records = 0;
  long bottom = r0, right = c0;
  do {
    const long startColumn = column;
    int s = 0;
    for (;;) {
      std::shared_ptr<sheet::Range> cell = ws.Cells(row, column);
      if (cell->Address() == anchor || isEmptyValue(cell->Value())) {
        cell->setValue(rs.Fields(slots[static_cast<std::size_t>(s)].fieldName));
      }
      right = std::max(right, column);
      ++column;
      ++s;
      if (s >= kSlotCount) {
        throw RuntimeError(err::kSubscriptOutOfRange,
                           "Subscript out of range: slot 100 of the detail items of '" +
                               text::toUtf8(parts.key) +
                               "' is in use, so its block runs past the last slot");
      }
      if (slots[static_cast<std::size_t>(s)].mark == kFreeSlot) break;
    }
    rs.MoveNext();
    ++records;
    bottom = row;
    row += rowSpacing(kivrs, parts.key);
    column = startColumn;
  } while (!rs.Eof());
  if (m.observer) {
    m.observer->recordsRead(static_cast<long>(records));
    m.observer->valueWritten(u"(block of " + text::fromUtf8(std::to_string(records)) + u" rows)",
                             anchor);
    m.observer->blockWritten(r0, c0, bottom, right);
  }
}

}  // namespace

DetailText splitDetailText(const std::u16string& text) {
  const std::int64_t comma = text::InStr(1, text, u",", text::CompareMode::Text);
  if (comma == 0) return {text, std::nullopt};
  const auto at = static_cast<std::size_t>(comma - 1);
  return {text.substr(0, at), text.substr(at + 1)};
}

int slotNumber(const Variant& detailOrder) {
  const std::string what = "column '" + text::toUtf8(names::kDetailOrder) + "' of the " +
                           text::toUtf8(names::kDetailItemTable);
  const double n = roundHalfEven(toDouble(detailOrder, what));
  if (!(n >= 0 && n < kSlotCount)) {
    throw RuntimeError(err::kSubscriptOutOfRange, "Subscript out of range: " + what + " holds " +
                                                      text::toUtf8(toText(detailOrder)) +
                                                      ", not a slot from 0 to 100");
  }
  return static_cast<int>(n);
}

void expandDetails(SheetMembers& m) {
  std::shared_ptr<sheet::Range> cells = m.objWorksheet->Cells();
  const std::u16string last = lastHitAddress(*cells, m.c);
  std::set<std::u16string> visited;

  for (;;) {
    const std::u16string where = m.c->Address();
    visited.insert(where);
    const long r0 = m.c->Row();
    const long c0 = m.c->Column();
    m.kivdb = Engine::instance().OpenDatabase(m.curdbloc);
    m.kivrs = reference::open(*m.kivdb);

    const Variant content = m.c->Value();
    const DetailText parts =
        splitDetailText(content.isString() ? content.asString() : toText(content));
    if (m.observer)
      m.observer->placeholderFound(parts.key + (parts.keyValue ? u"," + *parts.keyValue : u""),
                                   where);
    const bool found = reference::seek(*m.kivrs, parts.key);
    if (m.observer) m.observer->keyLookedUp(parts.key, found);
    if (found && m.observer && m.observer->hearsRows())
      m.observer->referenceRowRead(reference::observedRow(*m.kivrs));
    const bool selected =
        found && reference::selectsPass(m.kivrs->Fields(names::kTransferPriority), m.wkcycle);

    if (!selected) {
      if (found && m.observer) m.observer->skipped(kOtherPassReason);
      if (where == last) return;
      m.c = requireNext(*cells, *m.c);
    } else {
      expandHit(m, parts, r0, c0);
      m.c = cells->FindNext(*m.c);
      if (!m.c) return;
    }
    // Every hit left has been visited once: the walk would only circle.
    if (visited.count(m.c->Address())) return;
    m.c->Activate();
  }
}

}  // namespace dorvane::worksheet
