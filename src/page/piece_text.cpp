#include "page/piece_text.h"

namespace dorvane::page {

namespace {

// Units per piece. A piece of this size takes at least 32 MiB, which the C
// library always maps on its own, so freeing one gives its memory back at
// once. Only the first piece grows by doubling; later ones are reserved whole
// and become resident only as they are written.
constexpr size_t kPieceUnits = size_t(16) << 20;

}  // namespace

void PieceText::append(std::u16string_view s) {
  if (s.empty()) return;
  if (pieces_.empty() || pieces_.back().size() + s.size() > kPieceUnits) {
    const bool first = pieces_.empty();
    pieces_.emplace_back();
    if (!first) pieces_.back().reserve(kPieceUnits);
  }
  pieces_.back() += s;
  size_ += static_cast<std::int64_t>(s.size());
}

}  // namespace dorvane::page
