// PageText: the page text while a pass rewrites it.
//
// The write step replaces the first "gethere" at or after a placeholder by a
// value. Done on a plain string, every write copies the rest of the page;
// here the text lives in a gap buffer whose gap sits at the last write, and
// the writes of a pass move forward through the page, so a pass costs time in
// proportion to the page length plus what it inserts. Searches remember the
// stretch they have already found empty, so scanning ahead for a marker that
// lies far away is not repeated for every placeholder.
//
// Positions are 1-based like the pass's; searches compare code units exactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "page/piece_text.h"

namespace dorvane::page {

class PageText {
 public:
  // Takes over text (no copy).
  explicit PageText(std::u16string text);

  std::int64_t size() const { return static_cast<std::int64_t>(buf_.size()) - gapLength(); }

  // The code unit at 1-based position pos (1 <= pos <= size()).
  char16_t at(std::int64_t pos) const;

  // Position of the first occurrence of what that begins at or after start,
  // or 0 (an empty what is not searched for: 0). start below 1 counts as 1.
  std::int64_t find(std::u16string_view what, std::int64_t start);

  // n code units from position start (clamped to the text).
  std::u16string substr(std::int64_t start, std::int64_t n) const;

  // The write step: replaces the first "gethere" that begins at or after
  // position from by x. Returns the position written, or 0 when no marker
  // lies there (the text is then unchanged).
  std::int64_t writeAtMarker(std::int64_t from, std::u16string_view x);
  // The same for a text in pieces, which it consumes: each piece is freed as
  // soon as it is copied, whether or not a marker was found.
  std::int64_t writeAtMarker(std::int64_t from, PieceText&& x);

  // Replaces the length code units at position pos by x.
  void replace(std::int64_t pos, std::int64_t length, std::u16string_view x);

  // The whole text as one string; the object is left empty.
  std::u16string release();

 private:
  // What a search learnt: no occurrence of pattern begins in [from, to) (0-based).
  struct Empty {
    std::u16string pattern;
    std::int64_t from = 0, to = 0;
  };

  std::int64_t gapLength() const { return gapEnd_ - gapStart_; }
  std::int64_t findRaw(std::u16string_view what, std::int64_t start0) const;
  void moveGap(std::int64_t pos0);
  // replace() with the xl new units handed out by emit(sink), which calls
  // sink(part) for each part in order.
  template <typename Emit>
  void replaceWith(std::int64_t pos, std::int64_t length, std::int64_t xl, Emit&& emit);
  Empty& memo(std::u16string_view pattern);

  std::u16string buf_;  // text before the gap, the gap, text after the gap
  std::int64_t gapStart_ = 0, gapEnd_ = 0;
  std::vector<Empty> memos_;
};

// A position as the pass holds it (32-bit). Raises 6 (overflow) beyond 2^31 - 1.
std::int32_t position32(std::int64_t pos);

// "position N", for what the observer hears.
std::u16string positionText(std::int64_t pos);

}  // namespace dorvane::page
