#include "platform/db/sqlite/sqlite_file.h"

#include <dorvane/runtime_error.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/db/sqlite_connection.h"
#include "platform/db/sqlite_database.h"

namespace dorvane::db {

namespace {

struct FileKey {
  dev_t dev;
  ino_t ino;
  bool operator<(const FileKey& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

struct CachedFile {
  off_t size;
  timespec mtime;
  std::shared_ptr<SqliteConnection> connection;
};

thread_local std::map<FileKey, CachedFile> files;

}  // namespace

std::shared_ptr<Database> cachedSqliteDatabase(const struct stat& st, const std::u16string& name) {
  auto it = files.find(FileKey{st.st_dev, st.st_ino});
  if (it != files.end() && it->second.size == st.st_size &&
      it->second.mtime.tv_sec == st.st_mtim.tv_sec &&
      it->second.mtime.tv_nsec == st.st_mtim.tv_nsec) {
    return std::make_shared<SqliteDatabase>(it->second.connection, name);
  }
  return nullptr;
}

std::shared_ptr<Database> openSqliteDatabase(const std::string& utf8, const struct stat& st,
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
  files[FileKey{st.st_dev, st.st_ino}] = CachedFile{st.st_size, st.st_mtim, connection};
  return std::make_shared<SqliteDatabase>(connection, name);
}

}  // namespace dorvane::db
