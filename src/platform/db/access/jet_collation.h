// The Jet-like text collation of the in-memory copies of Access files.
//
// Text compares like the Access engine's text indexes as far as the system
// relies on them: ASCII and full-width Latin letters compare case-blind,
// every other character compares exactly by its code point.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string_view>

namespace dorvane::db {

// The collation's name as SQL text uses it: COLLATE JET.
inline constexpr const char* kJetCollation = "JET";

// Registers the collation on db. Returns SQLite's result code.
int registerJetCollation(sqlite3* db);

// Three-way comparison under the collation: negative, 0 or positive.
int compareJet(std::u16string_view a, std::u16string_view b);

// A hash of UTF-8 text under the collation: texts that the collation calls
// equal hash alike (texts that hash alike may still differ).
std::uint64_t hashJet(std::string_view utf8);

}  // namespace dorvane::db
