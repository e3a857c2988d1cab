// PageText against a plain string under random searches and writes.
#include "page/page_text.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <random>

#include "platform/text/compare.h"

namespace dorvane::page {
namespace {

using text::CompareMode;
using text::InStr;

TEST(PageText, MatchesAPlainString) {
  std::mt19937 random(99);
  const std::u16string pieces[] = {u"gethere", u"geth", u"ere", u"!!", u"!",  u";",
                                   u"&&",      u"x",    u"",    u"ge", u"re", u"gethere gethere"};
  const std::u16string patterns[] = {u"gethere", u"!!", u";", u"&&", u","};
  for (int round = 0; round < 300; ++round) {
    std::u16string plain;
    for (int i = 0; i < 30; ++i) plain += pieces[random() % std::size(pieces)];
    PageText page(plain);
    for (int op = 0; op < 60; ++op) {
      const auto n = static_cast<std::int64_t>(plain.size());
      const std::int64_t start = static_cast<std::int64_t>(random() % (n + 3));
      if (random() % 3 == 0) {
        const std::u16string x = pieces[random() % std::size(pieces)];
        std::int64_t q =
            InStr(std::max<std::int64_t>(start, 1), plain, u"gethere", CompareMode::Binary);
        if (start <= n && q != 0) plain.replace(static_cast<size_t>(q - 1), 7, x);
        if (random() % 2 == 0) {
          ASSERT_EQ(page.writeAtMarker(start, x), start <= n ? q : 0);
        } else {  // the same text in pieces
          PieceText parts;
          const size_t cut = x.empty() ? 0 : random() % x.size();
          parts.append(std::u16string_view(x).substr(0, cut));
          parts.append(std::u16string_view(x).substr(cut));
          ASSERT_EQ(page.writeAtMarker(start, std::move(parts)), start <= n ? q : 0);
        }
      } else {
        const std::u16string& p = patterns[random() % std::size(patterns)];
        std::int64_t expected = start <= n ? InStr(start, plain, p, CompareMode::Binary) : 0;
        ASSERT_EQ(page.find(p, start), expected) << round << "/" << op;
      }
      ASSERT_EQ(page.size(), static_cast<std::int64_t>(plain.size()));
      if (!plain.empty()) {
        const std::int64_t pos = 1 + static_cast<std::int64_t>(random() % plain.size());
        ASSERT_EQ(page.at(pos), plain[static_cast<size_t>(pos - 1)]);
        ASSERT_EQ(page.substr(pos, 9), plain.substr(static_cast<size_t>(pos - 1), 9));
      }
    }
    ASSERT_EQ(page.release(), plain);
  }
}

TEST(PageText, GrowsForLongValues) {
  PageText page(u"a gethere b gethere c");
  const std::u16string big(100000, u'v');
  EXPECT_EQ(page.writeAtMarker(1, big), 3);
  EXPECT_EQ(page.writeAtMarker(3, u"!"), 3 + 100000 + 3);
  EXPECT_EQ(page.writeAtMarker(1, u"?"), 0);
  EXPECT_EQ(page.release(), u"a " + big + u" b ! c");
}

TEST(PageText, TakesATextOfManyPieces) {
  // Twenty million units: more than one piece holds.
  PieceText table;
  std::u16string expected = u"<p>";
  for (char16_t c = u'a'; c < u'a' + 20; ++c) {
    const std::u16string part(1 << 20, c);
    table.append(part);
    expected += part;
  }
  expected += u"</p>";
  ASSERT_GT(table.pieces().size(), 1u);
  PageText page(u"<p>gethere</p>");
  EXPECT_EQ(page.writeAtMarker(1, std::move(table)), 4);
  EXPECT_TRUE(table.empty());
  EXPECT_EQ(page.release(), expected);
}

TEST(PageText, PositionsBeyondThirtyTwoBits) {
  EXPECT_EQ(position32(2147483647), 2147483647);
  EXPECT_THROW(position32(2147483648LL), RuntimeError);
}

}  // namespace
}  // namespace dorvane::page
