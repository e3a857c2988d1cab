// A table's usage map: which pages hold its rows. Either inline (type 0: a
// first page number and a bitmap of the pages from it) or by reference
// (type 1: the numbers of bitmap pages, each covering a fixed range of pages).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/db/access/access_page_file.h"

namespace dorvane::db {

// The pages the map at `map` (its `size` bytes) marks, in ascending order.
// Raises AccessDamage for an unknown map type, a marked page outside the file
// or a bitmap page that is no bitmap page.
std::vector<std::uint32_t> usageMapPages(PageFile& file, const std::uint8_t* map, std::size_t size);

}  // namespace dorvane::db
