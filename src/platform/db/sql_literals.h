// Parameterising the text literals of an SQL text, so that texts that differ
// only in their compared values share one prepared statement.
//
// Only a literal that directly follows "=" (blanks between allowed) becomes a
// parameter: there a bound text value compares exactly like the literal
// (neither has an affinity), and no result column is named after it. Texts
// with quoted names, brackets or comments are left alone.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane::db {

struct ParameterizedSql {
  std::u16string text;                 // the SQL with "?" for each literal taken out
  std::vector<std::u16string> values;  // the literals' values, quotes undoubled
};

// Nothing when no literal was taken out or the text is not one we handle.
// A literal's value is data whatever it holds, U+0000 included (SQLite
// would end the text it reads there).
std::optional<ParameterizedSql> parameterizeLiterals(const std::u16string& sql);
// The same into out, reusing its storage; false for nothing.
bool parameterizeLiterals(const std::u16string& sql, ParameterizedSql& out);

// Whether parameterizeLiterals gives exactly shape and count values for the
// text that is shape with each "?" replaced by a value as a literal ('...',
// quotes doubled), decided from the shape alone: shape holds no quote of any
// kind, bracket or comment, and its "?"s are as many as the values and each
// follows "=" (blanks between allowed). Then every literal of the text
// follows "=" and is taken out, and nothing else is.
bool parameterizesAs(std::u16string_view shape, size_t count);

}  // namespace dorvane::db
