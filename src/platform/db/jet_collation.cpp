#include "platform/db/jet_collation.h"

#include <algorithm>
#include <cstring>

#include "platform/text/compare.h"

namespace dorvane::db {

int compareJet(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = text::foldCase(a[i]);
    char16_t y = text::foldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

namespace {
// SQLite hands over byte buffers that need not be aligned for char16_t.
char16_t unitAt(const unsigned char* p, int i) {
  char16_t c;
  std::memcpy(&c, p + 2 * i, 2);
  return c;
}

int collate(void*, int lenA, const void* a, int lenB, const void* b) {
  auto* pa = static_cast<const unsigned char*>(a);
  auto* pb = static_cast<const unsigned char*>(b);
  int na = lenA / 2, nb = lenB / 2, n = std::min(na, nb);
  for (int i = 0; i < n; ++i) {
    char16_t x = text::foldCase(unitAt(pa, i));
    char16_t y = text::foldCase(unitAt(pb, i));
    if (x != y) return x < y ? -1 : 1;
  }
  return na == nb ? 0 : (na < nb ? -1 : 1);
}
}  // namespace

int registerJetCollation(sqlite3* db) {
  return sqlite3_create_collation(db, kJetCollation, SQLITE_UTF16, nullptr, collate);
}

}  // namespace dorvane::db
