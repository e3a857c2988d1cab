// ODBC connect strings: telling them from file paths, and showing them
// without their passwords.
//
// A database named "ODBC;…" (in "DB名", or as the database of a merge) lives
// on a server reached through the ODBC driver manager; an Access file's
// linked table stores the same form in its catalog's Connect column.
#pragma once

#include <string>
#include <string_view>

namespace dorvane::db {

// True when name begins with "ODBC;" (case-blind).
bool isOdbcName(std::u16string_view name);

// The attributes the driver manager gets: name without its "ODBC;" prefix.
std::string odbcAttributes(std::string_view name);

// text with the value of every PWD= and PASSWORD= attribute (case-blind,
// braced values included) replaced by "***". Everything the system shows —
// error descriptions, --explain, inspect — passes a connect string through
// this first. Text without such an attribute comes back unchanged.
std::string maskPasswords(std::string_view text);
std::u16string maskPasswords(std::u16string_view text);

}  // namespace dorvane::db
