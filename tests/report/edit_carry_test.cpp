// EditCarry against carrying a span through the writes one by one.
#include "report/edit_carry.h"

#include <gtest/gtest.h>

#include <random>

namespace dorvane::report {
namespace {

std::optional<std::int64_t> oneByOne(std::int64_t start1, std::int64_t length, std::size_t from,
                                     const std::vector<PageEdit>& edits) {
  std::int64_t s = start1 - 1;
  for (std::size_t k = from; k < edits.size(); ++k) {
    const std::int64_t a = edits[k].at - 1, b = a + edits[k].removed;
    if (b <= s) {
      s += edits[k].inserted - edits[k].removed;
    } else if (a < s + length) {
      return std::nullopt;
    }
  }
  return s;
}

TEST(EditCarry, AgreesWithCarryingThroughEachWrite) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    // Passes that write from the top down, as a merge does, or writes anywhere.
    const bool downward = round % 2 == 0;
    std::vector<PageEdit> edits;
    std::int64_t size = 200, at = 1;
    const int count = static_cast<int>(random() % 60);
    for (int k = 0; k < count; ++k) {
      if (!downward || at > size || random() % 15 == 0) at = 1;
      at += static_cast<std::int64_t>(random() % (downward ? 12 : size));
      at = std::min(at, size + 1);
      const std::int64_t removed = std::min<std::int64_t>(random() % 8, size + 1 - at);
      const std::int64_t inserted = random() % 10;
      edits.push_back({at, removed, inserted});
      size += inserted - removed;
      at += inserted;
    }
    const EditCarry tree(edits);
    for (int q = 0; q < 100; ++q) {
      const std::size_t from = random() % (edits.size() + 1);
      const std::int64_t start1 = 1 + static_cast<std::int64_t>(random() % 200);
      const std::int64_t length = 1 + static_cast<std::int64_t>(random() % 9);
      ASSERT_EQ(tree.carry(start1, length, from), oneByOne(start1, length, from, edits))
          << "round " << round << ", span " << start1 << "+" << length << " from " << from;
    }
  }
}

}  // namespace
}  // namespace dorvane::report
