// A table of an Access file held in memory in the form the engine's SQL sees
// it, and the lookups that find a value in one of its columns.
//
// Each value is kept as SQLite would have stored it in a table declared with
// the column's declared type (access_values.h): the column's affinity is
// applied as SQLite applies it on INSERT, so a statement reads the same
// values and types as from a copy of the table in SQLite. Text and blobs
// are kept as UTF-8 and bytes in one arena.
//
// A lookup on a column is built the first time a statement compares it: a
// hash of each text under the Jet collation, or the numbers in order. It
// gives candidate rows, which the caller checks by the comparison itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// SQLite's column affinities, found from a declared type by SQLite's rules.
enum class Affinity : std::uint8_t { Blob, Text, Numeric, Integer, Real };
Affinity affinityOf(std::string_view declaredType);

class ColumnStore {
 public:
  enum class Kind : std::uint8_t { Null, Integer, Real, Text, Blob };
  struct Cell {
    // Integer: the value; Real: its bits; Text, Blob: the offset in the arena.
    std::int64_t value = 0;
    std::uint32_t size = 0;  // Text, Blob: bytes
    Kind kind = Kind::Null;
  };

  // A store for rows of def's columns: their declared types give the affinities.
  explicit ColumnStore(const AccessTableDef& def);
  ColumnStore(const ColumnStore&) = delete;
  ColumnStore& operator=(const ColumnStore&) = delete;

  // Appends a row (one value per column). Raises 3049 when the table holds
  // more than the store can address (4 G rows or 2^62 bytes of text).
  void append(const std::vector<JetValue>& row);

  std::size_t rows() const { return rows_; }
  std::size_t columns() const { return affinities_.size(); }
  Affinity affinity(std::size_t column) const { return affinities_[column]; }
  const Cell& cell(std::size_t row, std::size_t column) const {
    return cells_[row * columns() + column];
  }
  double real(const Cell& c) const;
  std::string_view bytes(const Cell& c) const {
    return std::string_view(arena_).substr(static_cast<std::size_t>(c.value), c.size);
  }

  // The rows, in ascending order, of column that may hold a text equal to
  // utf8 under the Jet collation, BINARY or NOCASE (they imply it).
  // Appended to out. Only for a column of text affinity.
  void textCandidates(std::size_t column, std::string_view utf8,
                      std::vector<std::uint32_t>& out) const;
  // The rows, in ascending order, of column that may hold a value equal to
  // the number x, and every row holding text (which a text compared with it
  // may equal). Appended to out. Only for a column of another affinity.
  void numberCandidates(std::size_t column, double x, std::vector<std::uint32_t>& out) const;

 private:
  struct Lookup {
    bool built = false;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> hashes;  // text columns
    std::vector<std::pair<double, std::uint32_t>> numbers;        // others
    std::vector<std::uint32_t> texts;                              // others: rows holding text
  };
  const Lookup& lookup(std::size_t column) const;
  Cell store(const JetValue& v, Affinity affinity);
  Cell text(std::string_view utf8, Kind kind);

  std::vector<Affinity> affinities_;
  std::vector<Cell> cells_;
  std::string arena_;
  std::size_t rows_ = 0;
  std::string scratch_;
  mutable std::vector<Lookup> lookups_;
};

// Receives a table from the reader into a new store.
class ColumnStoreSink : public TableSink {
 public:
  void begin(const AccessTableDef& def) override;
  void row(const std::vector<JetValue>& row) override;

  // The definition and the store; nullptr when begin was never called.
  const AccessTableDef& definition() const { return definition_; }
  std::shared_ptr<ColumnStore> take() { return std::move(store_); }

 private:
  AccessTableDef definition_;
  std::shared_ptr<ColumnStore> store_;
};

}  // namespace dorvane::db
