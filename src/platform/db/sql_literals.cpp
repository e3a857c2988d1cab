#include "platform/db/sql_literals.h"

namespace dorvane::db {

std::optional<ParameterizedSql> parameterizeLiterals(const std::u16string& sql) {
  ParameterizedSql out;
  if (!parameterizeLiterals(sql, out)) return std::nullopt;
  return out;
}

bool parameterizeLiterals(const std::u16string& sql, ParameterizedSql& out) {
  out.text.clear();
  out.values.clear();
  out.text.reserve(sql.size());
  const size_t n = sql.size();
  for (size_t i = 0; i < n; ++i) {
    char16_t c = sql[i];
    if (c == u'"' || c == u'[' || c == u'`') return false;
    if ((c == u'-' || c == u'/') && i + 1 < n && sql[i + 1] == (c == u'-' ? u'-' : u'*'))
      return false;
    if (c != u'\'') {
      out.text.push_back(c);
      continue;
    }
    // A literal: read it to its closing quote ('' stands for one quote).
    std::u16string value;
    size_t j = i + 1;
    for (;; ++j) {
      if (j >= n) return false;  // unterminated: let the engine report it
      if (sql[j] == u'\'') {
        if (j + 1 < n && sql[j + 1] == u'\'') {
          value.push_back(u'\'');
          ++j;
          continue;
        }
        break;
      }
      value.push_back(sql[j]);
    }
    size_t k = out.text.size();
    while (k > 0 && (out.text[k - 1] == u' ' || out.text[k - 1] == u'\t')) --k;
    if (k > 0 && out.text[k - 1] == u'=') {
      out.text.push_back(u'?');
      out.values.push_back(std::move(value));
    } else {
      out.text.append(sql, i, j - i + 1);
    }
    i = j;
  }
  return !out.values.empty();
}

bool parameterizesAs(std::u16string_view shape, size_t count) {
  size_t marks = 0;
  for (size_t i = 0; i < shape.size(); ++i) {
    const char16_t c = shape[i];
    if (c == u'\'' || c == u'"' || c == u'[' || c == u'`') return false;
    if ((c == u'-' || c == u'/') && i + 1 < shape.size() &&
        shape[i + 1] == (c == u'-' ? u'-' : u'*'))
      return false;
    if (c != u'?') continue;
    size_t k = i;
    while (k > 0 && (shape[k - 1] == u' ' || shape[k - 1] == u'\t')) --k;
    if (k == 0 || shape[k - 1] != u'=') return false;
    ++marks;
  }
  return marks == count && count != 0;
}

}  // namespace dorvane::db
