#include "platform/file/file_identity.h"

#include <sys/stat.h>

namespace dorvane::file {

FileKind identifyFile(const std::string& utf8Path, FileIdentity& out) {
  struct stat st {};
  if (utf8Path.empty() || ::stat(utf8Path.c_str(), &st) != 0) return FileKind::Missing;
  if (!S_ISREG(st.st_mode)) return FileKind::Other;
  out.device = static_cast<std::uint64_t>(st.st_dev);
  out.index = static_cast<std::uint64_t>(st.st_ino);
  out.size = static_cast<std::int64_t>(st.st_size);
  out.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return FileKind::Regular;
}

}  // namespace dorvane::file
