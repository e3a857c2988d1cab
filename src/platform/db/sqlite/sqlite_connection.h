// A SQLite connection with a cache of prepared statements.
//
// The engine keeps one connection per database file for the life of the
// process; every statement runs in its own implicit transaction, so each sees
// the file's current data, unless the thread holds a ReadSnapshot (engine.h).
// Statements handed out by cachedStatement() are reset by the Statement guard
// when it goes out of scope.
#pragma once

#include <sqlite3.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/db/sql_literals.h"

namespace dorvane::db {

enum class ObjectKind { None, Table, View };

// Owns one prepared statement; resets (cached) or finalizes (owned) it.
class Statement {
 public:
  Statement() = default;
  // An owned statement (finalized at the end), or a cached one lent out:
  // inUse is its cache entry's flag, cleared when the statement is handed back.
  explicit Statement(sqlite3_stmt* stmt, bool* inUse = nullptr,
                     std::shared_ptr<const void>* slot = nullptr)
      : stmt_(stmt), inUse_(inUse), slot_(slot) {}
  Statement(Statement&& o) noexcept : stmt_(o.stmt_), inUse_(o.inUse_), slot_(o.slot_) {
    o.stmt_ = nullptr;
  }
  Statement& operator=(Statement&& o) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement();

  sqlite3_stmt* get() const { return stmt_; }
  // Steps once: true for a row, false when done. Raises 3045 when another
  // process holds the file's lock past the busy time-out, 3075 on an error.
  bool step();
  // For a cached statement, a place where a reader may keep what it derived
  // from the statement once (its column set); null for a one-use statement.
  std::shared_ptr<const void>* slot() const { return slot_; }

 private:
  void release();
  sqlite3_stmt* stmt_ = nullptr;
  bool* inUse_ = nullptr;
  std::shared_ptr<const void>* slot_ = nullptr;
};

class SqliteConnection : public std::enable_shared_from_this<SqliteConnection> {
 public:
  // Opens an existing file read-only; never creates or changes it. Waits up
  // to busyTimeoutMs() for a writer's lock, here and in every statement.
  // Returns nullptr with the SQLite message in *error and its extended
  // result code in *code when that fails.
  static std::shared_ptr<SqliteConnection> openReadOnly(const std::string& utf8Path,
                                                        std::string* error, int* code = nullptr);
  // A private in-memory database (the Access reader fills one per file).
  static std::shared_ptr<SqliteConnection> openMemory();

  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  sqlite3* handle() const { return db_; }

  // Prepares sql with its compared literals bound as parameters, reusing the
  // statement of an earlier text of the same shape. Raises 3078 for "no such
  // table" and 3075 for any other rejection, quoting SQLite's message and the SQL.
  Statement prepare(const std::u16string& sql);
  // Like prepare, but reports a rejection through error instead of raising.
  bool tryPrepare(const std::u16string& sql, Statement& out, std::string& error);
  // The statement of a shape that prepare has met before (a text whose
  // literals parameterize to shape and values), with the values bound; false
  // when the shape is new here, is not one of count literals that each text
  // of it gives back as they are (parameterizesAs), or its statement is lent
  // out already.
  bool lendKnownShape(const std::u16string& shape, const std::u16string_view* values, size_t count,
                      Statement& out);
  // Prepares sql once and keeps it for later calls with the same text. A
  // statement still lent out is not lent twice: the caller then gets its own.
  Statement cachedStatement(const std::string& sql);

  // The last SQLite error message of this connection.
  std::string lastError() const;

  // True when the database stores its text as UTF-16 (asked once, when a
  // statement has already been prepared on its schema, so it no longer changes).
  bool textIsUtf16();

  // Called as each statement is handed out: inside a ReadSnapshot, opens this
  // connection's read transaction once and keeps it to the snapshot's end.
  void joinSnapshot();
  // True while this connection reads the thread's snapshot.
  bool inSnapshot() const { return inSnapshot_; }

  // Whether name is a table or a view of the main schema (compared as NOCASE
  // does: ASCII letters case-blind), answered from the schema's names, read
  // once per snapshot for a file and once per change of the schema for an
  // in-memory database. Nothing for a file outside a snapshot, where the
  // schema may change between statements: the caller asks SQLite then.
  std::optional<ObjectKind> knownKind(const std::u16string& name);

  // A place where a caller keeps what it read from the schema under key (an
  // index's definition, say), emptied whenever the schema may have changed:
  // for a file, when its schema version differs (read once per snapshot, the
  // same test by which SQLite keeps its own parsed schema); for an in-memory
  // database, after a change of its schema. Null for a file outside a
  // snapshot, where the schema may change between statements.
  std::shared_ptr<const void>* schemaSlot(const std::string& key);
  // A place where a caller keeps what it read under key within the thread's
  // snapshot (the row a key finds, say): emptied when another snapshot
  // begins over other data (for a file, when another connection has
  // committed since the snapshot before, which PRAGMA data_version tells;
  // for an in-memory database, always). Null outside a snapshot. Holds a
  // bounded number of keys.
  std::shared_ptr<const void>* snapshotSlot(const std::string& key);
  // For a file within a snapshot: true when no other connection committed
  // between the snapshot this connection read before and this one, so both
  // see the same data and schema (PRAGMA data_version, read once per
  // snapshot). False for an in-memory database, outside a snapshot, and for
  // a connection's first snapshot.
  bool dataUnchanged();

 private:
  struct CachedStatement {
    sqlite3_stmt* stmt = nullptr;
    bool inUse = false;
    std::shared_ptr<const void> slot;
    // Where the first values bound to it are held while it is lent out (its
    // bindings are cleared when it is handed back).
    std::array<std::string, 2> narrow;
    std::array<std::u16string, 2> wide;
  };
  explicit SqliteConnection(sqlite3* db, bool memory);
  // The cached statement for sql, prepared on first use; false with error set
  // when SQLite rejects it.
  bool lend(const std::string& sql, Statement& out, std::string& error);
  // Binds values to stmt's parameters 1..count in the database's encoding;
  // held: the cached statement, which then holds the first two values itself.
  void bindTexts(sqlite3_stmt* stmt, const std::u16string_view* values, size_t count,
                 CachedStatement* held = nullptr);
  // Counts the statements prepared on this connection that change its schema.
  static int watchSchema(void* self, int action, const char*, const char*, const char*,
                         const char*);

  sqlite3* db_;
  bool memory_;
  std::unordered_map<std::string, CachedStatement> cache_;
  // The cached statements of parameterised texts by their UTF-16 shape, and
  // the last text taken apart (its storage is reused).
  struct KnownShape {
    CachedStatement* cached;
    int lookupValues;  // parameterizesAs holds for so many values; -1: for none
  };
  std::unordered_map<std::u16string, KnownShape> shapes_;  // only ever grows
  const std::pair<const std::u16string, KnownShape>* lastShape_ = nullptr;
  ParameterizedSql shape_;
  std::string narrow_;  // an ASCII value bound as UTF-8
  bool inSnapshot_ = false;
  std::optional<bool> utf16_;
  // What the schema is known by (see schemaStamp) and what was read under it.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> schemaStamp();
  std::uint64_t versionSnapshot_ = 0;  // the snapshot schemaVersion_ was read in
  std::uint64_t schemaVersion_ = 0;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> slotsReadAt_;
  std::unordered_map<std::string, std::shared_ptr<const void>> slots_;
  std::uint64_t readsSnapshot_ = 0;  // the last snapshot reads_ served
  std::uint64_t dataSnapshot_ = 0;   // the snapshot dataVersion_ was read in
  std::int64_t dataVersion_ = -1;
  bool dataUnchanged_ = false;
  std::unordered_map<std::string, std::shared_ptr<const void>> reads_;
  // knownKind's names (folded) and when they were read: the schema's stamp.
  std::uint64_t schemaChanges_ = 0;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> namesReadAt_;
  std::unordered_map<std::u16string, ObjectKind> names_;
  std::size_t longestName_ = 0;
  friend class SnapshotRegistry;
};

// The number of the snapshot open on this worker (see ReadSnapshot and
// ReadRun in engine.h), or 0 when none is. Each snapshot gets a new number.
std::uint64_t currentSnapshot();

// The page cache of a connection to a file: up to 8 MiB (SQLite's default is 2).
inline constexpr const char* kPageCachePragma = "PRAGMA cache_size = -8192";

// How long a statement waits for another process's lock, in milliseconds:
// DORVANE_BUSY_TIMEOUT_MS when it holds a number of at least 0, else 5000.
inline constexpr int kDefaultBusyTimeoutMs = 5000;
int busyTimeoutMs();

// True for a SQLite result code that says another connection holds a lock.
bool isLockedOut(int rc);
// Raises 3045 "Could not use '<file>'; file already in use." for db's file.
[[noreturn]] void throwFileInUse(sqlite3* db);

// Raises the run-time error for SQL that SQLite rejected with message msg:
// 3078 for a missing table or query, 3075 otherwise.
[[noreturn]] void throwRejected(const std::string& msg, const std::string& sql);

// Quotes a name for SQL text we build ourselves: "name" with inner quotes doubled.
std::u16string quoteName(const std::u16string& name);
std::string quoteName(const std::string& name);

}  // namespace dorvane::db
