#include "platform/db/access_database.h"

#include <dorvane/runtime_error.h>

namespace dorvane::db {

std::shared_ptr<Database> openAccessDatabase(const std::string& utf8Path, const std::u16string&,
                                             FileFormat format) {
  throw RuntimeError(err::kCannotOpenDatabase,
                     std::string("Access databases are not supported yet: '") + utf8Path +
                         "' is an " + formatName(format) + " file.");
}

}  // namespace dorvane::db
