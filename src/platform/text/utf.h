// Conversions between the system's UTF-16 text and UTF-8 (paths, the command
// line, JSON). Invalid input never throws: an unpaired surrogate or a broken
// UTF-8 sequence becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace dorvane::text {

std::u16string fromUtf8(std::string_view s);
std::string toUtf8(std::u16string_view s);
// The same into out, whose room is kept for the next value.
void toUtf8(std::u16string_view s, std::string& out);
// Appends the code point cp (at most U+10FFFF) to out: one unit, or a
// surrogate pair.
void appendUtf16(std::u16string& out, char32_t cp);

}  // namespace dorvane::text
