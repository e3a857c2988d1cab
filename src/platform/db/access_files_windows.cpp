#include <dorvane/runtime_error.h>

#include "platform/db/access_files.h"

namespace dorvane::db {

std::shared_ptr<Database> cachedAccessFile(const file::FileIdentity&, const std::u16string&) {
  return nullptr;
}

std::shared_ptr<Database> openAccessFile(const std::string& utf8Path, const std::u16string&,
                                         FileFormat) {
  throw RuntimeError(err::kCannotOpenDatabase,
                     "Cannot open the Access file '" + utf8Path +
                         "': Access files are not read in this build of Dorvane (Windows); "
                         "use a SQLite file or an ODBC connect string");
}

}  // namespace dorvane::db
