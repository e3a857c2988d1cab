#include "report/merge_record.h"

#include <algorithm>
#include <cstdint>

#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/names.h"

namespace dorvane::report {

namespace {

// Runs one event's bookkeeping; an observer must not throw, so memory
// exhaustion only loses what the event would have added.
template <class F>
void safely(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

constexpr std::u16string_view kPagePositionPrefix = u"position ";

}  // namespace

const char* verdictName(Verdict v) {
  switch (v) {
    case Verdict::Written:
      return "written";
    case Verdict::OtherPass:
      return "other-pass";
    case Verdict::KeyMissing:
      return "key-missing";
    case Verdict::Unwritten:
      return "unwritten";
    case Verdict::Error:
      return "error";
  }
  return "?";
}

const char* verdictLabel(Verdict v) {
  switch (v) {
    case Verdict::Written:
      return "written";
    case Verdict::OtherPass:
      return "skipped for the other pass";
    case Verdict::KeyMissing:
      return "key not in the reference table";
    case Verdict::Unwritten:
      return "left unwritten";
    case Verdict::Error:
      return "error";
  }
  return "?";
}

std::int64_t pagePosition(const std::u16string& where) {
  if (where.rfind(kPagePositionPrefix, 0) != 0) return 0;
  std::int64_t n = 0;
  for (size_t i = kPagePositionPrefix.size(); i < where.size(); ++i) {
    const char16_t c = where[i];
    if (c < u'0' || c > u'9' || n > (INT64_MAX - 9) / 10) return 0;
    n = n * 10 + (c - u'0');
  }
  return n;
}

Occurrence* RecordingObserver::open() {
  if (record_.occurrences.empty() || record_.occurrences.back().settled) return nullptr;
  return &record_.occurrences.back();
}

void RecordingObserver::settle(Occurrence& o, Verdict v, std::string reason) {
  o.verdict = v;
  o.reason = std::move(reason);
  o.settled = true;
}

void RecordingObserver::passStarted(const std::u16string& path, int wkcycle) {
  if (next_) next_->passStarted(path, wkcycle);
  safely([&] {
    if (Occurrence* o = open()) settle(*o, Verdict::Unwritten, "the run ended before it was done");
    const int number = static_cast<int>(record_.runs.size()) + 1;
    record_.runs.push_back({number, wkcycle, path, std::nullopt});
  });
}

void RecordingObserver::placeholderFound(const std::u16string& text, const std::u16string& where) {
  if (next_) next_->placeholderFound(text, where);
  safely([&] {
    if (Occurrence* o = open()) settle(*o, Verdict::Unwritten, "nothing was written for it");
    Occurrence o;
    if (!record_.runs.empty()) {
      o.run = record_.runs.back().number;
      o.pass = record_.runs.back().pass;
    }
    o.text = text;
    o.where = where;
    o.detail = text.rfind(names::kDetailMarker, 0) == 0;
    const size_t comma = text.find(u',');
    o.key = text.substr(0, comma);
    if (comma != std::u16string::npos) {
      std::u16string values = text.substr(comma + 1);
      if (!values.empty() && values.back() == u';') values.pop_back();
      o.keyValues = std::move(values);
    }
    o.position = pagePosition(where);
    o.editsBefore = record_.edits.size();
    record_.occurrences.push_back(std::move(o));
  });
}

void RecordingObserver::keyLookedUp(const std::u16string& key, bool found) {
  if (next_) next_->keyLookedUp(key, found);
  safely([&] {
    Occurrence* o = open();
    if (!o) return;
    o->key = key;
    if (!found) {
      settle(*o, Verdict::KeyMissing,
             "the reference table " + text::toUtf8(names::kReferenceTable) + " has no row " +
                 text::toUtf8(key) + ": the placeholder stays as it is");
    }
  });
}

void RecordingObserver::referenceRowRead(const std::vector<ObservedField>& fields) {
  if (next_) next_->referenceRowRead(fields);
  safely([&] {
    if (Occurrence* o = open()) o->row = fields;
  });
}

void RecordingObserver::skipped(std::string_view reason) {
  if (next_) next_->skipped(reason);
  safely([&] {
    Occurrence* o = open();
    if (!o) return;
    if (reason == kOtherPassReason) {
      settle(*o, Verdict::OtherPass,
             "its reference row belongs to pass " + std::to_string(o->pass == 1 ? 2 : 1));
    } else {
      settle(*o, Verdict::Unwritten, std::string(reason));
    }
  });
}

void RecordingObserver::sqlRun(const std::u16string& sql) {
  if (next_) next_->sqlRun(sql);
  safely([&] {
    if (Occurrence* o = open()) o->sql.push_back({sql, std::nullopt});
  });
}

void RecordingObserver::recordsRead(long count) {
  if (next_) next_->recordsRead(count);
  safely([&] {
    Occurrence* o = open();
    if (o && !o->sql.empty()) o->sql.back().records = count;
  });
}

void RecordingObserver::loopEnded(LoopEnd end) {
  if (next_) next_->loopEnded(end);
}

void RecordingObserver::resolved(const PlaceholderResult& r) {
  if (next_) next_->resolved(r);
  safely([&] {
    if (r.outcome == Outcome::StopPass && !record_.occurrences.empty()) {
      // skipped() has told why; the rest of the run's template is not looked at.
      Occurrence& last = record_.occurrences.back();
      last.reason += last.reason.empty() ? "the run stops here" : "; the run stops here";
      last.settled = true;
      return;
    }
    Occurrence* o = open();
    if (!o) return;
    if (r.comment) o->comment = *r.comment;
    if (r.outcome == Outcome::Resolved && !r.value) {
      std::string word = "Null";
      for (const ObservedField& f : o->row) {
        if (f.name == names::kRounding) word = "'" + text::toUtf8(f.value) + "'";
      }
      settle(*o, Verdict::Unwritten,
             "the rounding word " + word + " in " + text::toUtf8(names::kRounding) +
                 " is none of " + text::toUtf8(names::kRoundNearest) + ", " +
                 text::toUtf8(names::kRoundUp) + ", " + text::toUtf8(names::kRoundDown) +
                 ": there is no value to write");
    }
  });
}

void RecordingObserver::valueWritten(const std::u16string& text, const std::u16string& where) {
  if (next_) next_->valueWritten(text, where);
  safely([&] {
    Occurrence* o = open();
    if (!o) return;
    o->value = text;
    o->writtenAt = where;
    if (where.rfind(u"nowhere", 0) == 0) {
      settle(*o, Verdict::Unwritten,
             "there is no \"gethere\" at or after the placeholder: the value had nowhere to go");
      return;
    }
    if (const std::int64_t at = pagePosition(where); at != 0) {
      o->writtenPosition = at;
      o->writtenEdit = record_.edits.size();
      const auto marker =
          static_cast<std::int64_t>(std::u16string_view(names::kPageValueMarker).size());
      record_.edits.push_back({at, marker, static_cast<std::int64_t>(text.size())});
    }
    settle(*o, Verdict::Written, "");
  });
}

void RecordingObserver::blockWritten(long top, long left, long bottom, long right) {
  if (next_) next_->blockWritten(top, left, bottom, right);
  safely([&] {
    if (record_.occurrences.empty()) return;
    record_.blocks.push_back({std::min(top, bottom), std::min(left, right), std::max(top, bottom),
                              std::max(left, right), record_.occurrences.size() - 1});
  });
}

void RecordingObserver::failed(std::string_view step, int number, std::string_view description) {
  if (next_) next_->failed(step, number, description);
  safely([&] {
    Failure f{std::string(step), number, std::string(description)};
    const bool inRun =
        !record_.runs.empty() && step.rfind("load", 0) != 0 && step.rfind("save", 0) != 0;
    if (!inRun) {
      record_.otherFailures.push_back(std::move(f));
      return;
    }
    if (Occurrence* o = open()) {
      settle(*o, Verdict::Error,
             "error " + std::to_string(number) + ": " + std::string(description));
    }
    Run& run = record_.runs.back();
    if (!run.firstError) run.firstError = std::move(f);
  });
}

}  // namespace dorvane::report
