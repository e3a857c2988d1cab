#include "platform/db/access/access_long_value.h"

#include <algorithm>
#include <set>
#include <string>

#include "platform/db/access/access_data_page.h"

namespace dorvane::db {

namespace {
constexpr std::size_t kReferenceSize = 12;
constexpr std::uint32_t kInline = 0x80000000u, kOnePage = 0x40000000u, kLengthMask = 0x3FFFFFFFu;
}  // namespace

std::vector<std::uint8_t> readLongValue(PageFile& file, const std::uint8_t* p, std::size_t n) {
  if (n < kReferenceSize) damage("a Memo or OLE value's reference is cut short");
  const std::uint32_t head = load32(p);
  const std::size_t length = head & kLengthMask;
  std::vector<std::uint8_t> out;
  if (head & kInline) {
    if (length > n - kReferenceSize) damage("an inline Memo or OLE value is longer than its row");
    out.assign(p + kReferenceSize, p + kReferenceSize + length);
    return out;
  }
  // Refused before anything is allocated: no value is longer than the file.
  if (length > static_cast<std::uint64_t>(file.pageCount()) * file.pageSize())
    damage("a Memo or OLE value claims " + std::to_string(length) +
           " bytes, more than the file holds");
  std::vector<std::uint8_t> page;
  std::uint32_t at = load32(p + 4);
  if (head & kOnePage) {
    const RowSlot slot = readPageRow(file, at, page, "Memo or OLE value");
    if (slot.size < length) damage("a Memo or OLE value is shorter than its length");
    out.assign(page.begin() + static_cast<std::ptrdiff_t>(slot.start),
               page.begin() + static_cast<std::ptrdiff_t>(slot.start + length));
    return out;
  }
  out.reserve(length);
  std::set<std::uint32_t> seen;
  while (out.size() < length) {
    if (at == 0) damage("a Memo or OLE value's chain ends before its length");
    if (!seen.insert(at).second) damage("a Memo or OLE value's chain loops");
    const RowSlot slot = readPageRow(file, at, page, "Memo or OLE value");
    if (slot.size < 4) damage("a Memo or OLE value's chain holds a row too short for a link");
    const std::uint8_t* row = page.data() + slot.start;
    at = load32(row);
    const std::size_t take = std::min(slot.size - 4, length - out.size());
    out.insert(out.end(), row + 4, row + 4 + take);
  }
  return out;
}

}  // namespace dorvane::db
