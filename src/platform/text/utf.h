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

}  // namespace dorvane::text
