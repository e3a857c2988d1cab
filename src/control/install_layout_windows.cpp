#include <windows.h>

#include "control/install_layout.h"

namespace dorvane {

namespace fs = std::filesystem;

fs::path programFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return fs::path(buf).parent_path();
    }
    buf.resize(buf.size() * 2);
  }
}

fs::path installedBesideProgram(std::string_view relative) {
  fs::path folder = programFolder();
  if (folder.empty()) return {};
  return (folder / relative).lexically_normal();
}

}  // namespace dorvane
