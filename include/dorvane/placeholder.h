// What resolving one value placeholder produces.
#pragma once

#include <dorvane/variant.h>

#include <optional>
#include <string>

namespace dorvane {

// Which template the placeholder comes from. The page kind forms no comment
// and never concatenates text values.
enum class PlaceholderKind { Worksheet, Page };

enum class Outcome {
  StopPass,  // malformed text: the caller ends its merge pass
  Skip,      // no row for the key, or a row of the other pass: leave the template
  Resolved,
};

// How the key-segment loop ended for a resolved placeholder.
enum class LoopEnd { EmptyFinal, FinalWithRecords, EarlyText };

struct PlaceholderResult {
  Outcome outcome = Outcome::Skip;
  std::optional<Variant> value;           // absent: nothing to write
  std::optional<std::u16string> comment;  // worksheet kind only
};

const char* outcomeName(Outcome o);
const char* loopEndName(LoopEnd e);

}  // namespace dorvane
