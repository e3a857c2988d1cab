#include "platform/text/code_page.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <random>

#include "platform/text/compare.h"

namespace dorvane::text {
namespace {

std::u16string esc(std::initializer_list<unsigned> bytes) {
  std::u16string s;
  for (unsigned b : bytes) s.push_back(static_cast<char16_t>(0xDC00 + b));
  return s;
}

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::u16string text;
};

TEST(CodePage, Decodes932) {
  const DecodeCase cases[] = {
      {"ASCII", "<p>!!a,A01;</p>", u"<p>!!a,A01;</p>"},
      {"kanji and kana", "\x8a\xbf\x8e\x9a\x82\xa0", u"漢字あ"},
      {"half-width katakana", "\xb6\xc5", u"ｶﾅ"},
      {"backslash and tilde stay ASCII", "\\~", u"\\~"},
      {"NUL is a character", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"undefined single bytes", "\x80\xa0\xfd\xfe\xff", esc({0x80, 0xa0, 0xfd, 0xfe, 0xff})},
      {"a lead byte at the end", "a\x81", u"a" + esc({0x81})},
      {"an unassigned pair is escaped whole", "\x85\x40", esc({0x85, 0x40})},
      {"a lead byte before a non-trail byte", "\x81!!", esc({0x81}) + u"!!"},
      {"a pair whose character has other bytes", "\xed\x40", esc({0xed, 0x40})},
      {"the same character by its own bytes", "\xfa\x5c", u"\u7e8a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(decodeCodePage(c.bytes, 932), c.text);
    EXPECT_EQ(encodeCodePage(c.text, 932), c.bytes);
  }
}

TEST(CodePage, EscapesNeverFormMarkers) {
  // 0x85 0x67 is one (unassigned) double-byte character: its trail byte "g"
  // must not start a "gethere".
  std::u16string t = decodeCodePage("\x85gethere", 932);
  EXPECT_EQ(InStr(1, t, u"gethere", CompareMode::Binary), 0);
  EXPECT_EQ(encodeCodePage(t, 932), "\x85gethere");
}

TEST(CodePage, RandomBytesComeBackUnchanged) {
  std::mt19937 random(7);
  const std::string alphabet =
      "!;&,'gethre<>\n\x81\x82\x85\xa0\xed\x40\xfa\x5c\x9f\xfc\xe0\xff\x80";
  for (int round = 0; round < 500; ++round) {
    std::string bytes;
    const int n = static_cast<int>(random() % 64);
    for (int i = 0; i < n; ++i) {
      bytes += random() % 3 == 0 ? static_cast<char>(random() % 256)
                                 : alphabet[random() % alphabet.size()];
    }
    SCOPED_TRACE(round);
    ASSERT_EQ(encodeCodePage(decodeCodePage(bytes, 932), 932), bytes);
  }
}

struct EncodeCase {
  const char* name;
  std::u16string text;
  std::string bytes;
};

TEST(CodePage, CharactersTheCodePageCannotHold) {
  const EncodeCase cases[] = {
      {"a Latin letter", u"caf\u00e9", "caf&#233;"},
      {"yen sign (only a lossy mapping onto \\)", u"\u00a5100", "&#165;100"},
      {"a surrogate pair is one reference", u"a\U0001F600b", "a&#128512;b"},
      {"a lone high surrogate", u"a\xd83d", "a&#55357;"},
      {"held characters around", u"漢\u00e9字", "\x8a\xbf&#233;\x8e\x9a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(encodeCodePage(c.text, 932), c.bytes);
  }
}

TEST(CodePage, OtherCodePages) {
  EXPECT_EQ(decodeCodePage("\x80", 1252), u"\u20ac");
  EXPECT_EQ(encodeCodePage(u"\u20ac\u3042", 1252), "\x80&#12354;");
  EXPECT_EQ(decodeCodePage("\xe3\x81\x82\xff", 65001), u"\u3042" + esc({0xff}));
  EXPECT_EQ(encodeCodePage(u"\u3042" + esc({0xff}), 65001), "\xe3\x81\x82\xff");
}

TEST(CodePage, UnknownCodePageIsAnError) {
  EXPECT_FALSE(codePageAvailable(4242));
  EXPECT_TRUE(codePageAvailable(932));
  try {
    decodeCodePage("x", 4242);
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall);
    EXPECT_NE(std::string(e.description()).find("4242"), std::string::npos);
  }
}

}  // namespace
}  // namespace dorvane::text
