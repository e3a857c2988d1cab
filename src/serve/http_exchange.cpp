#include "serve/http_exchange.h"

#include <strings.h>

#include <charconv>

namespace dorvane::serve {

std::string percentDecoded(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && plusIsSpace) {
      out += ' ';
    } else if (unsigned byte = 0;
               c == '%' && i + 2 < text.size() &&
               std::from_chars(&text[i + 1], &text[i + 3], byte, 16).ptr == &text[i + 3]) {
      out += static_cast<char>(byte);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

namespace {

std::string decode(std::string_view text) { return percentDecoded(text, true); }

// Calls f(name, value) with each "name=value" of query, undecoded, until it
// returns true; returns whether it did.
template <class F>
bool eachParam(std::string_view query, F f) {
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    if (f(pair.substr(0, eq),
          eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1)))
      return true;
  }
  return false;
}

}  // namespace

std::string_view HttpRequest::header(std::string_view name) const {
  for (const auto& [field, value] : headers) {
    if (field.size() == name.size() && ::strncasecmp(field.data(), name.data(), name.size()) == 0)
      return value;
  }
  return {};
}

bool HttpRequest::hasParam(std::string_view name) const {
  return eachParam(query, [&](std::string_view key, std::string_view) {
    return key == name || decode(key) == name;
  });
}

std::string HttpRequest::param(std::string_view name) const {
  std::string found;
  eachParam(query, [&](std::string_view key, std::string_view value) {
    if (key != name && decode(key) != name) return false;
    found = decode(value);
    return true;
  });
  return found;
}

}  // namespace dorvane::serve
