// Paths are UTF-8 throughout the system (the command line, DB名, job files).
// std::filesystem takes a char string in the system's narrow encoding, which
// on Windows is the ANSI code page: every path handed to it goes through
// these, so a name outside that code page still works.
#pragma once

#include <filesystem>
#include <string>

namespace dorvane::file {

// A UTF-8 path as the system's own.
inline std::filesystem::path pathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A path as UTF-8.
inline std::string utf8Of(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace dorvane::file
