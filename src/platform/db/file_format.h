// Telling database files apart by their first bytes.
#pragma once

#include <cstddef>

namespace dorvane::db {

enum class FileFormat { SQLite, Jet3, Jet4, Ace, Unknown };

// header: the file's first bytes (at least 32 are looked at when present).
FileFormat detectFormat(const unsigned char* header, std::size_t size);

const char* formatName(FileFormat f);

}  // namespace dorvane::db
