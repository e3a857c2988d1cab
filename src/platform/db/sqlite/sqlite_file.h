// SQLite files as databases of the engine.
//
// Each SQLite file keeps one read-only connection per thread for the life of
// the thread, found again by the file's device and inode, so re-opening the
// same file costs one look at it (file_identity.h). A file replaced by another (new inode) or
// changed on disk is opened afresh. Statements always see the file's current
// data. Connections are per thread because a connection and its statement
// cache belong to one thread, like every object the engine hands out.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <string>

#include "platform/file/file_identity.h"

namespace dorvane::db {

// The database of the SQLite file id describes when this thread opened it
// before and it is unchanged since (same size and modification time), or
// nullptr. Costs no file access.
std::shared_ptr<Database> cachedSqliteDatabase(const file::FileIdentity& id,
                                               const std::u16string& name);

// Opens the SQLite file at utf8Path (id is its identity, its header already
// recognised) read-only as a database named name. Raises 3045 when another
// process holds the file's lock, 3051 when it cannot be opened (a WAL file
// in a folder that cannot be written), 3343 for anything else SQLite refuses.
std::shared_ptr<Database> openSqliteDatabase(const std::string& utf8Path,
                                             const file::FileIdentity& id,
                                             const std::u16string& name);

}  // namespace dorvane::db
