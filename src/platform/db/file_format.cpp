#include "platform/db/file_format.h"

#include <cstring>

namespace dorvane::db {

FileFormat detectFormat(const unsigned char* header, std::size_t size) {
  static const char kSqlite[] = "SQLite format 3";  // followed by a NUL
  if (size >= 16 && std::memcmp(header, kSqlite, 16) == 0) return FileFormat::SQLite;
  if (size >= 0x15 && header[0] == 0 && header[1] == 1 && header[2] == 0 && header[3] == 0) {
    if (std::memcmp(header + 4, "Standard ACE DB", 15) == 0) return FileFormat::Ace;
    if (std::memcmp(header + 4, "Standard Jet DB", 15) == 0)
      return header[0x14] == 0 ? FileFormat::Jet3 : FileFormat::Jet4;
  }
  return FileFormat::Unknown;
}

const char* formatName(FileFormat f) {
  switch (f) {
    case FileFormat::SQLite:
      return "SQLite 3";
    case FileFormat::Jet3:
      return "Access 97 (Jet 3)";
    case FileFormat::Jet4:
      return "Access 2000-2003 (Jet 4)";
    case FileFormat::Ace:
      return "Access 2007 or later (ACE)";
    case FileFormat::Unknown:
      break;
  }
  return "unknown";
}

}  // namespace dorvane::db
