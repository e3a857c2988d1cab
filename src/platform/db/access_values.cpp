#include "platform/db/access_values.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace dorvane::db {

namespace {

template <typename T>
T load(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);  // the files are little-endian, like this machine
  return v;
}

void need(std::size_t n, std::size_t size, const char* what) {
  if (n < size) {
    throw std::runtime_error(std::string("a damaged ") + what + " value (" + std::to_string(n) +
                             " bytes where " + std::to_string(size) + " are needed)");
  }
}

JetValue integer(std::int64_t v) {
  JetValue j;
  j.kind = JetValue::Kind::Integer;
  j.i = v;
  return j;
}

JetValue real(double v) {
  JetValue j;
  j.kind = JetValue::Kind::Real;
  j.d = v;
  return j;
}

// A Numeric (Decimal) value: sign byte, then a 128-bit magnitude as four
// little-endian 32-bit words, the most significant first.
JetValue decimalValue(const std::uint8_t* p, int scale) {
  unsigned __int128 mag = 0;
  for (int w = 0; w < 4; ++w) mag = (mag << 32) | load<std::uint32_t>(p + 1 + 4 * w);
  bool negative = (p[0] & 0x80) != 0;
  if (scale < 0 || scale > 28) scale = 0;
  if (scale <= 4) {
    unsigned __int128 scaled = mag;
    bool fits = true;
    for (int s = scale; s < 4 && fits; ++s) {
      if (scaled > std::numeric_limits<std::uint64_t>::max() / 10) fits = false;
      scaled *= 10;
    }
    if (fits &&
        scaled <= static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max())) {
      JetValue j;
      j.kind = JetValue::Kind::Currency;
      j.i = negative ? -static_cast<std::int64_t>(scaled) : static_cast<std::int64_t>(scaled);
      return j;
    }
  }
  long double v = static_cast<long double>(mag);
  for (int s = 0; s < scale; ++s) v /= 10;
  return real(static_cast<double>(negative ? -v : v));
}

}  // namespace

std::u16string decodeJet4Text(const std::uint8_t* p, std::size_t n) {
  std::u16string out;
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    out.reserve(n);
    bool compressed = true;
    std::size_t i = 2;
    while (i < n) {
      if (p[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        out.push_back(p[i++]);
      } else if (i + 1 < n) {
        out.push_back(static_cast<char16_t>(p[i] | (p[i + 1] << 8)));
        i += 2;
      } else {
        break;  // a dangling byte ends the value
      }
    }
    return out;
  }
  out.resize(n / 2);
  for (std::size_t i = 0; i < n / 2; ++i)
    out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
  return out;
}

std::u16string guidText(const std::uint8_t* p) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                load<std::uint32_t>(p), load<std::uint16_t>(p + 4), load<std::uint16_t>(p + 6),
                p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
  std::u16string s;
  for (const char* c = buf; *c; ++c) s.push_back(static_cast<char16_t>(*c));
  return s;
}

std::string currencyText(std::int64_t scaled) {
  bool negative = scaled < 0;
  unsigned long long mag = negative ? 0ULL - static_cast<unsigned long long>(scaled)
                                    : static_cast<unsigned long long>(scaled);
  std::string s = std::to_string(mag / 10000);
  unsigned long long frac = mag % 10000;
  if (frac) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04llu", frac);
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    s += f;
  }
  return negative ? "-" + s : s;
}

JetValue decodeFixedValue(int type, const std::uint8_t* p, std::size_t n, int scale) {
  switch (type) {
    case jet::kByte:
      need(n, 1, "Byte");
      return integer(p[0]);
    case jet::kInteger:
      need(n, 2, "Integer");
      return integer(load<std::int16_t>(p));
    case jet::kLong:
    case jet::kComplex:
      need(n, 4, "Long Integer");
      return integer(load<std::int32_t>(p));
    case jet::kCurrency: {
      need(n, 8, "Currency");
      JetValue j;
      j.kind = JetValue::Kind::Currency;
      j.i = load<std::int64_t>(p);
      return j;
    }
    case jet::kSingle:
      need(n, 4, "Single");
      return real(load<float>(p));
    case jet::kDouble:
      need(n, 8, "Double");
      return real(load<double>(p));
    case jet::kDateTime:
      need(n, 8, "Date/Time");
      return real(load<double>(p));
    case jet::kGuid: {
      need(n, 16, "Replication ID");
      JetValue j;
      j.kind = JetValue::Kind::Text;
      j.text = guidText(p);
      return j;
    }
    case jet::kNumeric:
      need(n, 17, "Decimal");
      return decimalValue(p, scale);
    default: {
      JetValue j;
      j.kind = JetValue::Kind::Blob;
      j.bytes.assign(p, p + n);
      return j;
    }
  }
}

bool isTextType(int type) { return type == jet::kText || type == jet::kMemo; }

const char* declaredType(const AccessColumn& c) {
  switch (c.type) {
    case jet::kBoolean:
      return "BOOLEAN";
    case jet::kByte:
      return "TINYINT";
    case jet::kInteger:
      return "SMALLINT";
    case jet::kLong:
    case jet::kComplex:
      return "INTEGER";
    case jet::kCurrency:
      return "CURRENCY BLOB";
    case jet::kSingle:
      return "SINGLE";
    case jet::kDouble:
      return "DOUBLE";
    case jet::kDateTime:
      return "DATETIME";
    case jet::kText:
    case jet::kMemo:
    case jet::kGuid:
      return "TEXT";
    case jet::kNumeric:
      return c.scale <= 4 ? "CURRENCY BLOB" : "DOUBLE";
    default:
      return "BLOB";
  }
}

std::string accessTypeName(const AccessColumn& c) {
  switch (c.type) {
    case jet::kBoolean:
      return "Yes/No";
    case jet::kByte:
      return "Number (Byte)";
    case jet::kInteger:
      return "Number (Integer)";
    case jet::kLong:
      return "Number (Long Integer)";
    case jet::kCurrency:
      return "Currency";
    case jet::kSingle:
      return "Number (Single)";
    case jet::kDouble:
      return "Number (Double)";
    case jet::kDateTime:
      return "Date/Time";
    case jet::kBinary:
      return "Binary (" + std::to_string(c.size) + ")";
    case jet::kText:
      return "Text (" + std::to_string(c.size) + ")";
    case jet::kOle:
      return "OLE Object";
    case jet::kMemo:
      return "Memo";
    case jet::kGuid:
      return "Number (Replication ID)";
    case jet::kNumeric:
      return "Number (Decimal " + std::to_string(c.precision) + ", " + std::to_string(c.scale) +
             ")";
    case jet::kComplex:
      return "Attachment or multi-value";
    default:
      return "type 0x" + std::to_string(c.type);
  }
}

}  // namespace dorvane::db
