// Carrying a span of the page text through the writes that came after it.
//
// A span seen during a merge (a placeholder, a written value) moves with
// every later write before it and is lost to a write that overlaps it.
// Carrying each span through every later write one by one costs spans times
// writes. EditCarry keeps the writes in a tree whose every node knows, for a
// run of writes, from where on a span is moved by all of them (and by how
// much) and up to where it is touched by none, so a span crosses whole runs
// at once and descends only where writes fall around it. A pass writes from
// the top of the page down, so a span visits a few nodes per pass.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "report/merge_record.h"

namespace dorvane::report {

class EditCarry {
 public:
  explicit EditCarry(const std::vector<PageEdit>& edits);

  // The 0-based start, after the last write, of the span of length units
  // that began at 1-based position start1 before write number fromEdit;
  // none when a later write overlaps it. A write at the span's very start or
  // end that removes nothing does not overlap it.
  std::optional<std::int64_t> carry(std::int64_t start1, std::int64_t length,
                                    std::size_t fromEdit) const;

 private:
  // A run of writes, in the coordinates of the text before the first one.
  struct Run {
    std::int64_t movedFrom = 0;    // a span starting here or later is moved by all
    std::int64_t untouchedTo = 0;  // a span ending here or earlier is touched by none
    std::int64_t delta = 0;        // how far all of them move a span
  };
  static Run join(const Run& a, const Run& b);
  bool walk(std::size_t node, std::size_t lo, std::size_t hi, std::size_t from, std::int64_t& s,
            std::int64_t length) const;

  std::size_t count_ = 0;
  std::vector<Run> tree_;  // node 1 is the root; node k has children 2k, 2k + 1
};

}  // namespace dorvane::report
