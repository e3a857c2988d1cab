// Text searches and comparisons in the two compare modes of the system.
//
// Binary compares code units exactly (page searches). Text compares
// case-insensitively: ASCII letters and full-width Latin letters are folded,
// everything else compares exactly (placeholder separators, field names).
// Positions are 1-based; 0 means "not found".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dorvane::text {

enum class CompareMode { Binary, Text };

// Folds one code unit for the text compare (lower case to upper case for ASCII
// and full-width Latin letters).
char16_t foldCase(char16_t c);

// Position of the first occurrence of find in s at or after position start
// (1-based), or 0. An empty find gives start when start <= size + 1.
std::int64_t InStr(std::int64_t start, std::u16string_view s, std::u16string_view find,
                   CompareMode mode);

// Equality under the text compare.
bool equalsText(std::u16string_view a, std::u16string_view b);

}  // namespace dorvane::text
