#include "control/install_layout.h"

#include <unistd.h>

#include <climits>

namespace dorvane {

namespace fs = std::filesystem;

fs::path programFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  buf[n] = '\0';
  return fs::path(buf).parent_path();
}

fs::path installedBesideProgram(std::string_view relative) {
  fs::path folder = programFolder();
  if (folder.empty()) return {};
  return (folder / relative).lexically_normal();
}

}  // namespace dorvane
