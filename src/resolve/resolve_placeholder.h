// resolvePlaceholder: one value placeholder text in, its outcome, value and
// comment out. Shared by the worksheet and the page merge.
#pragma once

#include <dorvane/engine.h>
#include <dorvane/observer.h>
#include <dorvane/placeholder.h>

#include <cstdint>
#include <memory>
#include <string>

namespace dorvane {

// Resolves text (key "," key segments, each ended by ";") for pass wkcycle
// against the reference table kivrs (a table-type recordset on the database of
// the current pass).
//
// Changes: kivrs's index and current row; DB receives the source database
// opened for a handled placeholder, rs the recordset of each key segment read
// (the previous objects are released by the replacement).
//
// Raises the run-time errors of the engine and of the conversions: a Null in
// a column needed as text (94), a "単位" of 0 in a division (11), a separator
// beyond character 32767 (6), an unknown database, table, query or field.
// A malformed text is not an error: it gives StopPass.
PlaceholderResult resolvePlaceholder(const std::u16string& text, std::int16_t wkcycle,
                                     Recordset& kivrs, PlaceholderKind kind,
                                     std::shared_ptr<Database>& DB, std::shared_ptr<Recordset>& rs,
                                     MergeObserver* observer = nullptr);

}  // namespace dorvane
