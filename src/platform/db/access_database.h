// The seam between the engine and the Access file reader.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <string>

#include "platform/db/file_format.h"

namespace dorvane::db {

// Opens the Access file at utf8Path (format already detected from its
// header) as a database named name. Raises a RuntimeError when it cannot.
std::shared_ptr<Database> openAccessDatabase(const std::string& utf8Path,
                                             const std::u16string& name, FileFormat format);

}  // namespace dorvane::db
