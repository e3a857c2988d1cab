// Reading a table of an Access file for the engine, with the process-wide
// cache of tables already read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Reads table `table` of the Access file at path (access_reader.h) and hands
// its definition and rows to sink. Raises dorvane::RuntimeError 3049 naming
// the file and the table when the file is damaged or lacks the table; passes
// on what sink raises. The sink may have seen rows before an error: callers
// discard them.
//
// With keepAccessStreams on, a table read completely is kept for the whole
// process, keyed by the file's path, size and modification time and the
// table: a later read of the unchanged table, on any thread, replays it from
// memory instead of reading the file again. While one thread reads a table,
// others that want the same table wait for it.
void readAccessTableCached(const std::string& path, const std::string& table, TableSink& sink);

// Turns the process-wide table cache on with room for about budgetBytes of
// tables (0 turns it off and frees what it holds). Tables beyond the budget
// are read but not kept. Thread-safe.
void keepAccessStreams(std::size_t budgetBytes);

// How many table reads since the process started were replayed from a kept
// table (hits) and how many read the file (misses). Thread-safe.
struct AccessStreamCounts {
  std::uint64_t hits = 0, misses = 0;
};
AccessStreamCounts accessStreamCounts();

}  // namespace dorvane::db
