#include "resolve/rounding.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

namespace dorvane {
namespace {

TEST(RoundDecimal, MatchesTheSpreadsheetFunctions) {
  using M = RoundingMode;
  struct Case {
    double value, places;
    M mode;
    double expected;
  } cases[] = {
      {2.5, 0, M::Nearest, 3},
      {-2.5, 0, M::Nearest, -3},
      {2.675, 2, M::Nearest, 2.68},
      {1.005, 2, M::Nearest, 1.01},
      {0.125, 2, M::Nearest, 0.13},
      {2.4999, 0, M::Nearest, 2},
      {2.1, 0, M::Up, 3},
      {-2.1, 0, M::Up, -3},
      {2.0, 0, M::Up, 2},
      {2.9, 0, M::Down, 2},
      {-2.9, 0, M::Down, -2},
      {2.5, 0, M::Down, 2},
      {2500, -3, M::Nearest, 3000},
      {2500, -3, M::Up, 3000},
      {2500, -3, M::Down, 2000},
      {2.5, 0.9, M::Nearest, 3},
      {2.55, -0.9, M::Nearest, 3},  // places truncated
      {0.3, 0, M::Up, 1},
      {0.3, -5, M::Up, 100000},
      {0.3, -5, M::Nearest, 0},
      {0.1 + 0.2, 1, M::Up, 0.3},  // 15 digits: 0.300000000000000
      {1234.5678, 10, M::Nearest, 1234.5678},
      {0, 2, M::Up, 0},
      {123456789012345.6, 0, M::Nearest, 123456789012346},
      {999999999999999, 0, M::Up, 999999999999999},  // whole numbers below 1e15 stay
      {-42, 2, M::Down, -42},
      {1234567890123456, 0, M::Nearest, 1234567890123460},  // 16 digits: 15 shown
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(roundDecimal(c.value, c.places, c.mode), c.expected)
        << c.value << " at " << c.places << " mode " << static_cast<int>(c.mode);
  }
}

TEST(RoundDecimal, OverflowIsARuntimeError) {
  try {
    roundDecimal(9e307, -309, RoundingMode::Up);
    FAIL();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), 6);
  }
}

}  // namespace
}  // namespace dorvane
