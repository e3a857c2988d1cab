// The process-wide engine: it tells a database's kind by its name or its
// file's header and hands it to that kind's backend. A name beginning "ODBC;"
// is a connect string: its database is on a server, reached through the
// worker's pooled connection for it. SQLite and Access files are cached per
// worker (platform/worker_state.h) by their backends, which know an unchanged
// file by its identity; within a snapshot (ReadSnapshot), a path opened before
// is not looked at again.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/db/access/access_database.h"
#include "platform/db/database_policy.h"
#include "platform/db/file_format.h"
#include "platform/db/odbc/odbc_database.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/sqlite/sqlite_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "platform/file/file_identity.h"
#include "platform/file/input_file.h"
#include "platform/text/utf.h"
#include "platform/worker_state.h"

namespace dorvane {

namespace {

// The files opened by this worker within its current snapshot, by path as given.
struct OpenedFiles {
  std::uint64_t snapshot = 0;
  std::vector<std::pair<std::u16string, std::shared_ptr<Database>>> databases;
};
platform::WorkerLocal<OpenedFiles> openedFiles;

class DefaultEngine : public Engine {
 public:
  std::shared_ptr<Database> OpenDatabase(const std::u16string& path) override {
    // A connect string: the database lives on a server (pooled per worker).
    if (db::isOdbcName(path)) {
      db::checkDatabasePolicy(path);
      return std::make_shared<db::OdbcDatabase>(path);
    }
    // A file opened in this snapshot has passed the policy already.
    const std::uint64_t snapshot = db::currentSnapshot();
    OpenedFiles& opened = *openedFiles;
    if (snapshot != 0 && snapshot == opened.snapshot) {
      for (const auto& [p, database] : opened.databases)
        if (p == path) return database;
    }
    db::checkDatabasePolicy(path);
    auto database = openFile(path);
    if (snapshot != 0) {
      // A few files per snapshot at most; what the last one kept goes.
      constexpr size_t kMaxFiles = 16;
      if (opened.snapshot != snapshot || opened.databases.size() >= kMaxFiles) {
        opened.databases.clear();
        opened.snapshot = snapshot;
      }
      opened.databases.emplace_back(path, database);
    }
    return database;
  }

 private:
  static std::shared_ptr<Database> openFile(const std::u16string& path) {
    const std::string utf8 = text::toUtf8(path);
    file::FileIdentity id;
    const file::FileKind kind = file::identifyFile(utf8, id);
    if (kind == file::FileKind::Missing) {
      throw RuntimeError(err::kFileNotFound, "Could not find file '" + utf8 + "'.");
    }
    if (kind != file::FileKind::Regular) {
      throw RuntimeError(err::kUnrecognizedFormat,
                         "Unrecognized database format '" + utf8 + "' (not a regular file).");
    }
    if (auto sqlite = db::cachedSqliteDatabase(id, path)) return sqlite;
    if (auto access = db::cachedAccessDatabase(id, path)) return access;

    db::FileFormat format = readFormat(utf8);
    switch (format) {
      case db::FileFormat::SQLite:
        return db::openSqliteDatabase(utf8, id, path);
      case db::FileFormat::Jet3:
      case db::FileFormat::Jet4:
      case db::FileFormat::Ace:
        return db::openAccessDatabase(utf8, id, path, format);
      case db::FileFormat::Unknown:
        break;
    }
    throw RuntimeError(err::kUnrecognizedFormat, "Unrecognized database format '" + utf8 + "'.");
  }

  static db::FileFormat readFormat(const std::string& utf8) {
    file::InputFile in;
    if (in.open(utf8) != file::InputFile::Status::Ok) {
      throw RuntimeError(err::kFileNotFound,
                         "Could not open file '" + utf8 + "': " + in.error() + ".");
    }
    unsigned char header[64];
    size_t n = 0;
    while (n < sizeof header) {
      long long got = in.read(reinterpret_cast<char*>(header) + n, sizeof header - n);
      if (got <= 0) break;
      n += static_cast<size_t>(got);
    }
    return db::detectFormat(header, n);
  }
};

}  // namespace

Engine& Engine::instance() {
  static DefaultEngine engine;
  return engine;
}

}  // namespace dorvane
