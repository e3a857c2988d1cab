// Parameterising the text literals of an SQL text, so that texts that differ
// only in their compared values share one prepared statement.
//
// Only a literal that directly follows "=" (blanks between allowed) becomes a
// parameter: there a bound text value compares exactly like the literal
// (neither has an affinity), and no result column is named after it. Texts
// with quoted names, brackets or comments are left alone.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dorvane::db {

struct ParameterizedSql {
  std::u16string text;                 // the SQL with "?" for each literal taken out
  std::vector<std::u16string> values;  // the literals' values, quotes undoubled
};

// Nothing when no literal was taken out or the text is not one we handle.
std::optional<ParameterizedSql> parameterizeLiterals(const std::u16string& sql);
// The same into out, reusing its storage; false for nothing.
bool parameterizeLiterals(const std::u16string& sql, ParameterizedSql& out);

}  // namespace dorvane::db
