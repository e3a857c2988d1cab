// Access files (.mdb, .accdb) as databases of the engine.
//
// Each Access file gets an in-memory SQLite database (AccessFile), shared by
// every open of that unchanged file on the thread: the engine finds it again
// by canonical path, size and modification time, so a changed file is read
// afresh and an unchanged one never twice. Tables are read in the first time
// a statement needs them (access_import.h), with their Access indexes;
// linked tables are read from the file they link to; stored select queries
// become views.
#pragma once

#include <dorvane/engine.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/db/access/access_file.h"
#include "platform/db/access_odbc_links.h"
#include "platform/db/file_format.h"
#include "platform/db/sqlite/sqlite_database.h"
#include "platform/file/file_identity.h"

namespace dorvane::db {

// Opens the Access file at utf8Path, whose identity is id (format already
// detected from its header), as a database named name, and keeps it for
// cachedAccessDatabase. Raises 3049 for a file that is truncated or damaged,
// or whose catalog cannot be read.
std::shared_ptr<Database> openAccessDatabase(const std::string& utf8Path,
                                             const file::FileIdentity& id,
                                             const std::u16string& name, FileFormat format);

// The database of the Access file id describes when the engine has read it
// on this thread and it is unchanged since (same size and modification
// time), or nullptr. Costs no file access: the engine calls it before it
// looks at the file's header.
std::shared_ptr<Database> cachedAccessDatabase(const file::FileIdentity& id,
                                               const std::u16string& name);

class AccessDatabase : public SqliteDatabase {
 public:
  AccessDatabase(std::shared_ptr<AccessFile> file, std::u16string name)
      : SqliteDatabase(file->connection(), std::move(name)),
        file_(std::move(file)),
        links_(*file_) {}

  // Tables linked through ODBC are read on their server (access_odbc_links.h).
  std::shared_ptr<Recordset> OpenRecordset(const std::u16string& source) override;
  std::optional<IndexDef> findIndex(const std::u16string& table,
                                    const std::u16string& index) override;
  bool importTable(const std::u16string& name) override;
  bool isLinked(const std::u16string& table) override;

  AccessFile& file() { return *file_; }

 private:
  std::shared_ptr<AccessFile> file_;
  AccessOdbcLinks links_;
};

}  // namespace dorvane::db
