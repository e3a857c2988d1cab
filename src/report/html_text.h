// Text from templates and databases made safe to place into HTML, and
// passwords of connect strings hidden.
#pragma once

#include <string>
#include <string_view>

namespace dorvane::report {

// s as UTF-8 HTML text, safe in element content and in quoted attribute
// values: & < > " ' become references; a byte the page's code page does not
// define (kept as U+DC00 + byte) shows as \xNN (marked up as such when
// markRawBytes, plain in attributes); any other unpaired surrogate becomes
// U+FFFD; control characters other than tab, line feed and carriage return
// show as their Unicode control pictures (U+2400 + code).
std::string escapeHtml(std::u16string_view s, bool markRawBytes = true);
// The same for text already in UTF-8 (an invalid sequence becomes U+FFFD).
std::string escapeHtml(std::string_view utf8, bool markRawBytes = true);

// s with the value of every PWD= and PASSWORD= (any case), up to the next ";"
// or a whole {braced} value, replaced by "****".
std::u16string maskPasswords(std::u16string s);
std::string maskPasswords(const std::string& utf8);

}  // namespace dorvane::report
