// Reading one table of an Access file (Jet 3, Jet 4, ACE) in this process.
//
// Every read is checked against its page and the file: a page number, offset
// or length outside them, a chain that loops, a definition that contradicts
// itself or a file cut short raise AccessDamage (access_page_file.h), never
// a crash; every walk is bounded by the file's size, and no allocation is
// larger than the file.
#pragma once

#include <string>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Reads table `table` (UTF-8; a user or system table, matched exactly first,
// then case-blind) of the Access file at path and hands its definition and
// then every row to sink. Raises AccessDamage with what is wrong when the
// file cannot be read, the table does not exist, or a row or value is
// damaged; passes on what sink raises.
void readAccessTable(const std::string& path, const std::string& table, TableSink& sink);

}  // namespace dorvane::db
