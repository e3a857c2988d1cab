// MergeObserver: hears what a merge does, so a host can explain a result.
//
// Every method has an empty default; override what you need. Nothing in the
// merge depends on the observer, and an observer must not throw — except that
// a host may end a merge early (a deadline) by throwing, from passStarted,
// placeholderFound or sqlRun, an exception not derived from std::exception:
// no handler of the merge catches it, and the merge unwinds without saving.
#pragma once

#include <dorvane/placeholder.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorvane {

// The reason skipped() gives for a placeholder whose reference row belongs to
// the other pass; hosts may compare with it.
inline constexpr char kOtherPassReason[] = "the row belongs to the other pass";

// One column of a reference row as an observer sees it: its name and its
// value in the standard text form ("Null" for Null).
struct ObservedField {
  std::u16string name;
  std::u16string value;
};

class MergeObserver {
 public:
  virtual ~MergeObserver() = default;

  // A merge pass starts on the database at path with pass number wkcycle.
  virtual void passStarted(const std::u16string& /*path*/, int /*wkcycle*/) {}
  // A placeholder text was cut from the template; where says where (a page
  // position, a cell address).
  virtual void placeholderFound(const std::u16string& /*text*/, const std::u16string& /*where*/) {}
  // The key was sought in the reference table.
  virtual void keyLookedUp(const std::u16string& /*key*/, bool /*found*/) {}
  // The key's reference row was found: the columns the merge reads from it.
  // Only told to an observer that is set.
  virtual void referenceRowRead(const std::vector<ObservedField>& /*fields*/) {}
  // The placeholder is left alone, and why.
  virtual void skipped(std::string_view /*reason*/) {}
  // An SQL text is about to be opened.
  virtual void sqlRun(const std::u16string& /*sql*/) {}
  // The value was taken from count records of the last SQL text (0: it found
  // none; 1 for a text item, which takes the first record's value).
  virtual void recordsRead(long /*count*/) {}
  // The key-segment loop ended.
  virtual void loopEnded(LoopEnd /*end*/) {}
  // The result of one placeholder.
  virtual void resolved(const PlaceholderResult& /*result*/) {}
  // A value (as text) was written into the template at where.
  virtual void valueWritten(const std::u16string& /*text*/, const std::u16string& /*where*/) {}
  // A detail block was written over the cells from (top, left) to (bottom,
  // right), 1-based rows and columns of the worksheet.
  virtual void blockWritten(long /*top*/, long /*left*/, long /*bottom*/, long /*right*/) {}
  // A step failed with a run-time error (number, description).
  virtual void failed(std::string_view /*step*/, int /*number*/, std::string_view /*description*/) {
  }

  // False for an observer that returns at once from every method (it only
  // takes notes, or ends the merge by throwing): a pass then reads its
  // placeholders in shared snapshots, as it does when nothing listens.
  virtual bool mayWait() const { return true; }
  // False for an observer that ignores referenceRowRead: the row's fields
  // are then not gathered and turned into text for it.
  virtual bool hearsRows() const { return true; }
};

}  // namespace dorvane
