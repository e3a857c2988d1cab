#include "report/edit_carry.h"

#include <algorithm>

namespace dorvane::report {

EditCarry::Run EditCarry::join(const Run& a, const Run& b) {
  // Past a, a span has moved by a.delta; in b's coordinates it starts there.
  return {std::max(a.movedFrom, b.movedFrom - a.delta), std::min(a.untouchedTo, b.untouchedTo),
          a.delta + b.delta};
}

EditCarry::EditCarry(const std::vector<PageEdit>& edits) : count_(edits.size()) {
  if (count_ == 0) return;
  tree_.resize(4 * count_);
  // Builds node k over the writes [lo, hi).
  auto build = [&](auto&& self, std::size_t k, std::size_t lo, std::size_t hi) -> void {
    if (hi - lo == 1) {
      const PageEdit& e = edits[lo];
      const std::int64_t a = e.at - 1, b = a + e.removed;
      tree_[k] = {b, a, e.inserted - e.removed};
      return;
    }
    const std::size_t mid = lo + (hi - lo) / 2;
    self(self, 2 * k, lo, mid);
    self(self, 2 * k + 1, mid, hi);
    tree_[k] = join(tree_[2 * k], tree_[2 * k + 1]);
  };
  build(build, 1, 0, count_);
}

bool EditCarry::walk(std::size_t node, std::size_t lo, std::size_t hi, std::size_t from,
                     std::int64_t& s, std::int64_t length) const {
  if (hi <= from) return true;  // all before the span was seen
  if (lo >= from) {
    const Run& r = tree_[node];
    if (s >= r.movedFrom) {
      s += r.delta;
      return true;
    }
    if (s + length <= r.untouchedTo) return true;
    if (hi - lo == 1) return false;  // this write overlaps the span
  }
  const std::size_t mid = lo + (hi - lo) / 2;
  return walk(2 * node, lo, mid, from, s, length) && walk(2 * node + 1, mid, hi, from, s, length);
}

std::optional<std::int64_t> EditCarry::carry(std::int64_t start1, std::int64_t length,
                                             std::size_t fromEdit) const {
  std::int64_t s = start1 - 1;
  if (count_ != 0 && !walk(1, 0, count_, fromEdit, s, length)) return std::nullopt;
  return s;
}

}  // namespace dorvane::report
