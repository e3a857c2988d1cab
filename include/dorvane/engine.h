// The database engine: one process-wide object that opens database files and
// gives recordsets over their tables, stored queries and SQL texts.
//
// Ownership: OpenDatabase and OpenRecordset hand out counted references
// (std::shared_ptr). A recordset keeps its database alive; nothing needs to be
// closed explicitly. Objects are not thread-safe: use each one on one thread.
// Every failing call throws dorvane::RuntimeError.
#pragma once

#include <dorvane/object.h>
#include <dorvane/variant.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace dorvane {

class Recordset : public Object {
 public:
  // True for a table of the database opened by its name (Index and Seek work).
  virtual bool isTableType() const = 0;

  // Makes the named index current for the next Seek. Raises 3251 on a
  // recordset that is not table-type and 3800 when the table has no such index.
  virtual void setIndex(const std::u16string& name) = 0;

  // Seek with a comparison ("=" only) and one key on the current index. The
  // recordset stands on the first row in index order whose first index field
  // equals the key under the index's own comparison, or NoMatch becomes true.
  virtual void Seek(const std::u16string& comparison, const Variant& key) = 0;
  virtual bool NoMatch() const = 0;

  // The current row's value of the named field (names compare case-blind).
  // Raises 3265 for a name the recordset lacks, 3021 with no current row.
  virtual Variant Fields(const std::u16string& name) const = 0;

  // 0 when the recordset holds no record; otherwise a positive count (not
  // necessarily the total, as with the engine this mirrors).
  virtual long RecordCount() const = 0;

  // An object standing for the current row's values as read: as long as a
  // later call gives the same object, the row and its values are the same
  // (what was derived from them may be kept). Null when there is no current
  // row or the recordset makes no such promise.
  virtual std::shared_ptr<const void> rowIdentity() const { return nullptr; }

  virtual void MoveFirst() = 0;  // raises 3021 on an empty recordset
  virtual void MoveNext() = 0;   // raises 3021 when already at EOF
  virtual bool Eof() const = 0;  // true after the last record, and at once when empty
};

class Database : public Object {
 public:
  // A source is a name when the database has a table, view or stored query
  // of that name (case-blind, blanks included, optionally in brackets);
  // anything else is SQL. A table name gives a table-type recordset; a view or
  // stored query name or an SQL text gives a dynaset. Raises 3078 for an
  // unknown single word and 3075 for SQL the engine rejects.
  virtual std::shared_ptr<Recordset> OpenRecordset(const std::u16string& source) = 0;

  // OpenRecordset(sql) for an SQL text whose compared text literals the
  // caller knows: shape is sql with "?" in place of each literal ('...',
  // quotes doubled inside), values the literals' contents in order. Gives
  // exactly what OpenRecordset(sql) gives; a database may run a statement of
  // the shape, kept prepared, with the values bound. The default opens sql.
  struct LiteralShape {
    const std::u16string* shape = nullptr;
    const std::u16string_view* values = nullptr;
    std::size_t count = 0;
  };
  virtual std::shared_ptr<Recordset> OpenLookup(std::u16string sql, const LiteralShape& shape) {
    (void)shape;
    return OpenRecordset(sql);
  }

  // The path the database was opened with.
  virtual const std::u16string& name() const = 0;
};

class Engine {
 public:
  virtual ~Engine() = default;

  // The process-wide engine, created on first use.
  static Engine& instance();

  // Opens the database file at path (relative paths against the current
  // directory), telling formats apart by the file's header. Raises 3024 when
  // the file does not exist and 3049 when it is no database we can read.
  // A path beginning "ODBC;" is a connect string: the database is on a server
  // (3151 when it cannot be reached or refuses the login).
  virtual std::shared_ptr<Database> OpenDatabase(const std::u16string& path) = 0;
};

// While a ReadSnapshot lives on a thread, the statements that thread runs see
// one snapshot per database file: the data as it was at the first statement
// on that file. Statements outside any snapshot each see the data current
// when they start. One placeholder is resolved under one snapshot, which makes
// its reads consistent and spares the file locking of every further statement.
// Within a snapshot, opening a database file again (the same path) gives the
// database opened first, without looking at the file again.
class ReadSnapshot {
 public:
  ReadSnapshot();
  ~ReadSnapshot();
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;
};

// While a ReadRun lives on a thread, a snapshot that ends under it is kept for
// the snapshots that follow, until it has lasted kReadRunSpanMs; the next
// snapshot after that starts afresh, and the run's end ends the one it keeps.
// A run of placeholders thus locks each file and checks its identity once per
// span rather than once per placeholder, and sees data at most one span old,
// while a writer waits for it about one span at most. A pass puts a ReadRun
// around its placeholders (unless an observer, which may do anything between
// two placeholders, listens) and ends it before anything that may wait (a
// detail step, a message box).
inline constexpr int kReadRunSpanMs = 5;
class ReadRun {
 public:
  ReadRun();
  ~ReadRun();
  ReadRun(const ReadRun&) = delete;
  ReadRun& operator=(const ReadRun&) = delete;
};

}  // namespace dorvane
