#include "resolve/rounding.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace dorvane {

namespace {
constexpr int kSignificantDigits = 15;

double checked(double d) {
  if (!std::isfinite(d)) throw RuntimeError(err::kOverflow, "Overflow in rounding");
  return d;
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

  // The 15 significant digits and the decimal exponent of the first one.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.*e", kSignificantDigits - 1, std::fabs(value));
  std::string digits;
  digits.push_back(buf[0]);
  digits.append(buf + 2, kSignificantDigits - 1);
  int exp10 = std::atoi(std::strchr(buf, 'e') + 1);
  const bool negative = value < 0;

  // Digits kept: those left of the rounding place.
  int keep = exp10 + 1 + decimals;
  if (keep >= kSignificantDigits) return std::strtod(buf, nullptr);  // the 15-digit value

  long long kept = 0;
  bool roundAway = false;
  if (keep < 0) {
    roundAway = mode == RoundingMode::Up;  // a non-zero value below the place
  } else {
    for (int i = 0; i < keep; ++i) kept = kept * 10 + (digits[static_cast<size_t>(i)] - '0');
    const std::string rest = digits.substr(static_cast<size_t>(keep));
    switch (mode) {
      case RoundingMode::Nearest:
        roundAway = rest[0] >= '5';
        break;
      case RoundingMode::Up:
        roundAway = rest.find_first_not_of('0') != std::string::npos;
        break;
      case RoundingMode::Down:
        break;
    }
  }
  if (roundAway) ++kept;
  if (kept == 0) return 0;
  // kept * 10^-decimals, read back through decimal text for the nearest double.
  std::snprintf(buf, sizeof buf, "%s%llde%d", negative ? "-" : "", kept, -decimals);
  return checked(std::strtod(buf, nullptr));
}

}  // namespace dorvane
