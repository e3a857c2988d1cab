#include "resolve/sql_text.h"

#include "resolve/names.h"

namespace dorvane::sql {

namespace {
// Appends value with every "'" doubled.
void appendLiteral(std::u16string& out, std::u16string_view value) {
  if (value.find(u'\'') == std::u16string_view::npos) {
    out.append(value);
    return;
  }
  for (char16_t c : value) {
    out.push_back(c);
    if (c == u'\'') out.push_back(u'\'');
  }
}
}  // namespace

std::u16string literal(const std::u16string& value) {
  std::u16string out;
  out.reserve(value.size());
  appendLiteral(out, value);
  return out;
}

std::u16string valueTarget(bool tableMode, const std::u16string& target,
                           const std::u16string& keyField, std::u16string_view value,
                           const std::optional<SecondCondition>& second) {
  // Built in one piece: one text per placeholder segment.
  std::u16string s;
  s.reserve(40 + 4 * target.size() + keyField.size() + value.size() +
            (second ? second->field.size() + second->value.size() : 0));
  s.append(u"select all ").append(target).append(u".* from ").append(target);
  s.append(u" where ").append(target).append(u".").append(keyField);
  s.append(tableMode ? u" = '" : u"= '");
  appendLiteral(s, value);
  s.append(u"'");
  if (!second) return s;
  s.append(u" and ").append(target).append(u".").append(second->field);
  s.append(tableMode ? u" = '" : u" ='");
  appendLiteral(s, second->value);
  s.append(u"'");
  return s;
}

std::u16string valueTargetShape(bool tableMode, const std::u16string& target,
                                const std::u16string& keyField, const std::u16string* secondField) {
  std::u16string s;
  s.append(u"select all ").append(target).append(u".* from ").append(target);
  s.append(u" where ").append(target).append(u".").append(keyField);
  s.append(tableMode ? u" = ?" : u"= ?");
  if (!secondField) return s;
  s.append(u" and ").append(target).append(u".").append(*secondField);
  s.append(tableMode ? u" = ?" : u" =?");
  return s;
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
