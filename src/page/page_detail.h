// The page detail table: every detail placeholder ("&&" key "," key value
// ";") from HitStr on becomes an HTML table that replaces the first
// "gethere" at or after the placeholder.
#pragma once

#include <dorvane/observer.h>

#include "page/page_members.h"

namespace dorvane::page {

// Walks the detail placeholders of m.text from m.HitStr (the position of a
// "&&") rightwards. For each hit whose key has a reference row of this pass,
// reopens kivdb at curdbloc and kivrs, opens the detail items into kivrs2 and
// the target records into rs (DB the source database), builds the table in
// textWeb ("<TABLE>", per record "<TR>", per detail item "<TD>"value"</TD>",
// "</TR>" only when there are detail items, "</TABLE>"; Null gives an empty
// cell; nothing is escaped) and writes it at the marker. When m.keepTextWeb
// is off and there is no observer, the table is built in pieces instead of in
// textWeb (which then stays empty), so that it is never held twice.
//
// The walk ends at a hit without "," (or with "," last), after the last "&&",
// or at the first run-time error, which is trapped here: the observer hears
// it, nothing is raised, and the tables already inserted stay in text.
void expandDetailTables(PageMembers& m, MergeObserver* observer = nullptr);

}  // namespace dorvane::page
