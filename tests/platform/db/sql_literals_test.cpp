#include "platform/db/sql_literals.h"

#include <gtest/gtest.h>

#include "platform/text/utf.h"

namespace dorvane::db {
namespace {

TEST(ParameterizeLiterals, TakesOutOnlyComparedLiterals) {
  struct Case {
    const char16_t* sql;
    const char* text;  // nullptr: left alone
    std::vector<std::u16string> values;
  } cases[] = {
      {u"select all t.* from t where t.k = 'A01'", "select all t.* from t where t.k = ?", {u"A01"}},
      {u"select all q.* from q where q.k= 'A' and q.k2 ='B'",
       "select all q.* from q where q.k= ? and q.k2 =?",
       {u"A", u"B"}},
      {u"select all t.* from t where t.k = 'it''s'",
       "select all t.* from t where t.k = ?",
       {u"it's"}},
      {u"select all t.* from t where t.k = ''", "select all t.* from t where t.k = ?", {u""}},
      {u"select 'x' as c from t", nullptr, {}},              // not compared: kept
      {u"select * from t where k like 'a%'", nullptr, {}},   // not after "=": kept
      {u"select * from \"t\" where k = 'a'", nullptr, {}},   // quoted names: alone
      {u"select * from t where k = 'a' -- c", nullptr, {}},  // comments: alone
      {u"select * from t where k = 'unterminated", nullptr, {}},
      {u"select * from t", nullptr, {}},
  };
  for (const auto& c : cases) {
    auto p = parameterizeLiterals(c.sql);
    ASSERT_EQ(p.has_value(), c.text != nullptr) << text::toUtf8(c.sql);
    if (!p) continue;
    EXPECT_EQ(text::toUtf8(p->text), c.text);
    EXPECT_EQ(p->values, c.values);
  }
}

}  // namespace
}  // namespace dorvane::db
