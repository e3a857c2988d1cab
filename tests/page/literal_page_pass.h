// The page pass and the detail walk written the straightforward way: every
// search on the whole string, every write rebuilding the string from the part
// before the placeholder and the rest with its first "gethere" replaced.
// Slow (each write copies the page) but plainly right; the real pass must
// give exactly the same text, HitStr and errors. Used by the differential
// tests and the fuzz target.
#pragma once

#include <dorvane/runtime_error.h>

#include <functional>

#include "page/page_members.h"
#include "page/page_pass.h"
#include "platform/convert.h"
#include "platform/text/compare.h"
#include "resolve/names.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_placeholder.h"
#include "resolve/sql_text.h"

namespace dorvane::literal {

using text::CompareMode;
using text::InStr;

// The write step, word for word: before + rest with one replacement.
inline void writeStep(std::u16string& text, std::int64_t hit, const std::u16string& x) {
  std::u16string before = text.substr(0, static_cast<size_t>(hit - 1));
  std::u16string rest = text.substr(static_cast<size_t>(hit - 1));
  size_t p = rest.find(u"gethere");
  if (p != std::u16string::npos) rest.replace(p, 7, x);
  text = before + rest;
}

inline std::u16string mid(const std::u16string& s, std::int64_t start, std::int64_t n) {
  if (n < 0) throw RuntimeError(err::kInvalidCall, "Invalid procedure call");
  return s.substr(static_cast<size_t>(start - 1), static_cast<size_t>(n));
}

inline page::PassEnd pagePass(page::PageMembers& m, const std::function<void()>& detail) {
  m.HitStr = 0;
  m.HitStr = static_cast<std::int32_t>(InStr(1, m.text, u"!!", CompareMode::Binary));
  if (m.HitStr != 0) {
    m.kivdb = Engine::instance().OpenDatabase(m.curdbloc);
    m.kivrs = reference::open(*m.kivdb);
  }
  while (m.HitStr != 0) {
    std::int64_t E = InStr(m.HitStr + 1, m.text, u";", CompareMode::Binary);
    std::u16string placeholder = mid(m.text, m.HitStr, E - m.HitStr + 1);
    PlaceholderResult r =
        resolvePlaceholder(placeholder, m.wkcycle, *m.kivrs, PlaceholderKind::Page, m.DB, m.rs);
    if (r.outcome == Outcome::StopPass) return page::PassEnd::Stopped;
    if (r.outcome == Outcome::Resolved && r.value) writeStep(m.text, m.HitStr, toText(*r.value));
    m.HitStr = static_cast<std::int32_t>(InStr(m.HitStr + 1, m.text, u"!!", CompareMode::Binary));
  }
  m.HitStr = 0;
  m.HitStr = static_cast<std::int32_t>(InStr(1, m.text, u"&&", CompareMode::Binary));
  if (m.HitStr != 0) detail();
  return page::PassEnd::Done;
}

inline void detailWalkUntrapped(page::PageMembers& m) {
  for (;;) {
    m.textWeb = u"";
    m.textWebbefore = u"";
    std::int64_t E = InStr(m.HitStr + 1, m.text, u";", CompareMode::Binary);
    std::int64_t L = E - m.HitStr;
    std::u16string placeholder = mid(m.text, m.HitStr, L);
    std::int64_t C = InStr(1, placeholder, u",", CompareMode::Text);
    if (C == 0 || C == L) return;
    m.kivdb = Engine::instance().OpenDatabase(m.curdbloc);
    m.kivrs = reference::open(*m.kivdb);
    std::u16string key = placeholder.substr(0, static_cast<size_t>(C - 1));
    std::u16string keyValue = placeholder.substr(static_cast<size_t>(C));
    if (reference::seek(*m.kivrs, key) &&
        reference::selectsPass(m.kivrs->Fields(names::kTransferPriority), m.wkcycle)) {
      std::u16string itemsSql = sql::detailItems(key);
      m.DB = Engine::instance().OpenDatabase(reference::requireText(*m.kivrs, names::kDbName, key));
      bool tableMode =
          reference::requireText(*m.kivrs, names::kTableOrQuery, key) == names::kTableMode;
      std::u16string S = tableMode ? reference::requireText(*m.kivrs, names::kTableName, key)
                                   : reference::joinText(*m.kivrs, names::kQueryName);
      m.kivrs2 = m.kivdb->OpenRecordset(itemsSql);
      m.rs = m.DB->OpenRecordset(
          sql::detailTarget(S, reference::joinText(*m.kivrs, names::kKeyField), keyValue));
      if (!m.rs->Eof()) {
        auto piece = [&](const std::u16string& p) {
          m.textWebbefore = p;
          m.textWeb = m.textWeb + m.textWebbefore;
        };
        piece(u"<TABLE>");
        while (!m.rs->Eof()) {
          piece(u"<TR>");
          if (m.kivrs2->RecordCount() != 0) {
            while (!m.kivrs2->Eof()) {
              Variant v = m.rs->Fields(toText(m.kivrs2->Fields(names::kFieldName)));
              piece(u"<TD>" + (v.isNull() ? std::u16string() : toText(v)) + u"</TD>");
              m.kivrs2->MoveNext();
            }
            m.kivrs2->MoveFirst();
            piece(u"</TR>");
          }
          m.rs->MoveNext();
        }
        piece(u"</TABLE>");
        writeStep(m.text, m.HitStr, m.textWeb);
      }
    }
    m.HitStr = static_cast<std::int32_t>(InStr(m.HitStr + 1, m.text, u"&&", CompareMode::Binary));
    if (m.HitStr == 0) return;
  }
}

// The detail walk with its silent trap.
inline void detailWalk(page::PageMembers& m) {
  try {
    detailWalkUntrapped(m);
  } catch (const RuntimeError&) {
  }
}

}  // namespace dorvane::literal
