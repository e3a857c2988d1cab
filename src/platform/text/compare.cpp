#include "platform/text/compare.h"

#include <algorithm>

namespace dorvane::text {

char16_t foldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - u'a' + u'A');
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0xFF41 + 0xFF21);
  return c;
}

std::int64_t InStr(std::int64_t start, std::u16string_view s, std::u16string_view find,
                   CompareMode mode) {
  if (start < 1) start = 1;
  if (start > static_cast<std::int64_t>(s.size()) + 1) return 0;
  if (find.empty()) return start;
  auto from = s.begin() + (start - 1);
  std::u16string_view::const_iterator hit;
  if (mode == CompareMode::Binary) {
    size_t pos = s.find(find, static_cast<size_t>(start - 1));
    return pos == std::u16string_view::npos ? 0 : static_cast<std::int64_t>(pos) + 1;
  }
  // Only letters fold: a find without any is found as it is.
  const bool letters = std::any_of(find.begin(), find.end(), [](char16_t c) {
    const char16_t f = foldCase(c);
    return (f >= u'A' && f <= u'Z') || (f >= 0xFF21 && f <= 0xFF3A);
  });
  if (!letters) {
    size_t pos = s.find(find, static_cast<size_t>(start - 1));
    return pos == std::u16string_view::npos ? 0 : static_cast<std::int64_t>(pos) + 1;
  }
  hit = std::search(from, s.end(), find.begin(), find.end(),
                    [](char16_t a, char16_t b) { return foldCase(a) == foldCase(b); });
  return hit == s.end() ? 0 : (hit - s.begin()) + 1;
}

bool equalsText(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return foldCase(x) == foldCase(y); });
}

}  // namespace dorvane::text
