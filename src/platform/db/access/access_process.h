// Running the Access reader in a child process.
//
// mdbtools can crash, stall or run out of memory on a damaged file. The
// engine therefore forks a child that reads the table with mdbtools and
// streams it back (access_wire.h); whatever the file does to mdbtools, the
// engine's process sees at worst a child that failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Reads table `table` of the Access file at path in a child process and hands
// its definition and rows to sink in this process. The child is limited in CPU
// time, and the stream in size and in time without progress. Raises
// dorvane::RuntimeError 3049 naming the file and the table when the child
// reports an error, crashes, stalls or sends a bad stream; passes on what sink
// raises. The sink may have seen rows before an error: callers discard them.
void readAccessTableIsolated(const std::string& path, const std::string& table, TableSink& sink);

}  // namespace dorvane::db
