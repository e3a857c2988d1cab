// Reading one table of an Access file with mdbtools.
//
// This is the only code that touches mdbtools. mdbtools trusts the file it
// reads, so a damaged file can crash or stall it: the engine runs this reader
// in a child process (access_process.h), never in its own.
#pragma once

#include <string>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Reads table `table` (UTF-8; a user or system table, matched case-blind) of
// the Access file at path and hands its definition and then every row to
// sink. Raises std::runtime_error naming the file and the table when the file
// cannot be opened, the table does not exist, or a row or value is damaged.
void readAccessTableWithMdbtools(const std::string& path, const std::string& table,
                                 TableSink& sink);

}  // namespace dorvane::db
