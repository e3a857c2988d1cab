#include "page/page_detail.h"

#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>

#include <new>
#include <optional>
#include <stdexcept>

#include "page/page_text.h"
#include "platform/convert.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "resolve/names.h"
#include "resolve/reference_table.h"
#include "resolve/sql_text.h"

namespace dorvane::page {

namespace {

// The table being built. Appending a piece sets textWebbefore to it and adds
// it to textWeb or, when nobody reads textWeb, to a PieceText that moves into
// the page without a second whole copy.
class Table {
 public:
  Table(PageMembers& m, bool inPieces) : m_(m), inPieces_(inPieces) {}

  void append(std::u16string piece) {
    m_.textWebbefore = std::move(piece);
    if (inPieces_) {
      pieces_.append(m_.textWebbefore);
    } else {
      m_.textWeb += m_.textWebbefore;
    }
  }

  // The write step at the first marker at or after from; 0 when there is none.
  std::int64_t writeInto(PageText& page, std::int64_t from) {
    return inPieces_ ? page.writeAtMarker(from, std::move(pieces_))
                     : page.writeAtMarker(from, m_.textWeb);
  }

 private:
  PageMembers& m_;
  bool inPieces_;
  PieceText pieces_;
};

// Builds the table of one hit and writes it at the marker after the hit.
void expandHit(PageMembers& m, PageText& page, const std::u16string& key,
               const std::u16string& keyValue, MergeObserver& obs, bool inPieces) {
  const std::u16string itemsSql = sql::detailItems(key);
  m.DB = Engine::instance().OpenDatabase(reference::requireText(*m.kivrs, names::kDbName, key));
  const bool tableMode =
      reference::requireText(*m.kivrs, names::kTableOrQuery, key) == names::kTableMode;
  const std::u16string target = tableMode ? reference::requireText(*m.kivrs, names::kTableName, key)
                                          : reference::joinText(*m.kivrs, names::kQueryName);
  obs.sqlRun(itemsSql);
  m.kivrs2 = m.kivdb->OpenRecordset(itemsSql);
  const std::u16string targetSql =
      sql::detailTarget(target, reference::joinText(*m.kivrs, names::kKeyField), keyValue);
  obs.sqlRun(targetSql);
  m.rs = m.DB->OpenRecordset(targetSql);
  if (m.rs->Eof()) {
    obs.recordsRead(0);
    obs.skipped("the target has no record for the key value: nothing is inserted");
    return;
  }

  const std::string itemColumn = "column '" + text::toUtf8(names::kFieldName) + "' of the " +
                                 text::toUtf8(names::kDetailItemTable) + " rows for '" +
                                 text::toUtf8(key) + "'";
  Table table(m, inPieces);
  table.append(u"<TABLE>");
  long records = 0;
  while (!m.rs->Eof()) {
    ++records;
    table.append(u"<TR>");
    if (m.kivrs2->RecordCount() != 0) {
      while (!m.kivrs2->Eof()) {
        const std::u16string field = toText(m.kivrs2->Fields(names::kFieldName), itemColumn);
        const Variant v = m.rs->Fields(field);
        table.append(u"<TD>" + (v.isNull() ? std::u16string() : toText(v)) + u"</TD>");
        m.kivrs2->MoveNext();
      }
      m.kivrs2->MoveFirst();
      table.append(u"</TR>");
    }
    m.rs->MoveNext();
  }
  table.append(u"</TABLE>");
  obs.recordsRead(records);

  const std::int64_t at = table.writeInto(page, m.HitStr);
  // (Tables are built in pieces only when nobody observes, so textWeb is
  // what an observer hears.)
  obs.valueWritten(m.textWeb,
                   at != 0 ? positionText(at)
                           : u"nowhere: no \"gethere\" at or after " + positionText(m.HitStr));
}

// Walks the hits; raises the first run-time error. With snapshots, each hit
// reads one consistent view of its files, as a value placeholder does.
void walk(PageMembers& m, PageText& page, MergeObserver& obs, bool inPieces, bool snapshots) {
  for (;;) {
    std::optional<ReadSnapshot> view;
    if (snapshots) view.emplace();
    m.textWeb.clear();
    m.textWebbefore.clear();
    const std::int64_t hit = m.HitStr;
    const std::int64_t E = page.find(u";", hit + 1);
    if (E == 0) {
      throw RuntimeError(err::kInvalidCall,
                         "Invalid procedure call: the detail placeholder at position " +
                             std::to_string(hit) + " has no ';' after it");
    }
    const std::int64_t L = E - hit;
    // The "," of the placeholder: the first one at or after the hit, if it
    // lies before the ";" (the key and key value are copied only when used).
    std::int64_t comma = page.find(u",", hit);
    const std::int64_t C = comma != 0 && comma < E ? comma - hit + 1 : 0;
    const std::u16string key = C == 0 ? std::u16string() : page.substr(hit, C - 1);
    obs.placeholderFound(page.substr(hit, std::min<std::int64_t>(L, 200)), positionText(hit));
    if (C == 0 || C == L) {
      obs.skipped(C == 0 ? "a detail placeholder without ',': the detail tables end here"
                         : "a detail placeholder with ',' last: the detail tables end here");
      return;
    }

    m.kivdb = Engine::instance().OpenDatabase(m.curdbloc);
    m.kivrs = reference::open(*m.kivdb);
    const bool found = reference::seek(*m.kivrs, key);
    obs.keyLookedUp(key, found);
    if (found && obs.hearsRows()) obs.referenceRowRead(reference::observedRow(*m.kivrs));
    if (!found) {
      obs.skipped("no row for the key in the reference table");
    } else if (!reference::selectsPass(m.kivrs->Fields(names::kTransferPriority), m.wkcycle)) {
      obs.skipped(kOtherPassReason);
    } else {
      expandHit(m, page, key, page.substr(hit + C, L - C), obs, inPieces);
    }

    m.HitStr = position32(page.find(names::kDetailMarker, hit + 1));
    if (m.HitStr == 0) return;
  }
}

}  // namespace

void expandDetailTables(PageMembers& m, MergeObserver* observer) {
  struct : MergeObserver {
    bool hearsRows() const override { return false; }
  } none;
  MergeObserver& obs = observer ? *observer : none;
  PageText page(std::move(m.text));
  try {
    // Not under an observer that may wait while a view is held.
    walk(m, page, obs, !m.keepTextWeb && observer == nullptr,
         observer == nullptr || !observer->mayWait());
  } catch (const RuntimeError& e) {
    obs.failed("detail table at position " + std::to_string(m.HitStr), e.number(), e.description());
  } catch (const std::bad_alloc&) {
    obs.failed("detail table at position " + std::to_string(m.HitStr), err::kOutOfMemory,
               "Out of memory building a detail table");
  } catch (const std::length_error&) {
    obs.failed("detail table at position " + std::to_string(m.HitStr), err::kOutOfMemory,
               "Out of memory: a detail table longer than a string can hold");
  } catch (...) {
    m.text = page.release();
    throw;
  }
  m.text = page.release();
}

}  // namespace dorvane::page
