#include "page/page_text.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/text/utf.h"
#include "resolve/names.h"

namespace dorvane::page {

PageText::PageText(std::u16string text) : buf_(std::move(text)) {
  gapStart_ = gapEnd_ = static_cast<std::int64_t>(buf_.size());
}

char16_t PageText::at(std::int64_t pos) const {
  std::int64_t i = pos - 1;
  return i < gapStart_ ? buf_[static_cast<size_t>(i)] : buf_[static_cast<size_t>(i + gapLength())];
}

std::int64_t PageText::findRaw(std::u16string_view what, std::int64_t s) const {
  const std::int64_t m = static_cast<std::int64_t>(what.size());
  const std::int64_t n = size();
  if (m == 0 || s + m > n) return -1;
  std::u16string_view left(buf_.data(), static_cast<size_t>(gapStart_));
  std::u16string_view right(buf_.data() + gapEnd_, static_cast<size_t>(n - gapStart_));
  if (s < gapStart_) {
    size_t r = left.find(what, static_cast<size_t>(s));
    if (r != std::u16string_view::npos) return static_cast<std::int64_t>(r);
    // Occurrences that straddle the gap.
    for (std::int64_t p = std::max(s, gapStart_ - m + 1); p < gapStart_; ++p) {
      if (p + m > n) break;
      bool same = true;
      for (std::int64_t k = 0; k < m && same; ++k)
        same = at(p + k + 1) == what[static_cast<size_t>(k)];
      if (same) return p;
    }
  }
  std::int64_t r0 = std::max<std::int64_t>(0, s - gapStart_);
  size_t r = right.find(what, static_cast<size_t>(r0));
  return r == std::u16string_view::npos ? -1 : static_cast<std::int64_t>(r) + gapStart_;
}

PageText::Empty& PageText::memo(std::u16string_view pattern) {
  for (Empty& e : memos_) {
    if (e.pattern == pattern) return e;
  }
  memos_.push_back({std::u16string(pattern), 0, 0});
  return memos_.back();
}

std::int64_t PageText::find(std::u16string_view what, std::int64_t start) {
  if (what.empty()) return 0;
  std::int64_t s = std::max<std::int64_t>(start, 1) - 1;
  if (s >= size()) return 0;
  Empty& e = memo(what);
  std::int64_t from = s, searchFrom = s;
  if (e.from <= s && s < e.to) {
    from = e.from;
    searchFrom = e.to;
  }
  std::int64_t r = findRaw(what, searchFrom);
  e.from = from;
  e.to = r < 0 ? size() : r;
  return r < 0 ? 0 : r + 1;
}

std::u16string PageText::substr(std::int64_t start, std::int64_t n) const {
  std::int64_t s = std::max<std::int64_t>(start, 1) - 1;
  std::int64_t e = std::min(size(), s + std::max<std::int64_t>(n, 0));
  std::u16string out;
  if (s >= e) return out;
  out.reserve(static_cast<size_t>(e - s));
  if (s < gapStart_) {
    std::int64_t leftEnd = std::min(e, gapStart_);
    out.append(buf_, static_cast<size_t>(s), static_cast<size_t>(leftEnd - s));
    s = leftEnd;
  }
  if (s < e) out.append(buf_, static_cast<size_t>(s + gapLength()), static_cast<size_t>(e - s));
  return out;
}

void PageText::moveGap(std::int64_t pos) {
  char16_t* b = buf_.data();
  if (pos < gapStart_) {
    std::int64_t n = gapStart_ - pos;
    std::memmove(b + gapEnd_ - n, b + pos, static_cast<size_t>(n) * sizeof(char16_t));
    gapStart_ -= n;
    gapEnd_ -= n;
  } else if (pos > gapStart_) {
    std::int64_t n = pos - gapStart_;
    std::memmove(b + gapStart_, b + gapEnd_, static_cast<size_t>(n) * sizeof(char16_t));
    gapStart_ += n;
    gapEnd_ += n;
  }
}

template <typename Emit>
void PageText::replaceWith(std::int64_t pos, std::int64_t length, std::int64_t xl, Emit&& emit) {
  const std::int64_t p = pos - 1;
  moveGap(p);
  if (gapLength() + length >= xl) {
    gapEnd_ += length;  // the replaced units join the gap
    emit([this](std::u16string_view part) {
      std::memcpy(buf_.data() + gapStart_, part.data(), part.size() * sizeof(char16_t));
      gapStart_ += static_cast<std::int64_t>(part.size());
    });
  } else {
    // Grow: at least double, so a run of writes stays linear overall; a
    // write larger than the page (a big detail table) gets just its room.
    // The new buffer is reserved and then filled in order, so its memory
    // becomes resident only as it is written: a text in pieces gives back
    // each piece while the buffer takes it over. Nothing changes until the
    // new buffer is complete.
    const std::int64_t rightStart = gapEnd_ + length;
    const std::int64_t after = static_cast<std::int64_t>(buf_.size()) - rightStart;
    const std::int64_t need = gapStart_ + xl + after;
    const std::int64_t cap = std::max(need + 64, static_cast<std::int64_t>(buf_.size()) * 2);
    std::u16string grown;
    grown.reserve(static_cast<size_t>(cap));
    grown.append(buf_, 0, static_cast<size_t>(gapStart_));
    emit([&grown](std::u16string_view part) { grown += part; });
    grown.append(static_cast<size_t>(cap - need), u'\0');
    grown.append(buf_, static_cast<size_t>(rightStart), static_cast<size_t>(after));
    buf_ = std::move(grown);
    gapStart_ += xl;
    gapEnd_ = cap - after;
  }

  // Searches that found nothing up to a point past the change must look
  // again from where an occurrence could now begin.
  for (Empty& e : memos_) {
    const std::int64_t firstTouched = p - static_cast<std::int64_t>(e.pattern.size()) + 1;
    if (e.to > firstTouched) e.to = std::max(e.from, firstTouched);
  }
}

void PageText::replace(std::int64_t pos, std::int64_t length, std::u16string_view x) {
  replaceWith(pos, length, static_cast<std::int64_t>(x.size()), [x](auto&& sink) { sink(x); });
}

std::int64_t PageText::writeAtMarker(std::int64_t from, std::u16string_view x) {
  static constexpr std::u16string_view marker = names::kPageValueMarker;
  std::int64_t q = find(marker, from);
  if (q == 0) return 0;
  replace(q, static_cast<std::int64_t>(marker.size()), x);
  return q;
}

std::int64_t PageText::writeAtMarker(std::int64_t from, PieceText&& x) {
  static constexpr std::u16string_view marker = names::kPageValueMarker;
  std::int64_t q = find(marker, from);
  std::vector<std::u16string>& pieces = x.pieces();
  if (q != 0) {
    replaceWith(q, static_cast<std::int64_t>(marker.size()), x.size(), [&pieces](auto&& sink) {
      for (std::u16string& piece : pieces) {
        sink(piece);
        std::u16string().swap(piece);
      }
    });
  }
  x = PieceText();
  return q;
}

std::u16string PageText::release() {
  moveGap(size());
  buf_.resize(static_cast<size_t>(gapStart_));
  gapStart_ = gapEnd_ = 0;
  memos_.clear();
  std::u16string out = std::move(buf_);
  buf_.clear();
  return out;
}

std::int32_t position32(std::int64_t pos) {
  if (pos > std::numeric_limits<std::int32_t>::max()) {
    throw RuntimeError(err::kOverflow,
                       "Overflow: a position in the page lies beyond character 2147483647");
  }
  return static_cast<std::int32_t>(pos);
}

std::u16string positionText(std::int64_t pos) {
  return u"position " + text::fromUtf8(std::to_string(pos));
}

}  // namespace dorvane::page
