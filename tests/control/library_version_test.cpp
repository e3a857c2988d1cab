// The library's version data read from its file, and files that are no
// library or only part of one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "control/library_locator.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(LibraryVersion, ReadFromTheFileAndNothingFromADamagedOne) {
  std::string reason;
  const std::string info = com::libraryVersionInfo(DORVANE_OCX, &reason);
  EXPECT_EQ(info.rfind("CompanyName=Dorvane\n", 0), 0u) << info << reason;
  EXPECT_NE(info.find("\nLanguage=0x0411\n"), std::string::npos) << info;

  const std::string whole = readAll(DORVANE_OCX);
  testing::TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
  } damaged[] = {
      {"empty", ""},
      {"text", "CompanyName=Dorvane\n"},
      {"header only", whole.substr(0, 64)},
      {"first page", whole.substr(0, 4096)},
      {"without its section table", whole.substr(0, whole.size() - 100)},
  };
  for (const auto& d : damaged) {
    const std::string path = dir.file("Dorvane.ocx");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << d.bytes;
    reason.clear();
    EXPECT_EQ(com::libraryVersionInfo(path, &reason), "") << d.name;
    EXPECT_FALSE(reason.empty()) << d.name;
  }
}

}  // namespace
}  // namespace dorvane
