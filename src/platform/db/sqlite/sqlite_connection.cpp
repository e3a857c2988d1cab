#include "platform/db/sqlite/sqlite_connection.h"

#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/db/sql_literals.h"
#include "platform/db/sqlite/sqlite_recordset.h"
#include "platform/text/utf.h"
#include "platform/worker_state.h"

namespace dorvane::db {

namespace {
// Shapes of SQL texts kept prepared per connection; past this, texts are
// prepared for one use.
constexpr size_t kMaxCachedStatements = 512;
}  // namespace

Statement& Statement::operator=(Statement&& o) noexcept {
  if (this != &o) {
    release();
    stmt_ = o.stmt_;
    inUse_ = o.inUse_;
    slot_ = o.slot_;
    o.stmt_ = nullptr;
  }
  return *this;
}

Statement::~Statement() { release(); }

void Statement::release() {
  if (!stmt_) return;
  if (!inUse_) {
    sqlite3_finalize(stmt_);
  } else {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    *inUse_ = false;
  }
  stmt_ = nullptr;
}

bool Statement::step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3* db = sqlite3_db_handle(stmt_);
  if (isLockedOut(rc)) throwFileInUse(db);
  throw RuntimeError(err::kSyntaxError, std::string("The database engine failed to run the SQL (") +
                                            sqlite3_errmsg(db) + "): " + sqlite3_sql(stmt_));
}

int busyTimeoutMs() {
  if (const char* v = std::getenv("DORVANE_BUSY_TIMEOUT_MS")) {
    char* end = nullptr;
    errno = 0;
    long n = std::strtol(v, &end, 10);
    if (errno == 0 && end != v && *end == '\0' && n >= 0 && n <= INT_MAX) {
      return static_cast<int>(n);
    }
  }
  return kDefaultBusyTimeoutMs;
}

bool isLockedOut(int rc) { return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED; }

void throwFileInUse(sqlite3* db) {
  const char* file = sqlite3_db_filename(db, "main");
  throw RuntimeError(err::kFileInUse, std::string("Could not use '") + (file ? file : "") +
                                          "'; file already in use.");
}

namespace {

// Before SQLite's first use in the process: no memory statistics, which
// would take one process-wide lock for every allocation of every connection
// (the service's workers merge side by side). Nothing here reads them.
void configureSqlite() {
  static const bool configured = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)configured;
}

}  // namespace

std::shared_ptr<SqliteConnection> SqliteConnection::openReadOnly(const std::string& utf8Path,
                                                                 std::string* error, int* code) {
  configureSqlite();
  sqlite3* db = nullptr;
  int rc =
      sqlite3_open_v2(utf8Path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  if (db) sqlite3_extended_result_codes(db, 1);
  if (rc == SQLITE_OK) {
    // A writer's lock is waited for, as Access waits for a locked page.
    sqlite3_busy_timeout(db, busyTimeoutMs());
    // The connection lives as long as the process and reads the same tables
    // again and again: keep their pages rather than read them from the file
    // for every lookup (the cache grows only as pages are read).
    sqlite3_exec(db, kPageCachePragma, nullptr, nullptr, nullptr);
    // Opening is lazy: read the schema now so a damaged or locked file fails here.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    if (error) *error = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (code) *code = db ? sqlite3_extended_errcode(db) : rc;
    sqlite3_close(db);
    return nullptr;
  }
  return std::shared_ptr<SqliteConnection>(new SqliteConnection(db, false));
}

std::shared_ptr<SqliteConnection> SqliteConnection::openMemory() {
  configureSqlite();
  sqlite3* db = nullptr;
  sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                  nullptr);
  return std::shared_ptr<SqliteConnection>(new SqliteConnection(db, true));
}

SqliteConnection::SqliteConnection(sqlite3* db, bool memory) : db_(db), memory_(memory) {
  sqlite3_set_authorizer(db_, &SqliteConnection::watchSchema, this);
}

int SqliteConnection::watchSchema(void* self, int action, const char*, const char*, const char*,
                                  const char*) {
  // CREATE and DROP of tables, views, indexes and triggers; ATTACH, DETACH,
  // ALTER TABLE; virtual tables. Counted when prepared, which may be early
  // or twice: the count only ever makes the names be read once more.
  if ((action >= SQLITE_CREATE_INDEX && action <= SQLITE_DROP_VIEW) || action == SQLITE_ATTACH ||
      action == SQLITE_DETACH || action == SQLITE_ALTER_TABLE || action == SQLITE_CREATE_VTABLE ||
      action == SQLITE_DROP_VTABLE)
    ++static_cast<SqliteConnection*>(self)->schemaChanges_;
  return SQLITE_OK;
}

SqliteConnection::~SqliteConnection() {
  for (auto& [sql, cached] : cache_) sqlite3_finalize(cached.stmt);
  sqlite3_close(db_);
}

std::string SqliteConnection::lastError() const { return sqlite3_errmsg(db_); }

bool SqliteConnection::textIsUtf16() {
  if (!utf16_) {
    Statement stmt = cachedStatement("PRAGMA encoding");
    const unsigned char* e = stmt.step() ? sqlite3_column_text(stmt.get(), 0) : nullptr;
    utf16_ = e && std::string_view(reinterpret_cast<const char*>(e)).rfind("UTF-16", 0) == 0;
  }
  return *utf16_;
}

// The snapshot open on this worker (platform/worker_state.h) and the
// connections that joined it.
class SnapshotRegistry {
 public:
  static SnapshotRegistry& current() {
    static platform::WorkerLocal<SnapshotRegistry> registries;
    return *registries;
  }
  int depth = 0;         // ReadSnapshots alive
  int runs = 0;          // ReadRuns alive
  std::uint64_t id = 0;  // the open snapshot's number; 0: none is open
  std::uint64_t lastId = 0;
  std::chrono::steady_clock::time_point started;
  std::vector<std::shared_ptr<SqliteConnection>> joined;

  void begin() {
    if (id != 0) return;
    id = ++lastId;
    started = std::chrono::steady_clock::now();
  }
  bool expired() const {
    return std::chrono::steady_clock::now() - started >= std::chrono::milliseconds(kReadRunSpanMs);
  }
  void end() {
    if (id == 0) return;
    id = 0;
    suspendDynasetReads();  // a statement left running would keep its lock
    for (auto& c : joined) {
      // A read transaction has nothing to lose: end it whatever state it is in.
      sqlite3_exec(c->db_, "COMMIT", nullptr, nullptr, nullptr);
      if (!sqlite3_get_autocommit(c->db_))
        sqlite3_exec(c->db_, "ROLLBACK", nullptr, nullptr, nullptr);
      c->inSnapshot_ = false;
      // What an in-memory database's snapshot read goes with it; a file's
      // stays for the next snapshot, which keeps it if the data are the same.
      if (c->memory_) c->reads_.clear();
    }
    joined.clear();
  }
};

std::uint64_t currentSnapshot() { return SnapshotRegistry::current().id; }

void SqliteConnection::joinSnapshot() {
  if (inSnapshot_) return;
  auto& registry = SnapshotRegistry::current();
  if (registry.id == 0 || !sqlite3_get_autocommit(db_)) return;
  if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) return;
  inSnapshot_ = true;
  registry.joined.push_back(shared_from_this());
}

namespace {
// The name as SQLite's NOCASE compares it: ASCII letters in lower case.
std::u16string foldAscii(const std::u16string& name) {
  std::u16string folded = name;
  for (auto& c : folded)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  return folded;
}
}  // namespace

// For a file, its schema version as the thread's snapshot sees it (read once
// per snapshot); for an in-memory database, 0. With the count of the schema
// changes made through this connection. Nothing for a file outside a snapshot.
std::optional<std::pair<std::uint64_t, std::uint64_t>> SqliteConnection::schemaStamp() {
  joinSnapshot();
  if (memory_) return std::pair<std::uint64_t, std::uint64_t>{0, schemaChanges_};
  if (!inSnapshot_) return std::nullopt;
  const std::uint64_t snapshot = currentSnapshot();
  if (versionSnapshot_ != snapshot) {
    if (versionSnapshot_ == 0 || !dataUnchanged()) {
      Statement stmt = cachedStatement("PRAGMA schema_version");
      if (!stmt.step()) return std::nullopt;
      schemaVersion_ = static_cast<std::uint64_t>(sqlite3_column_int64(stmt.get(), 0));
    }
    versionSnapshot_ = snapshot;
  }
  return std::pair<std::uint64_t, std::uint64_t>{schemaVersion_, schemaChanges_};
}

std::shared_ptr<const void>* SqliteConnection::schemaSlot(const std::string& key) {
  const auto stamp = schemaStamp();
  if (!stamp) return nullptr;
  if (slotsReadAt_ != stamp) {
    slots_.clear();
    slotsReadAt_ = stamp;
  }
  return &slots_[key];
}

std::shared_ptr<const void>* SqliteConnection::snapshotSlot(const std::string& key) {
  constexpr std::size_t kMaxReads = 4096;
  joinSnapshot();
  if (!inSnapshot_) return nullptr;
  const std::uint64_t snapshot = currentSnapshot();
  if (readsSnapshot_ != snapshot) {
    if (memory_ || !dataUnchanged()) reads_.clear();
    readsSnapshot_ = snapshot;
  }
  if (reads_.size() >= kMaxReads) reads_.clear();
  return &reads_[key];
}

bool SqliteConnection::dataUnchanged() {
  if (memory_ || !inSnapshot_) return false;
  const std::uint64_t snapshot = currentSnapshot();
  if (dataSnapshot_ != snapshot) {
    // Read in the snapshot's own read transaction: the version of the data
    // it sees.
    Statement stmt = cachedStatement("PRAGMA data_version");
    const bool read = stmt.step();
    const auto version = read ? sqlite3_column_int64(stmt.get(), 0) : 0;
    dataUnchanged_ = read && dataSnapshot_ != 0 && version == dataVersion_;
    dataVersion_ = read ? version : -1;
    dataSnapshot_ = read ? snapshot : 0;
  }
  return dataUnchanged_;
}

std::optional<ObjectKind> SqliteConnection::knownKind(const std::u16string& name) {
  const auto now = schemaStamp();
  if (!now) return std::nullopt;
  if (namesReadAt_ != now) {
    names_.clear();
    longestName_ = 0;
    Statement stmt =
        cachedStatement("SELECT type, name FROM sqlite_master WHERE type IN ('table', 'view')");
    while (stmt.step()) {
      const char* type = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
      const auto* text = static_cast<const char16_t*>(sqlite3_column_text16(stmt.get(), 1));
      std::u16string folded =
          foldAscii(std::u16string(text ? text : u"", sqlite3_column_bytes16(stmt.get(), 1) / 2));
      longestName_ = std::max(longestName_, folded.size());
      names_.emplace(std::move(folded), std::string_view(type ? type : "") == "table"
                                            ? ObjectKind::Table
                                            : ObjectKind::View);
    }
    namesReadAt_ = now;
  }
  if (name.size() > longestName_) return ObjectKind::None;  // an SQL text, mostly
  auto it = names_.find(foldAscii(name));
  return it == names_.end() ? ObjectKind::None : it->second;
}

void throwRejected(const std::string& msg, const std::string& sql) {
  int number = msg.rfind("no such table", 0) == 0 ? err::kNoSuchTableOrQuery : err::kSyntaxError;
  throw RuntimeError(number, "The database engine rejected the SQL (" + msg + "): " + sql);
}

bool SqliteConnection::tryPrepare(const std::u16string& sql, Statement& out, std::string& error) {
  joinSnapshot();
  if (parameterizeLiterals(sql, shape_)) {
    // A shape seen before is found as it is; a new one is prepared by its
    // UTF-8 text like every cached statement, and remembered.
    auto known = shapes_.find(shape_.text);
    if (known != shapes_.end() && !known->second.cached->inUse) {
      CachedStatement& c = *known->second.cached;
      c.inUse = true;
      out = Statement(c.stmt, &c.inUse, &c.slot);
    } else if (cache_.size() < kMaxCachedStatements) {
      std::string utf8 = text::toUtf8(shape_.text);
      if (lend(utf8, out, error) && known == shapes_.end()) {
        auto cached = cache_.find(utf8);
        if (cached != cache_.end() && cached->second.stmt == out.get())
          shapes_.emplace(shape_.text, KnownShape{&cached->second,
                                                  parameterizesAs(shape_.text, shape_.values.size())
                                                      ? static_cast<int>(shape_.values.size())
                                                      : -1});
      }
    }
    // A shape SQLite rejects falls through, so the error quotes the text itself.
    if (out.get() &&
        sqlite3_bind_parameter_count(out.get()) == static_cast<int>(shape_.values.size())) {
      std::u16string_view values[8];
      if (shape_.values.size() <= std::size(values)) {
        for (size_t i = 0; i < shape_.values.size(); ++i) values[i] = shape_.values[i];
        bindTexts(out.get(), values, shape_.values.size());
      } else {
        for (size_t i = 0; i < shape_.values.size(); ++i) {
          const auto& v = shape_.values[i];
          sqlite3_bind_text16(out.get(), static_cast<int>(i + 1), v.data(),
                              static_cast<int>(v.size() * 2), SQLITE_TRANSIENT);
        }
      }
      return true;
    }
    out = Statement();  // rejected, or "?" of its own: prepare the text as it stands
  }
  sqlite3_stmt* stmt = nullptr;
  int rc = sqlite3_prepare16_v2(db_, sql.data(), static_cast<int>(sql.size() * 2), &stmt, nullptr);
  if (isLockedOut(rc)) throwFileInUse(db_);
  if (rc != SQLITE_OK) {
    error = sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return false;
  }
  if (!stmt) {
    error = "the SQL text holds no statement";
    return false;
  }
  out = Statement(stmt);
  return true;
}

void SqliteConnection::bindTexts(sqlite3_stmt* stmt, const std::u16string_view* values,
                                 size_t count, CachedStatement* held) {
  const bool utf16 = textIsUtf16();
  for (size_t i = 0; i < count; ++i) {
    const std::u16string_view v = values[i];
    const int index = static_cast<int>(i + 1);
    const bool hold = held && i < held->narrow.size();
    // A value in the database's own encoding is compared as it is; an ASCII
    // one is the same in UTF-8, anything else SQLite converts itself, as it
    // converts the text of a statement.
    bool ascii = !utf16;
    for (size_t k = 0; ascii && k < v.size(); ++k) ascii = v[k] < 0x80;
    if (ascii) {
      std::string& narrow = hold ? held->narrow[i] : narrow_;
      narrow.assign(v.begin(), v.end());
      sqlite3_bind_text(stmt, index, narrow.data(), static_cast<int>(narrow.size()),
                        hold ? SQLITE_STATIC : SQLITE_TRANSIENT);
    } else if (hold) {
      held->wide[i].assign(v);
      sqlite3_bind_text16(stmt, index, held->wide[i].data(), static_cast<int>(v.size() * 2),
                          SQLITE_STATIC);
    } else {
      sqlite3_bind_text16(stmt, index, v.data(), static_cast<int>(v.size() * 2), SQLITE_TRANSIENT);
    }
  }
}

bool SqliteConnection::lendKnownShape(const std::u16string& shape,
                                      const std::u16string_view* values, size_t count,
                                      Statement& out) {
  // A run of lookups mostly asks for the shape it asked for last.
  if (!lastShape_ || lastShape_->first != shape) {
    auto known = shapes_.find(shape);
    if (known == shapes_.end()) return false;
    lastShape_ = &*known;
  }
  const KnownShape& known = lastShape_->second;
  if (known.lookupValues != static_cast<int>(count) || known.cached->inUse) return false;
  CachedStatement& c = *known.cached;
  if (sqlite3_bind_parameter_count(c.stmt) != static_cast<int>(count)) return false;
  joinSnapshot();
  c.inUse = true;
  out = Statement(c.stmt, &c.inUse, &c.slot);
  bindTexts(out.get(), values, count, &c);
  return true;
}

Statement SqliteConnection::prepare(const std::u16string& sql) {
  Statement stmt;
  std::string error;
  if (!tryPrepare(sql, stmt, error)) throwRejected(error, text::toUtf8(sql));
  return stmt;
}

bool SqliteConnection::lend(const std::string& sql, Statement& out, std::string& error) {
  joinSnapshot();
  auto it = cache_.find(sql);
  if (it == cache_.end() || it->second.inUse) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (isLockedOut(rc)) throwFileInUse(db_);
    if (rc != SQLITE_OK || !stmt) {
      error = rc != SQLITE_OK ? sqlite3_errmsg(db_) : "the SQL text holds no statement";
      sqlite3_finalize(stmt);
      return false;
    }
    if (it != cache_.end()) {  // lent out already: this caller gets its own
      out = Statement(stmt);
      return true;
    }
    CachedStatement fresh;
    fresh.stmt = stmt;
    it = cache_.emplace(sql, std::move(fresh)).first;
  }
  it->second.inUse = true;
  out = Statement(it->second.stmt, &it->second.inUse, &it->second.slot);
  return true;
}

Statement SqliteConnection::cachedStatement(const std::string& sql) {
  Statement out;
  std::string error;
  if (!lend(sql, out, error)) throwRejected(error, sql);
  return out;
}

namespace {
template <class String>
String quoted(const String& name) {
  String q(1, '"');
  for (auto c : name) {
    if (c == '"') q.push_back('"');
    q.push_back(c);
  }
  q.push_back('"');
  return q;
}
}  // namespace

std::u16string quoteName(const std::u16string& name) { return quoted(name); }

std::string quoteName(const std::string& name) { return quoted(name); }

}  // namespace dorvane::db

namespace dorvane {

ReadSnapshot::ReadSnapshot() {
  auto& registry = db::SnapshotRegistry::current();
  if (registry.depth++ == 0) {
    // A snapshot a run kept is taken up again while it is young enough.
    if (registry.id != 0 && registry.expired()) registry.end();
    registry.begin();
  }
}

ReadSnapshot::~ReadSnapshot() {
  auto& registry = db::SnapshotRegistry::current();
  if (--registry.depth == 0 && (registry.runs == 0 || registry.expired())) registry.end();
}

ReadRun::ReadRun() { ++db::SnapshotRegistry::current().runs; }

ReadRun::~ReadRun() {
  auto& registry = db::SnapshotRegistry::current();
  if (--registry.runs == 0 && registry.depth == 0) registry.end();
}

}  // namespace dorvane
