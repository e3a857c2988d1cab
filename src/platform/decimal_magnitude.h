// The 96-bit magnitude of a Decimal with the few operations its text forms
// need, in 32-bit words: not every target has a 128-bit integer (32-bit
// Windows has none).
#pragma once

#include <cstdint>

namespace dorvane {

class DecimalMagnitude {
 public:
  DecimalMagnitude(std::uint32_t hi, std::uint64_t lo)
      : w_{static_cast<std::uint32_t>(lo), static_cast<std::uint32_t>(lo >> 32), hi} {}

  std::uint32_t hi() const { return w_[2]; }
  std::uint64_t lo() const { return (std::uint64_t{w_[1]} << 32) | w_[0]; }
  bool isZero() const { return (w_[0] | w_[1] | w_[2]) == 0; }

  // this * factor + add. False, with the value unchanged, when the result
  // needs more than 96 bits.
  bool multiplyAdd(std::uint32_t factor, std::uint32_t add) {
    std::uint32_t out[3];
    std::uint64_t carry = add;
    for (int i = 0; i < 3; ++i) {
      const std::uint64_t v = std::uint64_t{w_[i]} * factor + carry;
      out[i] = static_cast<std::uint32_t>(v);
      carry = v >> 32;
    }
    if (carry != 0) return false;
    for (int i = 0; i < 3; ++i) w_[i] = out[i];
    return true;
  }

  // Divides by divisor (not 0) and returns the remainder.
  std::uint32_t divide(std::uint32_t divisor) {
    std::uint64_t rest = 0;
    for (int i = 2; i >= 0; --i) {
      const std::uint64_t v = (rest << 32) | w_[i];
      w_[i] = static_cast<std::uint32_t>(v / divisor);
      rest = v % divisor;
    }
    return static_cast<std::uint32_t>(rest);
  }

 private:
  std::uint32_t w_[3];  // least significant first
};

}  // namespace dorvane
