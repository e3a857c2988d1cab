// Jet values from stored bytes, the Jet collation, and the reader's stream.
#include "platform/db/access/access_values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "platform/db/access/jet_collation.h"
#include "platform/text/utf.h"

namespace dorvane::db {
namespace {

TEST(AccessValues, Jet4TextPlainAndCompressed) {
  struct Case {
    std::vector<std::uint8_t> stored;
    std::u16string expected;
  } cases[] = {
      {{}, u""},
      {{'A', 0, '0', 0, '1', 0}, u"A01"},
      {{0xFF, 0xFE, 'A', '0', '1'}, u"A01"},
      // Compressed run, switch to two-byte run (りんご), back to one byte.
      {{0xFF, 0xFE, 'x', 0, 0x8A, 0x30, 0x93, 0x30, 0x54, 0x30, 0, 'y'}, u"xりんごy"},
      {{0xFF, 0xFE, 0, 0x42, 0x30, 0x43}, u"\u3042"},  // a dangling byte ends the value
      {{0x42, 0x30, 0x43}, u"\u3042"},                 // odd plain length: last byte ignored
  };
  for (const auto& c : cases)
    EXPECT_EQ(decodeJet4Text(c.stored.data(), c.stored.size()), c.expected);
}

TEST(AccessValues, FixedValuesKeepWhatIsStored) {
  double date = -1.25;  // 1899-12-29 06:00, before the epoch
  JetValue v = decodeFixedValue(jet::kDateTime, reinterpret_cast<std::uint8_t*>(&date), 8, 0);
  EXPECT_EQ(v.kind, JetValue::Kind::Real);
  EXPECT_EQ(v.d, -1.25);

  float single = 3.14159f;
  v = decodeFixedValue(jet::kSingle, reinterpret_cast<std::uint8_t*>(&single), 4, 0);
  EXPECT_EQ(v.d, static_cast<double>(3.14159f));

  std::int64_t money = INT64_MAX;
  v = decodeFixedValue(jet::kCurrency, reinterpret_cast<std::uint8_t*>(&money), 8, 0);
  EXPECT_EQ(v.kind, JetValue::Kind::Currency);
  EXPECT_EQ(currencyText(v.i), "922337203685477.5807");
  EXPECT_EQ(currencyText(-12345678), "-1234.5678");
  EXPECT_EQ(currencyText(1250000), "125");
  EXPECT_EQ(currencyText(INT64_MIN), "-922337203685477.5808");

  std::int16_t i16 = -32768;
  EXPECT_EQ(decodeFixedValue(jet::kInteger, reinterpret_cast<std::uint8_t*>(&i16), 2, 0).i, -32768);
  std::uint8_t byte = 255;
  EXPECT_EQ(decodeFixedValue(jet::kByte, &byte, 1, 0).i, 255);

  // Large Number: exact, also where a double is not (2^53 + 1) and at the ends.
  const std::pair<std::int64_t, const char16_t*> bigints[] = {
      {42, u"42"},
      {9007199254740993LL, u"9007199254740993"},
      {INT64_MIN, u"-9223372036854775808"},
      {INT64_MAX, u"9223372036854775807"},
      {0, u"0"}};
  for (auto [stored, text] : bigints) {
    v = decodeFixedValue(jet::kBigInt, reinterpret_cast<std::uint8_t*>(&stored), 8, 0);
    EXPECT_EQ(v.kind, JetValue::Kind::Decimal);
    EXPECT_EQ(v.text, text);
  }
  AccessColumn unknown{"x", 0x19, 4, 0, 0};
  EXPECT_EQ(accessTypeName(unknown), "type 0x19");
}

TEST(AccessValues, GuidAndDecimal) {
  const std::uint8_t guid[16] = {0x40, 0xFC, 0x29, 0x6B, 0x47, 0xCA, 0x67, 0x10,
                                 0xB3, 0x1D, 0x00, 0xDD, 0x01, 0x06, 0x62, 0xDA};
  EXPECT_EQ(guidText(guid), u"{6B29FC40-CA47-1067-B31D-00DD010662DA}");

  // 12345678901234.5678 at scale 4: magnitude 123456789012345678 in the last two words.
  std::uint8_t dec[17] = {};
  std::uint64_t mag = 123456789012345678ULL;
  std::uint32_t hi = static_cast<std::uint32_t>(mag >> 32), lo = static_cast<std::uint32_t>(mag);
  std::memcpy(dec + 9, &hi, 4);
  std::memcpy(dec + 13, &lo, 4);
  JetValue v = decodeFixedValue(jet::kNumeric, dec, 17, 4);
  EXPECT_EQ(v.kind, JetValue::Kind::Decimal);
  EXPECT_EQ(v.text, u"12345678901234.5678");
  dec[0] = 0x80;  // negative
  EXPECT_EQ(decodeFixedValue(jet::kNumeric, dec, 17, 4).text, u"-12345678901234.5678");
  // More decimals than a Double holds: every digit kept.
  EXPECT_EQ(decodeFixedValue(jet::kNumeric, dec, 17, 10).text, u"-12345678.9012345678");
  dec[1] = 1;  // beyond the 96 bits of a Decimal
  EXPECT_THROW(decodeFixedValue(jet::kNumeric, dec, 17, 0), std::runtime_error);
}

TEST(AccessValues, TooFewBytesAreAnError) {
  const std::uint8_t b[16] = {};
  for (int type : {jet::kInteger, jet::kLong, jet::kCurrency, jet::kSingle, jet::kDouble,
                   jet::kDateTime, jet::kGuid, jet::kNumeric, jet::kBigInt})
    EXPECT_THROW(decodeFixedValue(type, b, 1, 0), std::runtime_error) << type;
}

TEST(JetCollation, CaseBlindForLatinLettersOnly) {
  struct Case {
    std::u16string a, b;
    int sign;
  } cases[] = {
      {u"abc", u"ABC", 0},
      {u"ａｂｃ", u"ＡＢＣ", 0},  // full-width Latin
      {u"ｷｰ", u"キー", 1},        // half-width and full-width kana differ
      {u"é", u"É", 1},            // beyond ASCII and full-width: exact
      {u"A01", u"A02", -1},
      {u"A0", u"A01", -1},
      {u"", u"", 0},
      // A shared prefix, then a difference inside a multi-byte character.
      {u"品名ａ", u"品名Ａ", 0},
      {u"アイ", u"アウ", -1},
      {u"品名1", u"品名", 1},
  };
  // The same on SQLite's side, whose text is UTF-8.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(registerJetCollation(db), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT (?1 > ?2 COLLATE JET) - (?1 < ?2 COLLATE JET)", -1, &st,
                               nullptr),
            SQLITE_OK);
  for (const auto& c : cases) {
    int r = compareJet(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign);
    EXPECT_EQ(-((compareJet(c.b, c.a) > 0) - (compareJet(c.b, c.a) < 0)), c.sign);
    sqlite3_bind_text16(st, 1, c.a.data(), static_cast<int>(c.a.size() * 2), SQLITE_STATIC);
    sqlite3_bind_text16(st, 2, c.b.data(), static_cast<int>(c.b.size() * 2), SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), c.sign) << text::toUtf8(c.a) << " " << text::toUtf8(c.b);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
}

}  // namespace
}  // namespace dorvane::db
