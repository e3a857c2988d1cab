#include "platform/db/odbc_connect_string.h"

#include <cctype>

#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
constexpr std::string_view kPrefix = "ODBC;";

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(s[i])) !=
        std::toupper(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// True when the attribute name ending just before '=' at eq is a password:
// PWD or PASSWORD, after a ';', a blank or the start of the text.
bool passwordKeyBefore(std::string_view s, size_t eq) {
  size_t end = eq;
  while (end > 0 && s[end - 1] == ' ') --end;
  size_t begin = end;
  while (begin > 0 && std::isalpha(static_cast<unsigned char>(s[begin - 1]))) --begin;
  if (begin > 0 && s[begin - 1] != ';' && s[begin - 1] != ' ' && s[begin - 1] != '\'' &&
      s[begin - 1] != '"')
    return false;
  std::string_view key = s.substr(begin, end - begin);
  return (key.size() == 3 && startsWithNoCase(key, "PWD")) ||
         (key.size() == 8 && startsWithNoCase(key, "PASSWORD"));
}
}  // namespace

bool isOdbcName(std::u16string_view name) {
  if (name.size() < kPrefix.size()) return false;
  // ASCII letters compared case-blind, anything else exactly.
  for (size_t i = 0; i < kPrefix.size(); ++i) {
    char16_t c = name[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    const char p = kPrefix[i];
    if (c != static_cast<char16_t>(p >= 'a' && p <= 'z' ? p - 'a' + 'A' : p)) return false;
  }
  return true;
}

std::string odbcAttributes(std::string_view name) {
  return std::string(startsWithNoCase(name, kPrefix) ? name.substr(kPrefix.size()) : name);
}

std::string maskPasswords(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    out.push_back(c);
    ++i;
    if (c != '=' || !passwordKeyBefore(s, i - 1)) continue;
    // The value: {…} with "}}" for a brace, or up to the next ';'.
    size_t end = i;
    if (end < s.size() && s[end] == '{') {
      for (++end; end < s.size(); ++end) {
        if (s[end] != '}') continue;
        if (end + 1 < s.size() && s[end + 1] == '}') {
          ++end;
          continue;
        }
        ++end;
        break;
      }
    } else {
      while (end < s.size() && s[end] != ';' && s[end] != '\'' && s[end] != '"' && s[end] != '\n')
        ++end;
    }
    out += "***";
    i = end;
  }
  return out;
}

std::u16string maskPasswords(std::u16string_view s) {
  if (s.find(u'=') == std::u16string_view::npos) return std::u16string(s);
  return text::fromUtf8(maskPasswords(text::toUtf8(s)));
}

}  // namespace dorvane::db
