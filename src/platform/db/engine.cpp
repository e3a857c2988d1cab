// The process-wide engine: format detection and the cache of open files.
//
// Each SQLite file keeps one read-only connection per thread for the life of
// the thread, found again by the file's device and inode, so re-opening the
// same file costs one stat(). A file replaced by another (new inode) or
// changed on disk is opened afresh. Statements always see the file's current
// data. Connections are per thread because a connection and its statement
// cache belong to one thread, like every object the engine hands out. A name
// beginning "ODBC;" is a connect string: its database is on a server, reached
// through the thread's pooled connection for it.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/db/access/access_database.h"
#include "platform/db/file_format.h"
#include "platform/db/odbc/odbc_database.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/sqlite_connection.h"
#include "platform/db/sqlite_database.h"
#include "platform/text/utf.h"

namespace dorvane {

namespace {

struct FileKey {
  dev_t dev;
  ino_t ino;
  bool operator<(const FileKey& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

struct CachedFile {
  off_t size;
  timespec mtime;
  std::shared_ptr<db::SqliteConnection> connection;
};

class DefaultEngine : public Engine {
 public:
  std::shared_ptr<Database> OpenDatabase(const std::u16string& path) override {
    // A connect string: the database lives on a server (pooled per thread).
    if (db::isOdbcName(path)) return std::make_shared<db::OdbcDatabase>(path);
    const std::string utf8 = text::toUtf8(path);
    struct stat st {};
    if (utf8.empty() || ::stat(utf8.c_str(), &st) != 0) {
      throw RuntimeError(err::kFileNotFound, "Could not find file '" + utf8 + "'.");
    }
    if (!S_ISREG(st.st_mode)) {
      throw RuntimeError(err::kUnrecognizedFormat,
                         "Unrecognized database format '" + utf8 + "' (not a regular file).");
    }
    FileKey key{st.st_dev, st.st_ino};
    auto it = files_.find(key);
    if (it != files_.end() && it->second.size == st.st_size &&
        it->second.mtime.tv_sec == st.st_mtim.tv_sec &&
        it->second.mtime.tv_nsec == st.st_mtim.tv_nsec) {
      return std::make_shared<db::SqliteDatabase>(it->second.connection, path);
    }
    if (auto access = db::cachedAccessDatabase(st, path)) return access;

    db::FileFormat format = readFormat(utf8);
    switch (format) {
      case db::FileFormat::SQLite:
        break;
      case db::FileFormat::Jet3:
      case db::FileFormat::Jet4:
      case db::FileFormat::Ace:
        return db::openAccessDatabase(utf8, path, format);
      case db::FileFormat::Unknown:
        throw RuntimeError(err::kUnrecognizedFormat,
                           "Unrecognized database format '" + utf8 + "'.");
    }

    std::string error;
    int code = 0;
    auto connection = db::SqliteConnection::openReadOnly(utf8, &error, &code);
    if (!connection) {
      if (db::isLockedOut(code)) {
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
    files_[key] = CachedFile{st.st_size, st.st_mtim, connection};
    return std::make_shared<db::SqliteDatabase>(connection, path);
  }

 private:
  static db::FileFormat readFormat(const std::string& utf8) {
    std::FILE* f = std::fopen(utf8.c_str(), "rb");
    if (!f) {
      throw RuntimeError(err::kFileNotFound,
                         "Could not open file '" + utf8 + "': " + std::strerror(errno) + ".");
    }
    unsigned char header[64];
    size_t n = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    return db::detectFormat(header, n);
  }

  static thread_local std::map<FileKey, CachedFile> files_;
};

thread_local std::map<FileKey, CachedFile> DefaultEngine::files_;

}  // namespace

Engine& Engine::instance() {
  static DefaultEngine engine;
  return engine;
}

}  // namespace dorvane
