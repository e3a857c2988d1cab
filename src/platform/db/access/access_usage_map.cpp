#include "platform/db/access/access_usage_map.h"

#include <string>

namespace dorvane::db {

namespace {

// Adds base + i for every bit i set in bitmap; a page outside the file is damage.
void addMarked(const std::uint8_t* bitmap, std::size_t bytes, std::uint64_t base,
               std::uint32_t pageCount, std::vector<std::uint32_t>& out) {
  for (std::size_t i = 0; i < bytes; ++i) {
    if (!bitmap[i]) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if (!(bitmap[i] & (1 << bit))) continue;
      const std::uint64_t page = base + i * 8 + static_cast<std::uint64_t>(bit);
      if (page >= pageCount)
        damage("its usage map marks page " + std::to_string(page) + ", outside the file's " +
               std::to_string(pageCount) + " pages");
      out.push_back(static_cast<std::uint32_t>(page));
    }
  }
}

}  // namespace

std::vector<std::uint32_t> usageMapPages(PageFile& file, const std::uint8_t* map,
                                         std::size_t size) {
  std::vector<std::uint32_t> pages;
  if (size < 1) damage("its usage map is empty");
  if (map[0] == 0) {
    if (size < 5) damage("its usage map is cut short");
    addMarked(map + 5, size - 5, load32(map + 1), file.pageCount(), pages);
    return pages;
  }
  if (map[0] != 1) damage("its usage map has the unknown type " + std::to_string(map[0]));
  const std::size_t perPage = (file.pageSize() - 4) * 8;
  std::vector<std::uint8_t> bitmap;
  for (std::size_t i = 0; 1 + 4 * i + 4 <= size; ++i) {
    const std::uint32_t at = load32(map + 1 + 4 * i);
    if (at == 0) continue;
    if (static_cast<std::uint64_t>(i) * perPage >= file.pageCount()) {
      damage("its usage map refers to a bitmap of pages beyond the file's end");
    }
    file.read(at, bitmap, "usage map");
    if (bitmap[0] != page_type::kUsageBitmap)
      damage("its usage map refers to page " + std::to_string(at) + ", which is no bitmap page");
    addMarked(bitmap.data() + 4, bitmap.size() - 4, static_cast<std::uint64_t>(i) * perPage,
              file.pageCount(), pages);
  }
  return pages;
}

}  // namespace dorvane::db
