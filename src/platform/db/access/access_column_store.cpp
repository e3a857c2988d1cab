#include "platform/db/access/access_column_store.h"

#include <dorvane/runtime_error.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/db/access/access_values.h"
#include "platform/db/access/jet_collation.h"
#include "platform/db/sqlite/sqlite_values.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
constexpr double kExactCurrencyLimit = 1e15;  // scaled values below this survive a double

bool contains(const std::string& upper, const char* word) {
  return upper.find(word) != std::string::npos;
}

// The integer a real value is when SQLite's numeric affinity would make it
// one (sqlite3VdbeIntegerAffinity: integral, and strictly inside the range
// of 64-bit integers).
bool integral(double r, std::int64_t& out) {
  if (!(r > -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  const auto i = static_cast<std::int64_t>(r);
  if (static_cast<double>(i) != r || i == std::numeric_limits<std::int64_t>::min() ||
      i == std::numeric_limits<std::int64_t>::max())
    return false;
  out = i;
  return true;
}
}  // namespace

Affinity affinityOf(std::string_view declaredType) {
  // The rules of SQLite's "Determination Of Column Affinity", in their order.
  std::string t(declaredType);
  for (auto& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (contains(t, "INT")) return Affinity::Integer;
  if (contains(t, "CHAR") || contains(t, "CLOB") || contains(t, "TEXT")) return Affinity::Text;
  if (contains(t, "BLOB") || t.empty()) return Affinity::Blob;
  if (contains(t, "REAL") || contains(t, "FLOA") || contains(t, "DOUB")) return Affinity::Real;
  return Affinity::Numeric;
}

ColumnStore::ColumnStore(const AccessTableDef& def) {
  for (const AccessColumn& c : def.columns) affinities_.push_back(affinityOf(declaredType(c)));
  lookups_.resize(affinities_.size());
}

// A record: per value a tag byte, its kind in the low 3 bits and above
// them: for an integer, the code of its width (1, 2, 4 or 8 bytes, which
// follow); for a text or blob, its length up to 30, or 31 and a 4-byte
// length; then the bytes. A real is followed by its 8 bytes.
namespace {
constexpr unsigned kLongLength = 31;

template <typename T>
T load(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

ColumnStore::Value decode(const unsigned char*& p) {
  using Kind = ColumnStore::Kind;
  ColumnStore::Value v;
  const unsigned tag = *p++;
  v.kind = static_cast<Kind>(tag & 7u);
  const unsigned extra = tag >> 3;
  switch (v.kind) {
    case Kind::Null:
      break;
    case Kind::Integer:
      switch (extra) {
        case 0:
          v.integer = load<std::int8_t>(p);
          break;
        case 1:
          v.integer = load<std::int16_t>(p);
          break;
        case 2:
          v.integer = load<std::int32_t>(p);
          break;
        default:
          v.integer = load<std::int64_t>(p);
          break;
      }
      p += std::size_t{1} << extra;
      break;
    case Kind::Real:
      v.real = load<double>(p);
      p += 8;
      break;
    case Kind::Text:
    case Kind::Blob: {
      std::size_t n = extra;
      if (extra == kLongLength) {
        n = load<std::uint32_t>(p);
        p += 4;
      }
      v.bytes = std::string_view(reinterpret_cast<const char*>(p), n);
      p += n;
      break;
    }
  }
  return v;
}
}  // namespace

void ColumnStore::encode(Kind kind, std::int64_t i, double d, std::string_view bytes) {
  // At most a tag, a 4-byte length and the bytes, or a tag and 8 bytes.
  const std::size_t most = 5 + std::max<std::size_t>(bytes.size(), 4);
  if (record_.size() < recordSize_ + most) record_.resize(2 * (recordSize_ + most));
  auto put = [this](const void* p, std::size_t n) {
    std::memcpy(&record_[recordSize_], p, n);
    recordSize_ += n;
  };
  auto tag = [this, kind](unsigned extra) {
    record_[recordSize_++] = static_cast<char>(static_cast<unsigned>(kind) | extra << 3);
  };
  switch (kind) {
    case Kind::Null:
      tag(0);
      return;
    case Kind::Integer:
      if (i == static_cast<std::int8_t>(i)) {
        tag(0);
        const auto v = static_cast<std::int8_t>(i);
        put(&v, 1);
      } else if (i == static_cast<std::int16_t>(i)) {
        tag(1);
        const auto v = static_cast<std::int16_t>(i);
        put(&v, 2);
      } else if (i == static_cast<std::int32_t>(i)) {
        tag(2);
        const auto v = static_cast<std::int32_t>(i);
        put(&v, 4);
      } else {
        tag(3);
        put(&i, 8);
      }
      return;
    case Kind::Real:
      tag(0);
      put(&d, 8);
      return;
    case Kind::Text:
    case Kind::Blob:
      if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        throw RuntimeError(err::kCannotOpenDatabase, "A value is too large for the engine's copy.");
      if (bytes.size() < kLongLength) {
        tag(static_cast<unsigned>(bytes.size()));
      } else {
        tag(kLongLength);
        const auto n = static_cast<std::uint32_t>(bytes.size());
        put(&n, 4);
      }
      if (!bytes.empty()) put(bytes.data(), bytes.size());
      return;
  }
}

void ColumnStore::encode(const JetValue& v, Affinity affinity) {
  // First the value as it is bound (Currency and Decimal as numbers when a
  // double holds them exactly, else as their exact text) ...
  Kind kind = Kind::Null;
  std::int64_t i = 0;
  double d = 0;
  switch (v.kind) {
    case JetValue::Kind::Null:
      break;
    case JetValue::Kind::Integer:
      kind = Kind::Integer;
      i = v.i;
      break;
    case JetValue::Kind::Real:
      kind = Kind::Real;
      d = v.d;
      break;
    case JetValue::Kind::Currency:
      if (std::fabs(static_cast<double>(v.i)) < kExactCurrencyLimit) {
        kind = Kind::Real;
        d = static_cast<double>(v.i) / 10000.0;
      } else {
        kind = Kind::Text;
        scratch_ = currencyText(v.i);
      }
      break;
    case JetValue::Kind::Text:
      kind = Kind::Text;
      text::toUtf8(v.text, scratch_);
      break;
    case JetValue::Kind::Blob:
      return encode(
          Kind::Blob, 0, 0,
          std::string_view(reinterpret_cast<const char*>(v.bytes.data()), v.bytes.size()));
    case JetValue::Kind::Decimal: {
      text::toUtf8(v.text, scratch_);
      d = std::strtod(scratch_.c_str(), nullptr);
      kind = exactDecimalText(d) == scratch_ ? Kind::Real : Kind::Text;
      break;
    }
  }
  // ... then the column's affinity, as SQLite applies it when it stores a
  // value. The reader gives text only for columns of text or blob affinity,
  // so text never needs the numeric affinity's conversion.
  switch (affinity) {
    case Affinity::Blob:
      break;
    case Affinity::Text:
      if (kind == Kind::Integer) {
        scratch_ = std::to_string(i);
        kind = Kind::Text;
      } else if (kind == Kind::Real) {
        char buf[40];
        sqlite3_snprintf(sizeof buf, buf, "%!.15g", d);
        scratch_ = buf;
        kind = Kind::Text;
      }
      break;
    case Affinity::Numeric:
    case Affinity::Integer:
      if (kind == Kind::Real && integral(d, i)) kind = Kind::Integer;
      break;
    case Affinity::Real:
      if (kind == Kind::Integer) {
        kind = Kind::Real;
        d = static_cast<double>(i);
      }
      break;
  }
  encode(kind, i, d, kind == Kind::Text ? std::string_view(scratch_) : std::string_view());
}

void ColumnStore::append(const std::vector<JetValue>& row) {
  if (columns() == 0) return;  // a table without columns shows no rows
  if (rows_.size() >= std::numeric_limits<std::uint32_t>::max())
    throw RuntimeError(err::kCannotOpenDatabase, "A table has too many rows for the engine.");
  recordSize_ = 0;
  for (std::size_t i = 0; i < columns(); ++i) encode(row[i], affinities_[i]);
  // Records are never moved: a new chunk when the last has no room.
  if (chunks_.empty() || chunkSize_ - chunkUsed_ < recordSize_) {
    chunkSize_ = std::max(kChunkBytes, recordSize_);
    chunks_.emplace_back(new unsigned char[chunkSize_]);
    chunkUsed_ = 0;
  }
  unsigned char* at = chunks_.back().get() + chunkUsed_;
  std::memcpy(at, record_.data(), recordSize_);
  chunkUsed_ += recordSize_;
  rows_.push_back(at);
}

void ColumnStore::read(std::size_t row, std::vector<Value>& out) const {
  out.resize(columns());
  const unsigned char* p = rows_[row];
  for (auto& v : out) v = decode(p);
}

ColumnStore::Value ColumnStore::value(std::size_t row, std::size_t column) const {
  const unsigned char* p = rows_[row];
  for (std::size_t i = 0; i < column; ++i) decode(p);
  return decode(p);
}

const ColumnStore::Lookup& ColumnStore::lookup(std::size_t column) const {
  Lookup& l = lookups_[column];
  if (l.built) return l;
  if (affinities_[column] == Affinity::Text) {
    // A counting sort on the hashes' leading bits, about one text a bucket;
    // being stable, it keeps each bucket's rows ascending.
    while (l.bits < 32 && (std::size_t{1} << l.bits) < rows()) ++l.bits;
    const int shift = 64 - std::max(l.bits, 1);
    const std::size_t rowCount = rows();
    std::vector<std::uint64_t> hashes(rowCount);
    std::vector<bool> isText(rowCount);
    l.start.assign((std::size_t{1} << l.bits) + 1, 0);
    for (std::size_t r = 0; r < rowCount; ++r) {
      const Value v = value(r, column);
      if (v.kind != Kind::Text) continue;
      isText[r] = true;
      hashes[r] = hashJet(v.bytes);
      ++l.start[l.bits ? (hashes[r] >> shift) + 1 : 1];
    }
    for (std::size_t b = 1; b < l.start.size(); ++b) l.start[b] += l.start[b - 1];
    l.hashes.resize(l.start.back());
    // Each entry goes where its bucket's next one stands (start[b] then
    // moves on to the end of bucket b, the start of b + 1).
    for (std::size_t r = 0; r < rowCount; ++r) {
      if (!isText[r]) continue;
      l.hashes[l.start[l.bits ? hashes[r] >> shift : 0]++] = {static_cast<std::uint32_t>(hashes[r]),
                                                              static_cast<std::uint32_t>(r)};
    }
    std::copy_backward(l.start.begin(), l.start.end() - 1, l.start.end());
    l.start[0] = 0;
  } else {
    for (std::size_t r = 0; r < rows(); ++r) {
      const Value v = value(r, column);
      const auto row = static_cast<std::uint32_t>(r);
      if (v.kind == Kind::Text)
        l.texts.push_back(row);
      else if (v.kind == Kind::Integer)
        l.numbers.emplace_back(static_cast<double>(v.integer), row);
      else if (v.kind == Kind::Real && !std::isnan(v.real))
        l.numbers.emplace_back(v.real, row);
    }
    std::sort(l.numbers.begin(), l.numbers.end());
  }
  l.built = true;
  return l;
}

void ColumnStore::textCandidates(std::size_t column, std::string_view utf8,
                                 std::vector<std::uint32_t>& out) const {
  const Lookup& l = lookup(column);
  const std::uint64_t h = hashJet(utf8);
  const std::size_t b = l.bits ? h >> (64 - l.bits) : 0;
  for (std::uint32_t i = l.start[b]; i < l.start[b + 1]; ++i)
    if (l.hashes[i].low == static_cast<std::uint32_t>(h)) out.push_back(l.hashes[i].row);
}

void ColumnStore::numberCandidates(std::size_t column, double x,
                                   std::vector<std::uint32_t>& out) const {
  const Lookup& l = lookup(column);
  const std::size_t first = out.size();
  if (!std::isnan(x)) {
    // A margin far wider than any rounding of a number written as text, so
    // that the number SQLite makes of such a text lies within it.
    const double margin = std::fabs(x) * 1e-12 + 1e-300;
    auto at = std::lower_bound(l.numbers.begin(), l.numbers.end(),
                               std::make_pair(x - margin, std::uint32_t{0}));
    for (; at != l.numbers.end() && at->first <= x + margin; ++at) out.push_back(at->second);
  }
  out.insert(out.end(), l.texts.begin(), l.texts.end());
  std::sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end());
}

void ColumnStoreSink::begin(const AccessTableDef& def) {
  definition_ = def;
  store_ = std::make_shared<ColumnStore>(def);
}

void ColumnStoreSink::row(const std::vector<JetValue>& row) { store_->append(row); }

}  // namespace dorvane::db
