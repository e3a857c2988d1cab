// One page merge pass over the page text: every value placeholder ("!!")
// from left to right is resolved and its value replaces the first "gethere"
// at or after it; then the detail hand-over.
#pragma once

#include <dorvane/observer.h>

#include <functional>

#include "page/page_members.h"

namespace dorvane::page {

enum class PassEnd {
  Done,     // every placeholder handled (and the detail hand-over made, if any)
  Stopped,  // a malformed placeholder ended the run quietly
};

// Runs one pass with the members m (text, curdbloc and wkcycle set by the
// caller). When the page holds "!!" it opens kivdb at curdbloc and the
// reference table into kivrs (once); resolving sets DB and rs. A value is
// written as text; a placeholder's own text is never removed, and text
// inserted takes part in the later searches. At the end, when text holds
// "&&", HitStr is set to the first one and detail() is called with every
// write of the run already in text.
//
// Raises every run-time error of the run (the caller's error handler shows
// "error"): a "!!" not at position 1 with no ";" after it (5), a Null value
// to write (94), a separator beyond character 32767 of a placeholder or a
// position beyond 2^31 - 1 (6), and the errors of the engine and of the
// resolution. text keeps every write made before the error and HitStr the
// position reached.
PassEnd runPagePass(PageMembers& m, const std::function<void()>& detail,
                    MergeObserver* observer = nullptr);

}  // namespace dorvane::page
