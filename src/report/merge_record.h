// What a merge did, placeholder by placeholder, gathered from the events of
// a MergeObserver for the HTML report.
#pragma once

#include <dorvane/observer.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::report {

// What became of one placeholder in one run.
enum class Verdict {
  Written,     // a value (or a detail table or block) was written
  OtherPass,   // its reference row belongs to the other pass
  KeyMissing,  // the key is not in the reference table
  Unwritten,   // left unwritten for another reason (see the reason)
  Error,       // the run failed at this placeholder
};
inline constexpr int kVerdictCount = 5;

// A short name of the verdict ("written", "other-pass", ...), usable as a
// CSS class and a filter value.
const char* verdictName(Verdict v);
// The verdict in words for people ("skipped for the other pass", ...).
const char* verdictLabel(Verdict v);

struct SqlStep {
  std::u16string text;
  std::optional<long> records;  // records the value was taken from, when told
};

// One placeholder as one run met it.
struct Occurrence {
  int run = 0;   // 1-based, in the order of the runs
  int pass = 0;  // wkcycle of the run
  bool detail = false;
  std::u16string text;   // the placeholder text as the pass cut it
  std::u16string where;  // where the pass found it ("position 12", "$B$3")
  std::u16string key, keyValues;
  std::vector<ObservedField> row;  // the reference row's columns that decide
  std::vector<SqlStep> sql;
  std::optional<std::u16string> value;  // the value written, as text
  std::u16string writtenAt;             // where it went
  std::optional<std::u16string> comment;
  Verdict verdict = Verdict::Unwritten;
  std::string reason;  // why, for anything not written
  bool settled = false;
  // Page merges: the position of the placeholder and of the written value,
  // in the page text as it was at that moment (the number of edits made
  // before says which moment), 0 when none.
  std::int64_t position = 0;
  std::size_t editsBefore = 0;
  std::int64_t writtenPosition = 0;
  std::size_t writtenEdit = 0;  // index of the edit that wrote the value
};

struct Failure {
  std::string step;
  int number = 0;
  std::string description;
};

struct Run {
  int number = 0;
  int pass = 0;
  std::u16string database;
  std::optional<Failure> firstError;
};

// A write into the page text: at position at, removed code units became
// inserted ones.
struct PageEdit {
  std::int64_t at = 0;
  std::int64_t removed = 0;
  std::int64_t inserted = 0;
};

// A detail block of a worksheet, rows and columns 1-based, inclusive.
struct Block {
  long top = 0, left = 0, bottom = 0, right = 0;
  std::size_t occurrence = 0;  // index into MergeRecord::occurrences
};

struct MergeRecord {
  std::vector<Run> runs;
  std::vector<Occurrence> occurrences;
  std::vector<Failure> otherFailures;  // failures outside any run (load, save)
  std::vector<PageEdit> edits;
  std::vector<Block> blocks;
};

// Gathers a MergeRecord, and passes every event on to next (may be null, not
// owned). Never throws out of an event; what it cannot store is dropped.
class RecordingObserver : public MergeObserver {
 public:
  explicit RecordingObserver(MergeObserver* next = nullptr) : next_(next) {}

  const MergeRecord& record() const { return record_; }

  void passStarted(const std::u16string& path, int wkcycle) override;
  void placeholderFound(const std::u16string& text, const std::u16string& where) override;
  void keyLookedUp(const std::u16string& key, bool found) override;
  void referenceRowRead(const std::vector<ObservedField>& fields) override;
  void skipped(std::string_view reason) override;
  void sqlRun(const std::u16string& sql) override;
  void recordsRead(long count) override;
  void loopEnded(LoopEnd end) override;
  void resolved(const PlaceholderResult& result) override;
  void valueWritten(const std::u16string& text, const std::u16string& where) override;
  void blockWritten(long top, long left, long bottom, long right) override;
  void failed(std::string_view step, int number, std::string_view description) override;

 private:
  // The occurrence the events are about, or null when none is open.
  Occurrence* open();
  void settle(Occurrence& o, Verdict v, std::string reason);

  MergeObserver* next_;
  MergeRecord record_;
};

// The page position in "position N" as the page merge names places; 0 when
// where names no position.
std::int64_t pagePosition(const std::u16string& where);

}  // namespace dorvane::report
