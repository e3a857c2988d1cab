// The detail step of the worksheet merge: every detail placeholder ("&&")
// from the cell c on becomes a block of cells, one row per record of its
// target and one column per detail item.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "worksheet/sheet_members.h"

namespace dorvane::worksheet {

// A detail placeholder's text split at its first ",": the key (marker
// included) and, in the key-and-value form, everything after the ",".
struct DetailText {
  std::u16string key;
  std::optional<std::u16string> keyValue;
};
DetailText splitDetailText(const std::u16string& text);

// The slot table of one expansion: slot n holds the field shown n columns to
// the right of the placeholder. A slot's mark is its number when in use and
// kFreeSlot when free.
inline constexpr std::int16_t kFreeSlot = 999;
inline constexpr int kSlotCount = 101;  // slots 0 to 100
struct Slot {
  std::u16string fieldName;
  std::int16_t mark = kFreeSlot;
};
using SlotTable = std::array<Slot, kSlotCount>;

// A "明細順序" as a slot number: rounded to the nearest whole number (a tie
// to the even one). Raises 94 for Null, 13 for a value that is not a number
// and 9 for a result outside 0 to 100.
int slotNumber(const Variant& detailOrder);

// Walks the detail placeholders from c (which holds a hit of the worksheet's
// search for "&&", so that FindNext continues it) and expands each one whose
// reference row belongs to pass wkcycle. Per hit it reopens kivdb and kivrs
// from curdbloc; an expansion sets kivrs2, DB and rs. The walk ends after the
// last hit of its pre-scan when that one is passed over, when the search finds
// no hit any more, or when it comes back to a hit already visited.
//
// Raises every run-time error of the spreadsheet and the engine (the caller,
// 明細型, ends silently on them): no detail item for the key, a "明細順序"
// that is no slot number, a "DB名" or "ﾌｨｰﾙﾄﾞ名" that is Null, a target or
// field that does not exist, a slot 100 in use, a row off the sheet.
void expandDetails(SheetMembers& m);

}  // namespace dorvane::worksheet
