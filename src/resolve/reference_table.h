// Reading the reference table "参照ﾃｰﾌﾞﾙ": opening it, finding a key's row
// through the index "ｷｰ", the pass selector, and reading its columns with
// descriptions that name the column and the key.
#pragma once

#include <dorvane/engine.h>
#include <dorvane/observer.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dorvane::reference {

// Opens the reference table of kivdb with the engine's default recordset
// type. Raises 3078 when the database has no such table.
std::shared_ptr<Recordset> open(Database& kivdb);

// Sets the index "ｷｰ" and seeks key; true when a row was found. Raises 3251
// when kivrs is not table-type (a linked table or a query) and 3800 when the
// table has no index "ｷｰ".
bool seek(Recordset& kivrs, const std::u16string& key);

// The pass selector: True is handled in pass 1, False in pass 2, anything
// else (Null included) in neither. Numbers compare like booleans (-1 True, 0 False).
bool selectsPass(const Variant& transferPriority, std::int16_t wkcycle);

// The column's value as text; raises 94 naming column and key when it is Null.
std::u16string requireText(const Recordset& kivrs, const char16_t* column,
                           const std::u16string& key);

// The column's value joined as text: Null gives "" (names read this way end
// up in SQL texts, where a missing name makes the engine reject the SQL).
std::u16string joinText(const Recordset& kivrs, const char16_t* column);

// The columns of the current reference row that decide a value (database,
// table or query, key fields, value field and type, unit, rounding, places,
// transfer priority), for observers. A column the row lacks is left out;
// never raises and never moves kivrs.
std::vector<ObservedField> observedRow(const Recordset& kivrs);

}  // namespace dorvane::reference
