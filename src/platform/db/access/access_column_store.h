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
#include <cstring>
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
  // One value. A short text or blob lies in the cell itself, so that a
  // row's values share its cache lines.
  class Cell {
   public:
    Kind kind() const { return static_cast<Kind>(tail_ & 7u); }
    std::uint32_t size() const { return tail_ >> 3; }  // Text, Blob: bytes
    std::int64_t integer() const { return load<std::int64_t>(); }
    double real() const { return load<double>(); }

   private:
    friend class ColumnStore;
    static constexpr std::uint32_t kInline = 12;
    static constexpr std::uint32_t kMaxSize = (1u << 29) - 1;
    template <typename T>
    T load() const {
      T v;
      std::memcpy(&v, data_, sizeof v);
      return v;
    }
    template <typename T>
    void put(T v) {
      std::memcpy(data_, &v, sizeof v);
    }
    // Integer, Real: the value; Text, Blob: the bytes up to kInline, else
    // chunk << 32 | offset of where they lie.
    unsigned char data_[kInline] = {};
    std::uint32_t tail_ = 0;  // size << 3 | kind
  };

  // A store for rows of def's columns: their declared types give the affinities.
  explicit ColumnStore(const AccessTableDef& def);
  ColumnStore(const ColumnStore&) = delete;
  ColumnStore& operator=(const ColumnStore&) = delete;

  // Appends a row (one value per column). Raises 3049 when the table holds
  // more than the store can address (4 G rows, a value of 512 MB).
  void append(const std::vector<JetValue>& row);

  std::size_t rows() const { return rows_; }
  std::size_t columns() const { return affinities_.size(); }
  Affinity affinity(std::size_t column) const { return affinities_[column]; }
  const Cell& cell(std::size_t row, std::size_t column) const {
    return blocks_[row / kBlockRows][(row % kBlockRows) * columns() + column];
  }
  // Asks the processor to fetch row's values ahead of their reading, so that
  // the rows a lookup finds are fetched together rather than one by one.
  void prefetch(std::size_t row) const {
    const Cell* first = &cell(row, 0);
    const Cell* last = first + columns() - 1;
    for (auto* p = reinterpret_cast<const char*>(first); p <= reinterpret_cast<const char*>(last);
         p += 64)
      __builtin_prefetch(p);
    __builtin_prefetch(last);
  }
  // The bytes of a text or blob cell of the store (not of a copy).
  std::string_view bytes(const Cell& c) const {
    if (c.size() <= Cell::kInline)
      return std::string_view(reinterpret_cast<const char*>(c.data_), c.size());
    const auto at = c.load<std::uint64_t>();
    return std::string_view(chunks_[at >> 32].bytes.get() + (at & 0xFFFFFFFFu), c.size());
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
  // Rows are kept in blocks and text in chunks, so that the store grows
  // without moving what it holds.
  static constexpr std::size_t kBlockRows = 1024;
  static constexpr std::size_t kChunkBytes = 256 * 1024;
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0, used = 0;
  };
  struct Lookup {
    bool built = false;
    // Text columns: the texts' hashes grouped by their leading bits (bucket
    // b holds entries start[b] .. start[b + 1] - 1), rows ascending in each.
    struct Hashed {
      std::uint64_t hash;
      std::uint32_t row;
    };
    int bits = 0;
    std::vector<std::uint32_t> start;
    std::vector<Hashed> hashes;
    // Other columns: the numbers in order, and the rows holding text.
    std::vector<std::pair<double, std::uint32_t>> numbers;
    std::vector<std::uint32_t> texts;
  };
  const Lookup& lookup(std::size_t column) const;
  Cell store(const JetValue& v, Affinity affinity);
  Cell text(std::string_view utf8, Kind kind);

  std::vector<Affinity> affinities_;
  std::vector<std::unique_ptr<Cell[]>> blocks_;
  std::vector<Chunk> chunks_;
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
