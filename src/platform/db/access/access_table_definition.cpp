#include "platform/db/access/access_table_definition.h"

#include <algorithm>
#include <set>
#include <string>

#include "platform/db/access/access_values.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {

constexpr int kMaxColumns = 4096;  // Access allows 255; deleted columns keep numbers
constexpr std::int32_t kMaxIndexes = 4096;
constexpr int kKeyColumns = 10;  // key column slots of a real index
constexpr std::uint8_t kFixedFlag = 0x01;
constexpr std::uint8_t kCalculatedFlags = 0xC0;  // in the byte after the flags
constexpr int kFirstVersionWithCalculated = 3;   // Access 2010
constexpr std::uint8_t kForeignKeyIndex = 2, kPrimaryKeyIndex = 1;
constexpr std::uint8_t kUniqueIndex = 0x01;

// The definition's pages joined: the first whole, each further one without
// its 8-byte header.
std::vector<std::uint8_t> definitionBytes(PageFile& file, std::uint32_t first) {
  std::vector<std::uint8_t> def, page;
  std::set<std::uint32_t> seen;
  for (std::uint32_t at = first; at != 0;) {
    if (!seen.insert(at).second) damage("its definition pages form a loop");
    file.read(at, page, "table definition");
    if (page[0] != page_type::kTableDefinition)
      damage("its definition points to page " + std::to_string(at) +
             ", which is no table definition page");
    def.insert(def.end(), page.begin() + (def.empty() ? 0 : 8), page.end());
    at = load32(page.data() + 4);
  }
  return def;
}

// A cursor over the definition bytes that refuses to read past them.
class DefinitionCursor {
 public:
  DefinitionCursor(const std::vector<std::uint8_t>& def, std::size_t at) : def_(def), at_(at) {}
  const std::uint8_t* take(std::size_t n, const char* what) {
    if (at_ > def_.size() || n > def_.size() - at_)
      damage(std::string("its definition is cut short (") + what + ")");
    const std::uint8_t* p = def_.data() + at_;
    at_ += n;
    return p;
  }
  std::size_t length(std::size_t size, const char* what) {
    const std::uint8_t* p = take(size, what);
    return size == 1 ? p[0] : load16(p);
  }
  std::string name(const PageFile& file, const char* what) {
    const std::size_t n = length(file.layout().nameLengthSize, what);
    const std::uint8_t* p = take(n, what);
    return text::toUtf8(file.jet3() ? decodeJet3Text(p, n, file.header().codePage)
                                    : decodeJet4Text(p, n));
  }

 private:
  const std::vector<std::uint8_t>& def_;
  std::size_t at_;
};

StoredColumn columnEntry(const std::uint8_t* e, const PageFile& file) {
  const JetLayout& l = file.layout();
  StoredColumn c;
  c.column.type = c.storedType = e[0];
  c.number = load16(e + l.columnNumberAt);
  c.varIndex = load16(e + l.varIndexAt);
  c.fixed = (e[l.flagsAt] & kFixedFlag) != 0;
  c.fixedOffset = load16(e + l.fixedOffsetAt);
  c.storedSize = load16(e + l.sizeAt);
  c.column.size = c.storedSize;
  if (c.column.type == jet::kText && !file.jet3()) c.column.size /= 2;
  if (c.column.type == jet::kBoolean) c.column.size = 0;
  if (c.column.type == jet::kNumeric) {
    // A scale is never larger than its precision.
    c.column.precision = std::max(e[l.precisionAt], e[l.scaleAt]);
    c.column.scale = std::min(e[l.precisionAt], e[l.scaleAt]);
  }
  c.column.calculated = file.header().version >= kFirstVersionWithCalculated &&
                        (e[l.flagsAt + 1] & kCalculatedFlags) == kCalculatedFlags;
  return c;
}

void checkColumns(const TableDefinition& t) {
  std::set<int> numbers;
  for (const StoredColumn& c : t.columns) {
    if (!numbers.insert(c.number).second)
      damage("two of its columns have the number " + std::to_string(c.number));
    if (!c.fixed && c.varIndex >= kMaxColumns)
      damage("its column '" + c.column.name + "' has a variable index beyond any row");
  }
}

// The user's indexes: real index entries hold the key columns, logical ones
// the name, the kind and the number of their real index (several logical
// indexes may share one); a relationship's own index is left out.
void readIndexes(DefinitionCursor& cursor, const PageFile& file, std::int32_t realCount,
                 std::int32_t logicalCount, TableDefinition& t) {
  const JetLayout& l = file.layout();
  struct Real {
    std::vector<int> columns;
    std::vector<bool> descending;
    bool unique = false;
  };
  std::vector<Real> reals(static_cast<std::size_t>(realCount));
  for (Real& real : reals) {
    const std::uint8_t* e = cursor.take(l.realIndexDefSize, "index");
    const std::uint8_t* key = e + (l.jet3 ? 0 : 4);
    for (int k = 0; k < kKeyColumns; ++k, key += 3) {
      const int number = load16(key);
      if (number == 0xFFFF) continue;
      auto found = std::find_if(t.columns.begin(), t.columns.end(),
                                [&](const StoredColumn& c) { return c.number == number; });
      if (found == t.columns.end()) continue;  // a column since deleted
      real.columns.push_back(static_cast<int>(found - t.columns.begin()));
      real.descending.push_back(key[2] == 0);
    }
    const std::size_t flagsAt = (l.jet3 ? 0 : 4) + 3 * kKeyColumns + 8 + (l.jet3 ? 0 : 4);
    real.unique = (e[flagsAt] & kUniqueIndex) != 0;
  }
  struct Logical {
    int number = 0;
    std::uint8_t kind = 0;
  };
  std::vector<Logical> logicals(static_cast<std::size_t>(logicalCount));
  for (Logical& x : logicals) {
    const std::uint8_t* e = cursor.take(l.logicalIndexSize, "index");
    x.number = static_cast<int>(load32(e + (l.jet3 ? 4 : 8)));  // its real index
    x.kind = e[l.logicalKindAt];
  }
  for (const Logical& x : logicals) {
    const std::string name = cursor.name(file, "index name");
    if (x.kind == kForeignKeyIndex || x.number < 0 || x.number >= realCount) continue;
    const auto real = static_cast<std::size_t>(x.number);
    if (reals[real].columns.empty()) continue;
    AccessIndex index;
    index.name = name;
    index.primaryKey = x.kind == kPrimaryKeyIndex;
    index.unique = reals[real].unique || index.primaryKey;
    index.columns = reals[real].columns;
    index.descending = reals[real].descending;
    t.indexes.push_back(std::move(index));
  }
}

}  // namespace

TableDefinition readTableDefinition(PageFile& file, std::uint32_t page) {
  const JetLayout& l = file.layout();
  const std::vector<std::uint8_t> def = definitionBytes(file, page);
  if (def.size() < l.firstEntryAt) damage("its definition is cut short");
  TableDefinition t;
  t.rows = load32(def.data() + l.rowsAt);
  t.varColumns = load16(def.data() + l.varColumnsAt);
  const int columns = load16(def.data() + l.columnsAt);
  const auto logical = static_cast<std::int32_t>(load32(def.data() + l.indexesAt));
  const auto real = static_cast<std::int32_t>(load32(def.data() + l.realIndexesAt));
  t.usageMap = load32(def.data() + l.usageMapAt);
  if (columns > kMaxColumns)
    damage("its definition claims " + std::to_string(columns) + " columns");
  if (logical < 0 || real < 0 || logical > kMaxIndexes || real > kMaxIndexes)
    damage("its definition claims an impossible number of indexes");
  DefinitionCursor cursor(def,
                          l.firstEntryAt + static_cast<std::size_t>(real) * l.realIndexEntrySize);
  for (int i = 0; i < columns; ++i)
    t.columns.push_back(columnEntry(cursor.take(l.columnEntrySize, "column"), file));
  for (StoredColumn& c : t.columns) c.column.name = cursor.name(file, "column name");
  std::stable_sort(
      t.columns.begin(), t.columns.end(),
      [](const StoredColumn& a, const StoredColumn& b) { return a.number < b.number; });
  checkColumns(t);
  readIndexes(cursor, file, real, logical, t);
  return t;
}

}  // namespace dorvane::db
