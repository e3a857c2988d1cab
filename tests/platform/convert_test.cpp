#include "platform/convert.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/text/utf.h"

namespace dorvane {
namespace {

std::string form(const Variant& v) { return text::toUtf8(toText(v)); }

TEST(StandardTextForm, Doubles) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},
      {-0.0, "0"},
      {15, "15"},
      {1.234, "1.234"},
      {-2.5, "-2.5"},
      {0.1 + 0.2, "0.3"},  // 15 significant digits
      {2.675, "2.675"},
      {1234567.891, "1234567.891"},
      {999999999999999, "999999999999999"},
      {1e15, "1E+15"},
      {1.5e20, "1.5E+20"},
      {-1.5e20, "-1.5E+20"},
      {1e-15, "0.000000000000001"},
      {1e-16, "1E-16"},
      {0.000123, "0.000123"},
      {1e300, "1E+300"},
  };
  for (const auto& c : cases) EXPECT_EQ(form(Variant::dbl(c.value)), c.text) << c.value;
}

TEST(StandardTextForm, OtherKinds) {
  EXPECT_EQ(form(Variant()), "");
  EXPECT_EQ(form(Variant::boolean(true)), "True");
  EXPECT_EQ(form(Variant::boolean(false)), "False");
  EXPECT_EQ(form(Variant::longValue(-42)), "-42");
  EXPECT_EQ(form(Variant::byte(255)), "255");
  EXPECT_EQ(form(Variant::single(0.1f)), "0.1");
  EXPECT_EQ(form(Variant::currencyScaled(12345000)), "1234.5");
  EXPECT_EQ(form(Variant::currencyScaled(-5)), "-0.0005");
  EXPECT_EQ(form(Variant::currencyScaled(INT64_MIN)), "-922337203685477.5808");
  EXPECT_EQ(form(Variant::date(dateFromParts(2024, 3, 9, 0, 0, 0))), "2024/03/09");
  EXPECT_EQ(form(Variant::date(dateFromParts(2024, 3, 9, 7, 5, 3))), "2024/03/09 7:05:03");
  EXPECT_EQ(form(Variant::string(u"テキスト")), "テキスト");
}

TEST(StandardTextForm, NullIsInvalidUse) {
  try {
    toText(Variant::null(), "the value of field 'x'");
    FAIL() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 94);
    EXPECT_NE(std::string(e.description()).find("field 'x'"), std::string::npos);
  }
}

TEST(ParseNumber, AcceptsNumericTextOnly) {
  struct Case {
    const char16_t* text;
    bool ok;
    double value;
  } cases[] = {
      {u"10", true, 10},    {u" 7 ", true, 7},    {u"1,000", true, 1000}, {u"-2.5", true, -2.5},
      {u"+3", true, 3},     {u".5", true, 0.5},   {u"1e3", true, 1000},   {u"１２", true, 12},
      {u"x", false, 0},     {u"", false, 0},      {u" ", false, 0},       {u"1,", false, 0},
      {u",1", false, 0},    {u"1e", false, 0},    {u"1 2", false, 0},     {u"-", false, 0},
      {u"1e999", false, 0}, {u"12abc", false, 0},
  };
  for (const auto& c : cases) {
    auto got = parseNumber(c.text);
    EXPECT_EQ(got.has_value(), c.ok) << text::toUtf8(c.text);
    if (got && c.ok) {
      EXPECT_DOUBLE_EQ(*got, c.value);
    }
  }
}

TEST(ToDouble, ConvertsOrRaises) {
  EXPECT_EQ(toDouble(Variant::boolean(true)), -1);
  EXPECT_EQ(toDouble(Variant::currencyScaled(25000)), 2.5);
  EXPECT_EQ(toDouble(Variant::string(u" 1,234.5 ")), 1234.5);
  auto number = [](const Variant& v) {
    try {
      toDouble(v);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number(Variant::null()), 94);
  EXPECT_EQ(number(Variant::string(u"abc")), 13);
  EXPECT_EQ(number(Variant::binary({1, 2})), 13);
}

TEST(Dates, RoundTripAcrossTheEpochAndTheFullRange) {
  struct Case {
    const char* iso;
    double serial;
    const char* text;
  } cases[] = {
      {"1899-12-30", 0, "1899/12/30"},
      {"1900-01-01", 2, "1900/01/01"},
      {"1899-12-29 06:00:00", -1.25, "1899/12/29 6:00:00"},
      {"2024-02-29 12:00", 45351.5, "2024/02/29 12:00:00"},
      {"0100-01-01", -657434, "0100/01/01"},
      {"9999-12-31 23:59:59", 2958465.999988426, "9999/12/31 23:59:59"},
  };
  for (const auto& c : cases) {
    auto serial = parseIsoDate(c.iso);
    ASSERT_TRUE(serial.has_value()) << c.iso;
    EXPECT_NEAR(*serial, c.serial, 1e-9) << c.iso;
    EXPECT_EQ(form(Variant::date(*serial)), c.text);
  }
  EXPECT_FALSE(parseIsoDate("2024-13-01"));
  EXPECT_FALSE(parseIsoDate("yesterday"));
  EXPECT_FALSE(parseIsoDate("2024-01-01X"));
}

TEST(Decimals, KeepEveryDigitAndBecomeDoublesForArithmetic) {
  struct Case {
    const char* in;
    const char* text;  // the standard text form
    double number;
  } cases[] = {
      {"102030405060.654321", "102030405060.654321", 102030405060.654321},
      {"-50.325000", "-50.325", -50.325},
      {"0.0000000000000000000000000001", "0.0000000000000000000000000001", 1e-28},
      {"79228162514264337593543950335", "79228162514264337593543950335", 7.922816251426434e28},
      {"-0", "0", 0},
  };
  for (const auto& c : cases) {
    auto d = parseDecimal(c.in);
    ASSERT_TRUE(d) << c.in;
    EXPECT_EQ(form(Variant::decimal(*d)), c.text);
    EXPECT_EQ(toDouble(Variant::decimal(*d)), c.number) << c.in;
    EXPECT_TRUE(Variant::decimal(*d).isNumber());
    EXPECT_EQ(Variant::decimal(*d), Variant::decimal(*parseDecimal(c.text)));
  }
  EXPECT_NE(Variant::decimal(*parseDecimal("1.5")), Variant::decimal(*parseDecimal("15")));
  // Beyond 96 bits or 28 decimals, or no number at all.
  for (const char* bad : {"79228162514264337593543950336", "0.00000000000000000000000000001", "1e5",
                          "", "1.2.3", "--1"})
    EXPECT_FALSE(parseDecimal(bad)) << bad;
}

}  // namespace
}  // namespace dorvane
