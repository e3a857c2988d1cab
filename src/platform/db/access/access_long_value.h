// Memo and OLE values. The row holds a 12-byte reference: the length with
// two flags in its top bits, the page and row of the data, and 4 unused
// bytes. The data follows the reference in the row (inline), fills the row
// it points to (one page), or runs through a chain of rows each starting
// with the address of the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/db/access/access_page_file.h"

namespace dorvane::db {

// The bytes of the long value whose reference is the n bytes at p. Raises
// AccessDamage when the reference is short, its length exceeds the file,
// the data lies outside the file, its chain loops or it ends before the
// length is reached.
std::vector<std::uint8_t> readLongValue(PageFile& file, const std::uint8_t* p, std::size_t n);

}  // namespace dorvane::db
