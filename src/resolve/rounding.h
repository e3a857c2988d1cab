// Decimal rounding of numeric results, as the spreadsheet's ROUND, ROUNDUP and
// ROUNDDOWN do it: on the value's 15-significant-digit decimal form, so that
// 2.675 rounds to 2.68 at 2 places although its double lies below 2.675.
#pragma once

namespace dorvane {

enum class RoundingMode {
  Nearest,  // ROUND: ties away from zero
  Up,       // ROUNDUP: away from zero
  Down,     // ROUNDDOWN: towards zero
};

// Rounds value to places decimal places (truncated to a whole number; a
// negative count rounds left of the decimal point). Raises 6 (overflow) when
// the result is not a finite double.
double roundDecimal(double value, double places, RoundingMode mode);

}  // namespace dorvane
