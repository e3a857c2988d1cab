#include "platform/db/access/jet_collation.h"

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
// The next code point of UTF-8 text at p (before end), advancing p. The text
// comes from SQLite, which stores valid UTF-8; a stray byte stands for itself.
char32_t nextCodePoint(const unsigned char*& p, const unsigned char* end) {
  unsigned char c = *p++;
  if (c < 0x80) return c;
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  char32_t cp = c & (0x3F >> extra);
  for (int i = 0; i < extra && p < end && (*p & 0xC0) == 0x80; ++i) cp = (cp << 6) | (*p++ & 0x3F);
  return cp;
}

char32_t fold(char32_t c) {
  if (c < 0x10000) return text::foldCase(static_cast<char16_t>(c));
  return c;
}

// Compares UTF-8 directly: converting to UTF-16 for every comparison would
// allocate twice per comparison while an index is built.
int collate(void*, int lenA, const void* a, int lenB, const void* b) {
  auto* pa = static_cast<const unsigned char*>(a);
  auto* pb = static_cast<const unsigned char*>(b);
  const unsigned char *ea = pa + lenA, *eb = pb + lenB;
  // Equal bytes are equal characters: the comparison starts at the first
  // character whose bytes differ (keys of one table often share a prefix).
  const std::size_t shared = static_cast<std::size_t>(std::min(lenA, lenB));
  std::size_t same = 0;
  while (same < shared && pa[same] == pb[same]) ++same;
  // Back to the first byte of the character that differs.
  if (same < shared)
    while (same > 0 && ((pa[same] & 0xC0) == 0x80 || (pb[same] & 0xC0) == 0x80)) --same;
  pa += same;
  pb += same;
  while (pa < ea && pb < eb) {
    if (*pa < 0x80 && *pb < 0x80) {  // the common case: ASCII on both sides
      unsigned char x = *pa++, y = *pb++;
      if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
      if (x != y) return x < y ? -1 : 1;
      continue;
    }
    char32_t x = fold(nextCodePoint(pa, ea));
    char32_t y = fold(nextCodePoint(pb, eb));
    if (x != y) return x < y ? -1 : 1;
  }
  if (pa < ea) return 1;
  if (pb < eb) return -1;
  return 0;
}
}  // namespace

std::uint64_t hashJet(std::string_view utf8) {
  // FNV-1a over the folded code points, the same ones collate compares.
  auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const unsigned char* end = p + utf8.size();
  std::uint64_t h = 0xcbf29ce484222325ULL;
  while (p < end) {
    char32_t c;
    if (*p < 0x80) {
      c = *p++;
      if (c >= 'a' && c <= 'z') c -= 32;
    } else {
      c = fold(nextCodePoint(p, end));
    }
    h = (h ^ c) * 0x100000001b3ULL;
  }
  return h;
}

int registerJetCollation(sqlite3* db) {
  return sqlite3_create_collation(db, kJetCollation, SQLITE_UTF8, nullptr, collate);
}

}  // namespace dorvane::db
