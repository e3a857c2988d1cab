#include "resolve/sql_text.h"

#include "resolve/names.h"

namespace dorvane::sql {

std::u16string literal(const std::u16string& value) {
  std::u16string out;
  out.reserve(value.size());
  for (char16_t c : value) {
    out.push_back(c);
    if (c == u'\'') out.push_back(u'\'');
  }
  return out;
}

std::u16string valueTarget(bool tableMode, const std::u16string& target,
                           const std::u16string& keyField, const std::u16string& value,
                           const std::optional<SecondCondition>& second) {
  std::u16string s = u"select all " + target + u".* from " + target + u" where " + target + u"." +
                     keyField + (tableMode ? u" = '" : u"= '") + literal(value);
  if (!second) return s + u"'";
  return s + u"' and " + target + u"." + second->field + (tableMode ? u" = '" : u" ='") +
         literal(second->value) + u"'";
}

std::u16string detailItems(const std::u16string& key) {
  const std::u16string t = names::kDetailItemTable;
  return u"select all " + t + u".* from " + t + u" where " + t + u"." + names::kDetailKey +
         u" = '" + literal(key) + u"'";
}

std::u16string detailTarget(const std::u16string& target, const std::u16string& keyField,
                            const std::u16string& value) {
  return u"select all " + target + u".* from " + target + u" where " + target + u"." + keyField +
         u" ='" + literal(value) + u"'";
}

}  // namespace dorvane::sql
