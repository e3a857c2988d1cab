// Where things lie in the pages of an Access file: one set of offsets for
// Jet 3 (Access 97) and one for Jet 4 and ACE (Access 2000 and later).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dorvane::db {

struct JetLayout {
  bool jet3 = false;
  std::size_t pageSize = 4096;
  // Data pages: the row count, followed by one 16-bit offset per row.
  std::size_t rowCountAt = 12;
  // Table definition: counts, the usage map and the column entries.
  std::size_t rowsAt = 16, varColumnsAt = 43, columnsAt = 45, indexesAt = 47, realIndexesAt = 51;
  std::size_t usageMapAt = 55, firstEntryAt = 63, realIndexEntrySize = 12;
  // One column entry.
  std::size_t columnEntrySize = 25, columnNumberAt = 5, varIndexAt = 7, scaleAt = 11,
              precisionAt = 12, flagsAt = 15, fixedOffsetAt = 21, sizeAt = 23;
  std::size_t nameLengthSize = 2;  // before each column and index name
  // The index entries after the names: real indexes (their key columns) and
  // logical indexes (name, number, kind).
  std::size_t realIndexDefSize = 52, logicalIndexSize = 28, logicalKindAt = 23;
  std::size_t rowCountSize = 2;  // the column count at the start of a row
};

inline constexpr JetLayout kJet4Layout{};
inline constexpr JetLayout kJet3Layout{.jet3 = true,
                                       .pageSize = 2048,
                                       .rowCountAt = 8,
                                       .rowsAt = 12,
                                       .varColumnsAt = 23,
                                       .columnsAt = 25,
                                       .indexesAt = 27,
                                       .realIndexesAt = 31,
                                       .usageMapAt = 35,
                                       .firstEntryAt = 43,
                                       .realIndexEntrySize = 8,
                                       .columnEntrySize = 18,
                                       .columnNumberAt = 1,
                                       .varIndexAt = 3,
                                       .scaleAt = 9,
                                       .precisionAt = 10,
                                       .flagsAt = 13,
                                       .fixedOffsetAt = 14,
                                       .sizeAt = 16,
                                       .nameLengthSize = 1,
                                       .realIndexDefSize = 39,
                                       .logicalIndexSize = 20,
                                       .logicalKindAt = 19,
                                       .rowCountSize = 1};

// Page types (the first byte of a page).
namespace page_type {
inline constexpr std::uint8_t kData = 0x01, kTableDefinition = 0x02, kUsageBitmap = 0x05;
}

inline std::uint16_t load16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);  // the files are little-endian, like the machines we run on
  return v;
}

}  // namespace dorvane::db
