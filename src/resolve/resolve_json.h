// One placeholder resolved against a database, as the JSON object that
// `dorvane resolve --json` prints and the network service answers.
#pragma once

#include <dorvane/observer.h>
#include <dorvane/placeholder.h>

#include <string>

namespace dorvane {

// {"outcome": "Resolved"|"Skip"|"StopPass", "value": {"type": T, "text": S},
//  "comment": C} (value and comment only when there is one).
std::string placeholderResultJson(const PlaceholderResult& result);

// {"error": {"number": N, "description": D}}; invalid UTF-8 replaced.
std::string runtimeErrorJson(int number, const std::string& description);

struct ResolveAnswer {
  std::string json;     // one of the two objects above
  int errorNumber = 0;  // the run-time error's number when json is the error object
  std::string errorDescription;
};

// Opens the reference table of the database at path and resolves text in pass
// wkcycle. Never raises a run-time error (it becomes the answer); what observer
// raises passes through.
ResolveAnswer resolveAsJson(const std::u16string& text, std::int16_t wkcycle, PlaceholderKind kind,
                            const std::u16string& path, MergeObserver* observer);

}  // namespace dorvane
