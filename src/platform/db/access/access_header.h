// The header page of an Access file: its version, code page and sort
// order, and whether a database password is set.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/db/access/access_page_file.h"
#include "platform/db/file_format.h"

namespace dorvane::db {

// True when the header (the file's first bytes, at least 0x98 of them)
// records a database password. The header from offset 0x18 is RC4-encoded
// with a fixed key; in it the password (at 0x42: 20 bytes in Jet 3, 40 in
// Jet 4 and ACE, there masked with the integer part of the creation date at
// 0x72) is all zero when there is none. A header too short to tell, or whose
// encoded block is all zeros (damage), is taken as without password (reading
// it fails later).
bool hasDatabasePassword(const std::uint8_t* header, std::size_t size, FileFormat format);

// The header's version, code page and sort order from the file's first
// `size` bytes (at least 0x98 of them); version -1 when they are no Jet 3,
// Jet 4 or ACE header.
JetHeader readJetHeader(const std::uint8_t* header, std::size_t size);

}  // namespace dorvane::db
