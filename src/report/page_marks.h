// Where the placeholders and the written values of a page merge are in the
// final page text: positions heard during the runs are carried through every
// later write.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "report/merge_record.h"

namespace dorvane::report {

struct PageMark {
  std::int64_t start = 0;   // 0-based code unit in the final text
  std::int64_t length = 0;  // code units
  bool value = false;       // a written value (else a placeholder)
  std::size_t occurrence = 0;
};

struct PageMarks {
  std::vector<PageMark> marks;  // by start, none overlapping
  // Per occurrence: the index into marks of its placeholder and of its
  // written value, -1 when it has none in the final text.
  std::vector<long> placeholderMark, valueMark;
};

// The marks of record in finalText. A placeholder met by several runs gets
// one mark, owned by the run that wrote it (else the last run that met it).
// A span that a later write overwrote, or that no longer holds the text the
// run saw, gets no mark.
PageMarks pageMarks(const MergeRecord& record, std::u16string_view finalText);

// Line and column (both 1-based; a column counts code units) of the 0-based
// offset in text; lines end at "\n".
struct LineColumn {
  long line = 1, column = 1;
};
class LineIndex {
 public:
  explicit LineIndex(std::u16string_view text);
  LineColumn at(std::int64_t offset) const;

 private:
  std::vector<std::int64_t> starts_;
};

}  // namespace dorvane::report
