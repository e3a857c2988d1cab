#include "platform/db/access/access_wire.h"

#include <cstring>

namespace dorvane::db {

namespace {
constexpr std::uint8_t kDefinition = 'D', kRow = 'R', kEnd = 'E', kError = 'X';
constexpr std::size_t kFlushAt = 1 << 16;
constexpr std::size_t kMaxColumns = 4096, kMaxIndexes = 1024, kMaxName = 4096;

void putVarint(std::vector<std::uint8_t>& b, std::uint64_t v) {
  while (v >= 0x80) {
    b.push_back(static_cast<std::uint8_t>(v | 0x80));
    v >>= 7;
  }
  b.push_back(static_cast<std::uint8_t>(v));
}
std::uint64_t zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
std::int64_t unzigzag(std::uint64_t v) {
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}
void putString(std::vector<std::uint8_t>& b, const std::string& s) {
  putVarint(b, s.size());
  b.insert(b.end(), s.begin(), s.end());
}
}  // namespace

// ---- WireWriter ------------------------------------------------------------

void WireWriter::begin(const AccessTableDef& def) {
  buf_.push_back(kDefinition);
  putString(buf_, def.name);
  putVarint(buf_, def.columns.size());
  for (const auto& c : def.columns) {
    putString(buf_, c.name);
    putVarint(buf_, static_cast<std::uint32_t>(c.type));
    putVarint(buf_, zigzag(c.size));
    putVarint(buf_, zigzag(c.precision));
    putVarint(buf_, zigzag(c.scale));
    buf_.push_back(
        static_cast<std::uint8_t>((c.calculated ? 1 : 0) | static_cast<int>(c.nested) << 1));
  }
  putVarint(buf_, def.indexes.size());
  for (const auto& x : def.indexes) {
    putString(buf_, x.name);
    buf_.push_back(static_cast<std::uint8_t>(x.primaryKey | (x.foreignKey << 1) | (x.unique << 2)));
    putVarint(buf_, x.columns.size());
    for (size_t i = 0; i < x.columns.size(); ++i) {
      putVarint(buf_, static_cast<std::uint64_t>(x.columns[i]));
      buf_.push_back(x.descending[i] ? 1 : 0);
    }
  }
  flushIfFull();
}

void WireWriter::row(const std::vector<JetValue>& row) {
  buf_.push_back(kRow);
  for (const auto& v : row) {
    buf_.push_back(static_cast<std::uint8_t>(v.kind));
    switch (v.kind) {
      case JetValue::Kind::Null:
        break;
      case JetValue::Kind::Integer:
      case JetValue::Kind::Currency:
        putVarint(buf_, zigzag(v.i));
        break;
      case JetValue::Kind::Real: {
        std::uint8_t b[8];
        std::memcpy(b, &v.d, 8);
        buf_.insert(buf_.end(), b, b + 8);
        break;
      }
      case JetValue::Kind::Text:
      case JetValue::Kind::Decimal: {
        putVarint(buf_, v.text.size());
        size_t at = buf_.size();
        buf_.resize(at + v.text.size() * 2);
        std::memcpy(buf_.data() + at, v.text.data(), v.text.size() * 2);
        break;
      }
      case JetValue::Kind::Blob:
        putVarint(buf_, v.bytes.size());
        buf_.insert(buf_.end(), v.bytes.begin(), v.bytes.end());
        break;
    }
  }
  flushIfFull();
}

void WireWriter::end() {
  buf_.push_back(kEnd);
  flush();
}

void WireWriter::error(const std::string& message) {
  buf_.clear();  // rows already sent are discarded by the reader with the error
  buf_.push_back(kError);
  putString(buf_, message.substr(0, kMaxName));
  flush();
}

void WireWriter::flushIfFull() {
  if (buf_.size() >= kFlushAt) flush();
}

void WireWriter::flush() {
  if (!buf_.empty()) write_(buf_.data(), buf_.size());
  buf_.clear();
}

// ---- WireReader ------------------------------------------------------------

void WireReader::fill() {
  buf_.resize(1 << 16);
  std::size_t n = read_(buf_.data(), buf_.size());
  if (n == 0) throw WireError("the reader stopped before the end of the table");
  total_ += n;
  if (total_ > maxBytes_) throw WireError("the reader produced more data than the file can hold");
  buf_.resize(n);
  pos_ = 0;
}

std::uint8_t WireReader::byte() {
  if (pos_ >= buf_.size()) fill();
  return buf_[pos_++];
}

std::uint64_t WireReader::varint() {
  std::uint64_t v = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    std::uint8_t b = byte();
    v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if (!(b & 0x80)) return v;
  }
  throw WireError("a malformed number in the reader's data");
}

void WireReader::bytes(std::uint8_t* out, std::size_t n) {
  while (n > 0) {
    if (pos_ >= buf_.size()) fill();
    std::size_t take = std::min(n, buf_.size() - pos_);
    std::memcpy(out, buf_.data() + pos_, take);
    pos_ += take;
    out += take;
    n -= take;
  }
}

std::string WireReader::string(std::size_t limit) {
  std::uint64_t n = varint();
  if (n > limit) throw WireError("an over-long name in the reader's data");
  std::string s(n, '\0');
  bytes(reinterpret_cast<std::uint8_t*>(s.data()), n);
  return s;
}

void WireReader::run(TableSink& sink) {
  std::uint8_t tag = byte();
  if (tag == kError) throw WireError(string(kMaxName), true);
  if (tag != kDefinition) throw WireError("a malformed start of the reader's data");
  AccessTableDef def;
  def.name = string(kMaxName);
  std::uint64_t ncols = varint();
  if (ncols > kMaxColumns) throw WireError("too many columns in the reader's data");
  for (std::uint64_t i = 0; i < ncols; ++i) {
    AccessColumn c;
    c.name = string(kMaxName);
    c.type = static_cast<int>(varint() & 0xFF);
    c.size = static_cast<int>(unzigzag(varint()));
    c.precision = static_cast<int>(unzigzag(varint()));
    c.scale = static_cast<int>(unzigzag(varint()));
    const std::uint8_t flags = byte();
    c.calculated = (flags & 1) != 0;
    if ((flags >> 1) > static_cast<int>(NestedKind::VersionHistory))
      throw WireError("an unknown complex column kind in the reader's data");
    c.nested = static_cast<NestedKind>(flags >> 1);
    def.columns.push_back(std::move(c));
  }
  std::uint64_t nidx = varint();
  if (nidx > kMaxIndexes) throw WireError("too many indexes in the reader's data");
  for (std::uint64_t i = 0; i < nidx; ++i) {
    AccessIndex x;
    x.name = string(kMaxName);
    std::uint8_t flags = byte();
    x.primaryKey = flags & 1;
    x.foreignKey = flags & 2;
    x.unique = flags & 4;
    std::uint64_t nkeys = varint();
    if (nkeys == 0 || nkeys > 16) throw WireError("a malformed index in the reader's data");
    for (std::uint64_t k = 0; k < nkeys; ++k) {
      std::uint64_t col = varint();
      if (col >= ncols) throw WireError("an index on a missing column in the reader's data");
      x.columns.push_back(static_cast<int>(col));
      x.descending.push_back(byte() != 0);
    }
    def.indexes.push_back(std::move(x));
  }
  sink.begin(def);

  std::vector<JetValue> row(ncols);
  for (;;) {
    tag = byte();
    if (tag == kEnd) return;
    if (tag == kError) throw WireError(string(kMaxName), true);
    if (tag != kRow) throw WireError("a malformed row in the reader's data");
    for (auto& v : row) {
      std::uint8_t kind = byte();
      if (kind > static_cast<std::uint8_t>(JetValue::kLastKind))
        throw WireError("a malformed value in the reader's data");
      v.kind = static_cast<JetValue::Kind>(kind);
      v.i = 0;
      v.d = 0;
      v.text.clear();  // keeps the capacity for the next row
      v.bytes.clear();
      switch (v.kind) {
        case JetValue::Kind::Null:
          break;
        case JetValue::Kind::Integer:
        case JetValue::Kind::Currency:
          v.i = unzigzag(varint());
          break;
        case JetValue::Kind::Real: {
          std::uint8_t b[8];
          bytes(b, 8);
          std::memcpy(&v.d, b, 8);
          break;
        }
        case JetValue::Kind::Text:
        case JetValue::Kind::Decimal: {
          std::uint64_t n = varint();
          if (n > maxBytes_ / 2) throw WireError("an over-long text in the reader's data");
          v.text.resize(n);
          bytes(reinterpret_cast<std::uint8_t*>(v.text.data()), n * 2);
          break;
        }
        case JetValue::Kind::Blob: {
          std::uint64_t n = varint();
          if (n > maxBytes_) throw WireError("an over-long value in the reader's data");
          v.bytes.resize(n);
          bytes(v.bytes.data(), n);
          break;
        }
      }
    }
    sink.row(row);
  }
}

}  // namespace dorvane::db
