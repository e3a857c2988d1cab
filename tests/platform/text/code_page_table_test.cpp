// The table of iconv's answers against iconv itself: every single byte, every
// byte pair, broken sequences and every BMP character, converted both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/code_page_system.h"

namespace dorvane::text::detail {
namespace {

TEST(CodePageTable, GivesIconvsOwnTextAndBytes) {
  for (int cp : {932, 1252, 65001, 20932, 28591, 20127}) {
    SCOPED_TRACE(cp);
    SystemCodePage table(cp), iconv(cp);
    convertThroughSystemOnly(iconv);

    std::vector<std::string> inputs = {
        "\x81",           "\x81\x20",          "\x81\x0a",     "A\x82\xa0\x81",
        "\x85gethere",    "\xff\xfe\xfd",      "\xc0\xaf",     "\xed\xa0\x80",
        "\xe3\x81\n\x82", "\xf0\x9f\x98\x80z", "\x8f\xa2\xaf", "\x1b$B\x30\x21"};
    for (int a = 0; a < 256; ++a) {
      inputs.push_back(std::string(1, static_cast<char>(a)));
      for (int b = 0; b < 256; ++b) inputs.push_back({static_cast<char>(a), static_cast<char>(b)});
    }
    for (const std::string& bytes : inputs) {
      std::u16string fromTable, fromIconv;
      table.decodeBulk(bytes, fromTable);
      iconv.decodeBulk(bytes, fromIconv);
      ASSERT_EQ(fromTable, fromIconv) << "bulk, bytes of length " << bytes.size() << ": "
                                      << +static_cast<unsigned char>(bytes[0]);
      fromTable.clear();
      fromIconv.clear();
      table.decodeEach(bytes, fromTable);
      iconv.decodeEach(bytes, fromIconv);
      ASSERT_EQ(fromTable, fromIconv) << "each, bytes of length " << bytes.size() << ": "
                                      << +static_cast<unsigned char>(bytes[0]);
    }

    // Whether each character is held (so whether it is written as "&#N;"),
    // and the bytes of those held, one by one and as one run.
    std::u16string held;
    for (char32_t c = 0; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      bool t = table.holds(c);
      ASSERT_EQ(t, iconv.holds(c)) << "U+" << std::hex << +c;
      if (t) held.push_back(static_cast<char16_t>(c));
    }
    for (char32_t c : {0x1F600, 0x20B9F, 0x10FFFF}) EXPECT_EQ(table.holds(c), iconv.holds(c));
    for (size_t i = 0; i < held.size(); ++i) {
      std::string fromTable, fromIconv;
      table.encodeRun(held.substr(i, 1), fromTable);
      iconv.encodeRun(held.substr(i, 1), fromIconv);
      ASSERT_EQ(fromTable, fromIconv) << "U+" << std::hex << +held[i];
    }
    std::string fromTable, fromIconv;
    table.encodeRun(held + u"\U0001F600", fromTable);
    iconv.encodeRun(held + u"\U0001F600", fromIconv);
    EXPECT_EQ(fromTable, fromIconv);
  }
}

}  // namespace
}  // namespace dorvane::text::detail
