#include "report/page_marks.h"

#include <algorithm>
#include <map>
#include <optional>

#include "report/edit_carry.h"

namespace dorvane::report {

namespace {

bool holds(std::u16string_view text, std::int64_t start, std::u16string_view what) {
  if (start < 0 || static_cast<std::uint64_t>(start) + what.size() > text.size()) return false;
  return text.substr(static_cast<size_t>(start), what.size()) == what;
}

// Which occurrence owns a placeholder mark met by several runs.
bool outranks(const Occurrence& a, const Occurrence& b) {
  const bool aw = a.verdict == Verdict::Written, bw = b.verdict == Verdict::Written;
  if (aw != bw) return aw;
  return a.run > b.run;
}

}  // namespace

PageMarks pageMarks(const MergeRecord& record, std::u16string_view finalText) {
  const auto& occ = record.occurrences;
  PageMarks out;
  out.placeholderMark.assign(occ.size(), -1);
  out.valueMark.assign(occ.size(), -1);

  const EditCarry edits(record.edits);
  std::map<std::int64_t, PageMark> byStart;
  std::vector<std::pair<std::int64_t, std::size_t>> placeholderStart;  // start, occurrence
  for (std::size_t i = 0; i < occ.size(); ++i) {
    const Occurrence& o = occ[i];
    if (o.position > 0 && !o.text.empty()) {
      const auto len = static_cast<std::int64_t>(o.text.size());
      if (auto s = edits.carry(o.position, len, o.editsBefore); s && holds(finalText, *s, o.text)) {
        placeholderStart.emplace_back(*s, i);
        auto [it, fresh] = byStart.try_emplace(*s, PageMark{*s, len, false, i});
        if (!fresh && !it->second.value && outranks(o, occ[it->second.occurrence])) {
          it->second.occurrence = i;
        }
      }
    }
    if (o.verdict == Verdict::Written && o.writtenPosition > 0 && o.value && !o.value->empty()) {
      const auto len = static_cast<std::int64_t>(o.value->size());
      if (auto s = edits.carry(o.writtenPosition, len, o.writtenEdit + 1);
          s && holds(finalText, *s, *o.value)) {
        byStart.try_emplace(*s, PageMark{*s, len, true, i});
      }
    }
  }

  std::int64_t end = 0;
  for (auto& [start, mark] : byStart) {
    if (start < end) continue;  // overlaps the mark before
    end = start + mark.length;
    out.marks.push_back(mark);
  }
  std::map<std::int64_t, long> markAt;
  for (std::size_t m = 0; m < out.marks.size(); ++m) {
    const PageMark& mark = out.marks[m];
    markAt[mark.start] = static_cast<long>(m);
    if (mark.value) out.valueMark[mark.occurrence] = static_cast<long>(m);
  }
  for (const auto& [start, i] : placeholderStart) {
    auto it = markAt.find(start);
    if (it != markAt.end() && !out.marks[static_cast<size_t>(it->second)].value) {
      out.placeholderMark[i] = it->second;
    }
  }
  return out;
}

LineIndex::LineIndex(std::u16string_view text) {
  starts_.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n') starts_.push_back(static_cast<std::int64_t>(i) + 1);
  }
}

LineColumn LineIndex::at(std::int64_t offset) const {
  auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const auto line = static_cast<long>(it - starts_.begin());
  return {line, static_cast<long>(offset - starts_[static_cast<size_t>(line - 1)]) + 1};
}

}  // namespace dorvane::report
