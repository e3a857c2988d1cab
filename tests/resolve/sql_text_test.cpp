#include "resolve/sql_text.h"

#include <gtest/gtest.h>

#include "platform/text/utf.h"

namespace dorvane::sql {
namespace {

std::string u8(const std::u16string& s) { return text::toUtf8(s); }

TEST(SqlText, TheFourValueTargetTextsKeepTheirSpacing) {
  EXPECT_EQ(u8(valueTarget(true, u"sales", u"code", u"A01", std::nullopt)),
            "select all sales.* from sales where sales.code = 'A01'");
  EXPECT_EQ(u8(valueTarget(true, u"stock", u"code", u"A01", SecondCondition{u"lot", u"2"})),
            "select all stock.* from stock where stock.code = 'A01' and stock.lot = '2'");
  EXPECT_EQ(u8(valueTarget(false, u"q", u"code", u"A01", std::nullopt)),
            "select all q.* from q where q.code= 'A01'");
  EXPECT_EQ(u8(valueTarget(false, u"q", u"code", u"A01", SecondCondition{u"lot", u"2"})),
            "select all q.* from q where q.code= 'A01' and q.lot ='2'");
}

TEST(SqlText, KeyValuesCannotLeaveTheirLiteral) {
  EXPECT_EQ(u8(valueTarget(true, u"t", u"k", u"x' or '1'='1", std::nullopt)),
            "select all t.* from t where t.k = 'x'' or ''1''=''1'");
  EXPECT_EQ(u8(valueTarget(true, u"t", u"k", u"A01", SecondCondition{u"k2", u"2'3"})),
            "select all t.* from t where t.k = 'A01' and t.k2 = '2''3'");
  EXPECT_EQ(u8(detailItems(u"&&o'x")),
            "select all 明細項目ﾃｰﾌﾞﾙ.* from 明細項目ﾃｰﾌﾞﾙ where 明細項目ﾃｰﾌﾞﾙ.ｷｰ = '&&o''x'");
  EXPECT_EQ(u8(detailTarget(u"orders", u"code", u"A01")),
            "select all orders.* from orders where orders.code ='A01'");
}

}  // namespace
}  // namespace dorvane::sql
