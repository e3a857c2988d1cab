// Test support: running a test inside the Access fixtures folder.
//
// The fixtures live beside the repository (../shared/fixtures). When they are
// missing a test skips with a message, unless DORVANE_REQUIRE_FIXTURES=1,
// where it fails. The DB名 values in the fixtures are relative, so tests run
// with the fixtures' access folder as the working directory.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace dorvane::testing {

inline bool fixturesRequired() {
  const char* v = std::getenv("DORVANE_REQUIRE_FIXTURES");
  return v && std::string(v) == "1";
}

// The fixtures folder, absolute, or "" when it is missing.
// Found once, from the repository root where the tests start.
inline std::string fixturesDir() {
  static const std::string found = [] {
    std::error_code ec;
    auto dir = std::filesystem::absolute("../shared/fixtures", ec);
    if (ec || !std::filesystem::is_directory(dir / "access", ec)) return std::string();
    return dir.lexically_normal().string();
  }();
  return found;
}

// The public corpora folder (../shared/corpora), absolute, or "" when missing.
inline std::string corporaDir() {
  std::error_code ec;
  auto dir = std::filesystem::absolute("../shared/corpora", ec);
  if (ec || !std::filesystem::is_directory(dir, ec)) return std::string();
  return dir.lexically_normal().string();
}

// Enters fixtures/<sub> for the life of the object and returns to the old
// working directory afterwards.
class FixtureCwd {
 public:
  explicit FixtureCwd(const std::string& sub) : old_(std::filesystem::current_path()) {
    std::string dir = fixturesDir();
    if (!dir.empty()) {
      std::filesystem::current_path(dir + "/" + sub);
      entered_ = true;
    }
  }
  ~FixtureCwd() {
    if (entered_) std::filesystem::current_path(old_);
  }
  bool entered() const { return entered_; }

 private:
  std::filesystem::path old_;
  bool entered_ = false;
};

}  // namespace dorvane::testing

// Skips (or, when fixtures are required, fails) the test when the fixtures
// are missing; otherwise enters fixtures/sub until the end of the test.
#define DORVANE_ENTER_FIXTURES(sub)                                                        \
  ::dorvane::testing::FixtureCwd fixtureCwd_(sub);                                         \
  if (!fixtureCwd_.entered()) {                                                            \
    if (::dorvane::testing::fixturesRequired()) FAIL() << "../shared/fixtures is missing"; \
    GTEST_SKIP() << "../shared/fixtures is missing: Access fixture tests skipped";         \
  }
