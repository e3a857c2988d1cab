#include "platform/db/access_files.h"

#include <sys/stat.h>

#include "platform/db/access/access_database.h"

namespace dorvane::db {

std::shared_ptr<Database> cachedAccessFile(const file::FileIdentity& id,
                                           const std::u16string& name) {
  // The backend knows its files by their stat.
  struct stat st {};
  st.st_dev = static_cast<dev_t>(id.device);
  st.st_ino = static_cast<ino_t>(id.index);
  st.st_size = static_cast<off_t>(id.size);
  st.st_mtim.tv_sec = static_cast<time_t>(id.modifiedNs / 1000000000);
  st.st_mtim.tv_nsec = static_cast<long>(id.modifiedNs % 1000000000);
  return cachedAccessDatabase(st, name);
}

std::shared_ptr<Database> openAccessFile(const std::string& utf8Path, const std::u16string& name,
                                         FileFormat format) {
  return openAccessDatabase(utf8Path, name, format);
}

}  // namespace dorvane::db
