// The run-time error a call raises, for tests that compare error numbers.
#pragma once

#include <dorvane/runtime_error.h>

#include <functional>

namespace dorvane::testing {

// Runs f; returns the number of the RuntimeError it raised, or 0.
inline int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace dorvane::testing
