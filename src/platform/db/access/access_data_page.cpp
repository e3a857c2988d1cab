#include "platform/db/access/access_data_page.h"

#include <string>

namespace dorvane::db {

namespace {
constexpr std::uint16_t kOffsetMask = 0x1FFF;
constexpr std::uint16_t kRemovedRow = 0x4000;
}  // namespace

std::vector<RowSlot> rowSlots(const std::vector<std::uint8_t>& page, const JetLayout& layout,
                              std::uint32_t pageNumber) {
  const std::size_t size = layout.pageSize;
  const std::size_t count = load16(page.data() + layout.rowCountAt);
  const std::size_t tableEnd = layout.rowCountAt + 2 + 2 * count;
  if (tableEnd > size)
    damage("data page " + std::to_string(pageNumber) + " claims " + std::to_string(count) +
           " rows, more than fit in a page");
  std::vector<RowSlot> slots(count);
  std::size_t end = size;
  for (std::size_t r = 0; r < count; ++r) {
    const std::uint16_t entry = load16(page.data() + layout.rowCountAt + 2 + 2 * r);
    const std::size_t start = entry & kOffsetMask;
    if (start < tableEnd || start > end)
      damage("row " + std::to_string(r) + " of data page " + std::to_string(pageNumber) +
             " lies outside the page");
    slots[r] = {start, end - start, (entry & kRemovedRow) != 0};
    end = start;
  }
  return slots;
}

RowSlot readPageRow(PageFile& file, std::uint32_t pageRow, std::vector<std::uint8_t>& buf,
                    const char* what) {
  const std::uint32_t pageNumber = pageRow >> 8, row = pageRow & 0xFF;
  file.read(pageNumber, buf, what);
  if (buf[0] != page_type::kData)
    damage(std::string("the ") + what + " points to page " + std::to_string(pageNumber) +
           ", which is no data page");
  const std::vector<RowSlot> slots = rowSlots(buf, file.layout(), pageNumber);
  if (row >= slots.size())
    damage(std::string("the ") + what + " points to row " + std::to_string(row) + " of page " +
           std::to_string(pageNumber) + ", which has " + std::to_string(slots.size()) + " rows");
  return slots[row];
}

}  // namespace dorvane::db
