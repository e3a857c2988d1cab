// Conversions of Variants: the standard text form, numbers from values and
// text, and dates. These are the conversions the merges rely on when they join
// values into SQL, sum them, or write them into a template.
#pragma once

#include <dorvane/variant.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dorvane {

// The standard text form of a value (what a template receives). Empty gives
// "". Raises 94 (invalid use of Null) for Null; what names the value in the
// description ("the value of field 'price'").
std::u16string toText(const Variant& v, std::string_view what = "the value");

// A double in the standard form: at most 15 significant digits, "." as the
// decimal separator, no grouping, exponent form (1.5E+20) from 1E+15 on and
// below 1E-15.
std::u16string formatDouble(double d);

// Parses numeric text as the is-numeric test accepts it: blanks around,
// a leading sign, digits (ASCII or full-width) with "," grouping in the whole
// part, a decimal point and an exponent. Returns nothing for other text.
std::optional<double> parseNumber(std::u16string_view s);

// True for numbers and booleans, and for text that parseNumber accepts.
bool isNumeric(const Variant& v);

// The value as a double. Raises 94 for Null and 13 for text that is not a
// number and for binary data; Date gives its serial number, Boolean -1 or 0.
double toDouble(const Variant& v, std::string_view what = "the value");

// The standard text form of a Decimal: its exact digits, "." as separator,
// trailing zeros of the fraction dropped ("-102030405060.654321", "50.325").
std::u16string formatDecimal(const Decimal& d);

// The Double nearest a Decimal (what arithmetic on it works with).
double decimalToDouble(const Decimal& d);

// Exact decimal text ("-12.50", "7") to a Decimal; nothing when the text is
// no plain decimal number or does not fit 96 bits and 28 decimals.
std::optional<Decimal> parseDecimal(std::string_view s);

// Dates as serial numbers (days since 1899-12-30, time as the fraction).
double dateFromParts(int year, int month, int day, int hour, int minute, double second);
struct DateParts {
  int year, month, day, hour, minute, second;
};
DateParts dateToParts(double serial);
// "YYYY-MM-DD", optionally followed by " " or "T" and "HH:MM[:SS[.fff]]".
std::optional<double> parseIsoDate(std::string_view s);

}  // namespace dorvane
