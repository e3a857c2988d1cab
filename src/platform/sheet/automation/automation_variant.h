// Field values as automation VARIANTs and back, for the spreadsheet
// application reached over automation (Windows only).
#pragma once

#include <dorvane/variant.h>
#include <ole2.h>

namespace dorvane::sheet::automation {

// Makes out (uninitialised on entry) hold value; the caller clears it with
// VariantClear. Raises 13 for an object, which a cell cannot hold.
void toVARIANT(const Variant& value, VARIANT& out);

// The field value v holds, by-reference variants followed. A cell's error
// value (VT_ERROR) comes back as its text, "Error 2042"; integer kinds
// without a Variant twin as Long or Double. Raises 13 for objects and
// arrays other than bytes.
Variant fromVARIANT(const VARIANT& v);

}  // namespace dorvane::sheet::automation
