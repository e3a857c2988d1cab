// The engine's way to the Access backend (db/access/): Access files opened
// as databases, and found again while unchanged. access_files.cpp hands them
// to the backend; a build without it (Windows, for now) has
// access_files_windows.cpp, which refuses Access files with 3049.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <string>

#include "platform/db/file_format.h"
#include "platform/file/file_identity.h"

namespace dorvane::db {

// The database of the Access file id describes when this thread has read it
// and it is unchanged since, or nullptr. Costs no file access.
std::shared_ptr<Database> cachedAccessFile(const file::FileIdentity& id,
                                           const std::u16string& name);

// Opens the Access file at utf8Path (format detected from its header) as a
// database named name. Raises 3049 for a file that cannot be read.
std::shared_ptr<Database> openAccessFile(const std::string& utf8Path, const std::u16string& name,
                                         FileFormat format);

}  // namespace dorvane::db
