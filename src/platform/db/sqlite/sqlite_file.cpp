#include "platform/db/sqlite/sqlite_file.h"

#include <dorvane/runtime_error.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/db/file_cache.h"
#include "platform/db/sqlite/sqlite_connection.h"
#include "platform/db/sqlite/sqlite_database.h"
#include "platform/worker_state.h"

namespace dorvane::db {

namespace {

// Per worker (platform/worker_state.h): a connection serves one thread at a time.
platform::WorkerLocal<FileCache<std::shared_ptr<SqliteConnection>>> files;

}  // namespace

std::shared_ptr<Database> cachedSqliteDatabase(const file::FileIdentity& id,
                                               const std::u16string& name) {
  if (auto connection = files->find(id)) return std::make_shared<SqliteDatabase>(*connection, name);
  return nullptr;
}

std::shared_ptr<Database> openSqliteDatabase(const std::string& utf8, const file::FileIdentity& id,
                                             const std::u16string& name) {
  std::string error;
  int code = 0;
  auto connection = SqliteConnection::openReadOnly(utf8, &error, &code);
  if (!connection) {
    if (isLockedOut(code)) {
      throw RuntimeError(err::kFileInUse, "Could not use '" + utf8 + "'; file already in use.");
    }
    if ((code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_READONLY ||
        (code & 0xff) == SQLITE_PERM || (code & 0xff) == SQLITE_AUTH) {
      // A WAL file whose folder we may not write, a lock file we may not create.
      std::string reason = error;
      const std::string folder = std::filesystem::path(utf8).parent_path().string();
      if (::access(folder.empty() ? "." : folder.c_str(), W_OK) != 0) {
        reason += "; its folder cannot be written: " + std::string(std::strerror(errno));
      }
      throw RuntimeError(err::kCannotOpenFile,
                         "The database engine cannot open the file '" + utf8 +
                             "'. It is already opened exclusively by another user, or you need "
                             "permission to view its data (" +
                             reason + ").");
    }
    throw RuntimeError(err::kUnrecognizedFormat,
                       "Unrecognized database format '" + utf8 + "' (" + error + ").");
  }
  files->keep(id, connection);
  return std::make_shared<SqliteDatabase>(connection, name);
}

}  // namespace dorvane::db
