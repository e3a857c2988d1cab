// Translating Access (Jet) SQL expressions into SQLite expressions.
//
// Handles [bracketed] and bare names, "…" and '…' strings, #date# literals
// (as the serial numbers the copy stores), True/False, & (Null-safe
// concatenation), Mod and \, Like with * ? and [c] wildcards, Is [Not] Null,
// Between, In, Yes/No/On/Off, and the functions IIf, Nz, CCur, Left, Right, Mid, Len, UCase, LCase,
// Trim, LTrim, RTrim, Abs, Int, Fix, Val, CStr, CDbl, CLng, CInt, Year, Month,
// Day, Hour, Minute, Second, Date, Now, Format (simple date and number
// formats), and the aggregates Sum, Count, Avg, Min, Max. Anything else is
// refused with the reason, never translated into something that means
// otherwise.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/db/translate_error.h"

namespace dorvane::db {

// Translates one Access expression (UTF-8) into SQLite (UTF-8). Raises
// TranslateError with the reason for what it cannot translate.
std::string translateAccessExpression(const std::string& expression);

// The names an expression refers to: table qualifiers (the T of T.c and T.*)
// and column names without a qualifier. Raises TranslateError as above.
struct NameUses {
  std::vector<std::string> qualifiers;
  std::vector<std::string> unqualified;
};
NameUses namesIn(const std::string& expression);

// A plain column reference: its table qualifier ("" when it has none) and
// its column, or nothing for any other expression.
struct ColumnReference {
  std::string table, column;
};
std::optional<ColumnReference> columnReference(const std::string& expression);

// True when expression is a plain column reference (name or table.name), whose
// result column SQLite names after the column, as Access does.
bool isColumnReference(const std::string& expression);

}  // namespace dorvane::db
