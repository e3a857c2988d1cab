// A table of an Access file held in memory in the form the engine's SQL sees
// it, and the lookups that find a value in one of its columns.
//
// Each value is kept as SQLite would have stored it in a table declared with
// the column's declared type (access_values.h): the column's affinity is
// applied as SQLite applies it on INSERT, so a statement reads the same
// values and types as from a copy of the table in SQLite. A row is kept as
// one record, its values one after the other (a tag byte, then the bytes the
// value needs), so that reading a row touches one or two cache lines.
//
// A lookup on a column is built the first time a statement compares it: a
// hash of each text under the Jet collation, or the numbers in order. It
// gives candidate rows, which the caller checks by the comparison itself.
// Since lookups are built on first use, a store serves one thread at a time
// (each worker's connection has stores of its own).
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
  // One value as read from a row: bytes point into the store.
  struct Value {
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes;  // Text (UTF-8), Blob
  };

  // A store for rows of def's columns: their declared types give the affinities.
  explicit ColumnStore(const AccessTableDef& def);
  ColumnStore(const ColumnStore&) = delete;
  ColumnStore& operator=(const ColumnStore&) = delete;

  // Appends a row (one value per column). Raises 3049 when the table holds
  // more than the store can address (4 G rows, a value of 4 GB).
  void append(const std::vector<JetValue>& row);

  std::size_t rows() const { return rows_.size(); }
  std::size_t columns() const { return affinities_.size(); }
  Affinity affinity(std::size_t column) const { return affinities_[column]; }

  // The values of row, every column's in order, into out.
  void read(std::size_t row, std::vector<Value>& out) const;
  // The value of one column of row.
  Value value(std::size_t row, std::size_t column) const;
  // Asks the processor to fetch row ahead of its reading, so that the rows a
  // lookup finds are fetched together rather than one by one.
  void prefetch(std::size_t row) const {
    __builtin_prefetch(rows_[row]);
    __builtin_prefetch(rows_[row] + 63);
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
  static constexpr std::size_t kChunkBytes = 256 * 1024;
  struct Lookup {
    bool built = false;
    // Text columns: the texts' hashes grouped by their leading bits (bucket
    // b holds entries start[b] .. start[b + 1] - 1), rows ascending in each,
    // each with its hash's low bits.
    struct Hashed {
      std::uint32_t low, row;
    };
    int bits = 0;
    std::vector<std::uint32_t> start;
    std::vector<Hashed> hashes;
    // Other columns: the numbers in order, and the rows holding text.
    std::vector<std::pair<double, std::uint32_t>> numbers;
    std::vector<std::uint32_t> texts;
  };
  const Lookup& lookup(std::size_t column) const;
  // Encodes v, with the column's affinity applied, at record_'s end
  // (recordSize_ bytes of it are the row's so far).
  void encode(const JetValue& v, Affinity affinity);
  void encode(Kind kind, std::int64_t i, double d, std::string_view bytes);

  std::vector<Affinity> affinities_;
  std::vector<const unsigned char*> rows_;  // where each row's record starts
  std::vector<std::unique_ptr<unsigned char[]>> chunks_;
  std::size_t chunkSize_ = 0, chunkUsed_ = 0;
  std::string record_, scratch_;
  std::size_t recordSize_ = 0;
  mutable std::vector<Lookup> lookups_;
};

// Receives a table from the reader into a new store.
class ColumnStoreSink : public TableSink {
 public:
  void begin(const AccessTableDef& def) override;
  void row(const std::vector<JetValue>& row) override;

  const AccessTableDef& definition() const { return definition_; }
  // The store; nullptr when begin was never called.
  std::shared_ptr<ColumnStore> take() { return std::move(store_); }

 private:
  AccessTableDef definition_;
  std::shared_ptr<ColumnStore> store_;
};

}  // namespace dorvane::db
