#include "resolve/rounding.h"

#include <dorvane/runtime_error.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace dorvane {

namespace {
constexpr int kSignificantDigits = 15;

double checked(double d) {
  if (!std::isfinite(d)) throw RuntimeError(err::kOverflow, "Overflow in rounding");
  return d;
}

// The nearest double to the decimal text [first, last) (at most 39 characters).
double parse(const char* first, const char* last) {
  double d = 0;
  if (std::from_chars(first, last, d).ec != std::errc::result_out_of_range) return d;
  // Beyond a double, or subnormal: what strtod makes of it (infinity, which
  // checked() raises, or the nearest subnormal).
  char text[40] = {};
  std::memcpy(text, first, static_cast<size_t>(last - first));
  return std::strtod(text, nullptr);
}
}  // namespace

double roundDecimal(double value, double places, RoundingMode mode) {
  if (!std::isfinite(value) || !std::isfinite(places))
    throw RuntimeError(err::kOverflow, "Overflow in rounding");
  if (value == 0) return 0;
  // Far beyond any digit a double holds: the value is kept as it is, or (far
  // to the left) the result is zero or one unit of that place.
  double d = std::trunc(places);
  if (d > 400) d = 400;
  if (d < -400) d = -400;
  int decimals = static_cast<int>(d);
  // A whole number of fewer than 16 digits is its own 15-digit value and
  // has no digit right of any place at or after the decimal point.
  if (decimals >= 0 && std::fabs(value) < 1e15 && value == std::trunc(value)) return value;

  // The 15 significant digits and the decimal exponent of the first one
  // ("d.dddddddddddddde+XX", as printf's %.14e writes it).
  char buf[40];
  const char* end = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                                  std::chars_format::scientific, kSignificantDigits - 1)
                        .ptr;
  char digits[kSignificantDigits];
  digits[0] = buf[0];
  std::memcpy(digits + 1, buf + 2, kSignificantDigits - 1);
  const char* e = buf + 1 + kSignificantDigits;  // the 'e'
  int exp10 = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exp10);
  const bool negative = value < 0;

  // Digits kept: those left of the rounding place.
  int keep = exp10 + 1 + decimals;
  if (keep >= kSignificantDigits) return parse(buf, end);  // the 15-digit value

  long long kept = 0;
  bool roundAway = false;
  if (keep < 0) {
    roundAway = mode == RoundingMode::Up;  // a non-zero value below the place
  } else {
    for (int i = 0; i < keep; ++i) kept = kept * 10 + (digits[i] - '0');
    const std::string_view rest(digits + keep, static_cast<size_t>(kSignificantDigits - keep));
    switch (mode) {
      case RoundingMode::Nearest:
        roundAway = rest[0] >= '5';
        break;
      case RoundingMode::Up:
        roundAway = rest.find_first_not_of('0') != std::string_view::npos;
        break;
      case RoundingMode::Down:
        break;
    }
  }
  if (roundAway) ++kept;
  if (kept == 0) return 0;
  // kept * 10^-decimals, read back through decimal text for the nearest double.
  char product[40];  // "-" 19 digits "e" 4 characters at most
  char* p = product;
  if (negative) *p++ = '-';
  p = std::to_chars(p, product + 24, kept).ptr;
  *p++ = 'e';
  p = std::to_chars(p, product + 32, -decimals).ptr;
  return checked(parse(product, p));
}

}  // namespace dorvane
