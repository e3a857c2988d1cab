#include "platform/db/access/access_values.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "platform/convert.h"
#include "platform/db/sqlite/sqlite_values.h"
#include "platform/text/code_page.h"

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

JetValue decimal(Decimal d) {
  JetValue j;
  j.kind = JetValue::Kind::Decimal;
  j.text = formatDecimal(d);
  return j;
}

// A Numeric (Decimal) value: sign byte, then a 128-bit magnitude as four
// little-endian 32-bit words, the most significant first. A magnitude beyond
// the 96 bits of a Decimal is damage.
JetValue decimalValue(const std::uint8_t* p, int scale) {
  Decimal d;
  if (load<std::uint32_t>(p + 1) != 0) throw std::runtime_error("a damaged Decimal value");
  d.hi = load<std::uint32_t>(p + 5);
  d.lo =
      (static_cast<std::uint64_t>(load<std::uint32_t>(p + 9)) << 32) | load<std::uint32_t>(p + 13);
  d.negative = (p[0] & 0x80) != 0;
  d.scale = static_cast<std::uint8_t>(scale < 0 || scale > 28 ? 0 : scale);
  return decimal(d);
}

// Digits [p, p + n) as a number; raises for anything else.
std::int64_t digitsValue(const std::uint8_t* p, std::size_t n) {
  std::int64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') throw std::runtime_error("a damaged Date/Time Extended value");
    v = v * 10 + (p[i] - '0');
  }
  return v;
}

}  // namespace

double decodeExtendedDate(const std::uint8_t* p, std::size_t n) {
  constexpr std::size_t kDays = 19, kSeconds = 12, kTicks = 7;
  need(n, kDays + 1 + kSeconds + kTicks, "Date/Time Extended");
  if (p[kDays] != ':') throw std::runtime_error("a damaged Date/Time Extended value");
  constexpr std::int64_t kDaysTo1899 = 693593;  // 0001-01-01 to 1899-12-30
  constexpr std::int64_t kMaxDays = 3652059;    // 9999-12-31
  const std::int64_t days = digitsValue(p, kDays);
  const std::int64_t seconds = digitsValue(p + kDays + 1, kSeconds);
  const std::int64_t ticks = digitsValue(p + kDays + 1 + kSeconds, kTicks);
  if (days > kMaxDays || seconds >= 86400)
    throw std::runtime_error("a damaged Date/Time Extended value (out of range)");
  const double day = static_cast<double>(days - kDaysTo1899);
  const double time = (static_cast<double>(seconds) + static_cast<double>(ticks) / 1e7) / 86400.0;
  return day >= 0 ? day + time : day - time;
}

JetValue calculatedDecimal(const std::uint8_t* p, std::size_t n) {
  need(n, 16, "calculated Decimal");
  Decimal d;
  d.scale = p[2];
  d.negative = (p[3] & 0x80) != 0;
  d.hi = load<std::uint32_t>(p + 4);
  d.lo = load<std::uint64_t>(p + 8);
  if (d.scale > 28) throw std::runtime_error("a damaged calculated Decimal value");
  return decimal(d);
}

std::u16string decodeJet4Text(const std::uint8_t* p, std::size_t n) {
  std::u16string out;
  decodeJet4Text(p, n, out);
  return out;
}

void decodeJet4Text(const std::uint8_t* p, std::size_t n, std::u16string& out) {
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    out.resize(n);  // at most one character per byte
    char16_t* o = out.data();
    bool compressed = true;
    std::size_t i = 2;
    while (i < n) {
      if (p[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        *o++ = p[i++];
      } else if (i + 1 < n) {
        *o++ = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
        i += 2;
      } else {
        break;  // a dangling byte ends the value
      }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return;
  }
  out.resize(n / 2);
  for (std::size_t i = 0; i < n / 2; ++i)
    out[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
}

std::u16string decodeJet3Text(const std::uint8_t* p, std::size_t n, int codePage) {
  constexpr int kWestern = 1252;
  if (codePage <= 0 || !text::codePageAvailable(codePage)) codePage = kWestern;
  std::u16string out =
      text::decodeCodePage(std::string_view(reinterpret_cast<const char*>(p), n), codePage);
  if (codePage == kWestern) {
    // Escapes are U+DC00 + byte; Windows maps 1252's holes onto U+0080..U+009F.
    for (char16_t& c : out)
      if (c >= 0xDC80 && c <= 0xDC9F) c = static_cast<char16_t>(c - 0xDC00);
  }
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
    case jet::kBigInt: {
      // Exact as a Decimal: a double holds only 53 bits.
      need(n, 8, "Large Number");
      const std::int64_t v = load<std::int64_t>(p);
      Decimal d;
      d.negative = v < 0;
      d.lo = d.negative ? 0ULL - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
      return decimal(d);
    }
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
      return "INTEGER";
    case jet::kComplex:
      switch (c.nested) {
        case NestedKind::Attachment:
          return kAttachmentDeclType;
        case NestedKind::MultiValue:
          return kMultiValueDeclType;
        case NestedKind::VersionHistory:
          return kVersionHistoryDeclType;
        case NestedKind::None:
          return kComplexDeclType;
      }
      return kComplexDeclType;
    case jet::kCurrency:
      return "CURRENCY BLOB";
    case jet::kSingle:
      return "SINGLE";
    case jet::kDouble:
      return "DOUBLE";
    case jet::kDateTime:
    case jet::kExtendedDateTime:
      return "DATETIME";
    case jet::kText:
    case jet::kMemo:
    case jet::kGuid:
      return "TEXT";
    case jet::kNumeric:
    case jet::kBigInt:
      return kDecimalDeclType;
    default:
      return "BLOB";
  }
}

std::string accessTypeName(const AccessColumn& c) {
  if (c.calculated) {
    AccessColumn result = c;
    result.calculated = false;
    // A calculated Decimal states no precision and scale of its own.
    return "Calculated (" +
           (c.type == jet::kNumeric ? "Number (Decimal)" : accessTypeName(result)) + ")";
  }
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
    case jet::kExtendedDateTime:
      return "Date/Time Extended";
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
    case jet::kBigInt:
      return "Large Number";
    case jet::kComplex:
      switch (c.nested) {
        case NestedKind::Attachment:
          return "Attachment (a nested recordset: reading it is error 13)";
        case NestedKind::MultiValue:
          return "Multi-value (a nested recordset: reading it is error 13)";
        case NestedKind::VersionHistory:
          return "Version history of an append-only Memo (a nested recordset: reading it is "
                 "error 13)";
        case NestedKind::None:
          break;
      }
      return "Complex (a nested recordset: reading it is error 13)";
    default: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "type 0x%02X", static_cast<unsigned>(c.type) & 0xFFu);
      return hex;
    }
  }
}

}  // namespace dorvane::db
