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
constexpr std::size_t kMaxArena = std::size_t{1} << 62;

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

double ColumnStore::real(const Cell& c) const {
  double d;
  std::memcpy(&d, &c.value, sizeof d);
  return d;
}

ColumnStore::Cell ColumnStore::text(std::string_view utf8, Kind kind) {
  if (utf8.size() > std::numeric_limits<std::uint32_t>::max() ||
      arena_.size() + utf8.size() > kMaxArena)
    throw RuntimeError(err::kCannotOpenDatabase, "A value is too large for the engine's copy.");
  Cell c;
  c.kind = kind;
  c.value = static_cast<std::int64_t>(arena_.size());
  c.size = static_cast<std::uint32_t>(utf8.size());
  arena_.append(utf8);
  return c;
}

ColumnStore::Cell ColumnStore::store(const JetValue& v, Affinity affinity) {
  // First the value as it is bound (Currency and Decimal as numbers when a
  // double holds them exactly, else as their exact text) ...
  Kind kind = Kind::Null;
  std::int64_t i = 0;
  double d = 0;
  switch (v.kind) {
    case JetValue::Kind::Null:
      return Cell{};
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
      return text(std::string_view(reinterpret_cast<const char*>(v.bytes.data()), v.bytes.size()),
                  Kind::Blob);
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
  Cell c;
  c.kind = kind;
  if (kind == Kind::Integer) c.value = i;
  if (kind == Kind::Real) std::memcpy(&c.value, &d, sizeof d);
  if (kind == Kind::Text) return text(scratch_, Kind::Text);
  return c;
}

void ColumnStore::append(const std::vector<JetValue>& row) {
  if (columns() == 0) return;  // a table without columns shows no rows
  if (rows_ >= std::numeric_limits<std::uint32_t>::max())
    throw RuntimeError(err::kCannotOpenDatabase, "A table has too many rows for the engine.");
  for (std::size_t i = 0; i < columns(); ++i) cells_.push_back(store(row[i], affinities_[i]));
  ++rows_;
}

const ColumnStore::Lookup& ColumnStore::lookup(std::size_t column) const {
  Lookup& l = lookups_[column];
  if (l.built) return l;
  const bool isText = affinities_[column] == Affinity::Text;
  for (std::size_t r = 0; r < rows_; ++r) {
    const Cell& c = cell(r, column);
    const auto row = static_cast<std::uint32_t>(r);
    if (c.kind == Kind::Text && isText)
      l.hashes.emplace_back(hashJet(bytes(c)), row);
    else if (c.kind == Kind::Text)
      l.texts.push_back(row);
    else if (c.kind == Kind::Integer)
      l.numbers.emplace_back(static_cast<double>(c.value), row);
    else if (c.kind == Kind::Real && !std::isnan(real(c)))
      l.numbers.emplace_back(real(c), row);
  }
  std::sort(l.hashes.begin(), l.hashes.end());
  std::sort(l.numbers.begin(), l.numbers.end());
  l.built = true;
  return l;
}

void ColumnStore::textCandidates(std::size_t column, std::string_view utf8,
                                 std::vector<std::uint32_t>& out) const {
  const auto& hashes = lookup(column).hashes;
  const std::uint64_t h = hashJet(utf8);
  auto at = std::lower_bound(hashes.begin(), hashes.end(), std::make_pair(h, std::uint32_t{0}));
  for (; at != hashes.end() && at->first == h; ++at) out.push_back(at->second);
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
