#include "platform/db/sqlite/sqlite_values.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/convert.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
bool containsWord(const std::string& upper, const char* word) {
  return upper.find(word) != std::string::npos;
}

Variant integerValue(sqlite3_int64 v, ColumnKind kind) {
  if (kind == ColumnKind::Byte && v >= 0 && v <= 255)
    return Variant::byte(static_cast<std::uint8_t>(v));
  if (kind == ColumnKind::Integer && v >= -32768 && v <= 32767)
    return Variant::integer(static_cast<std::int16_t>(v));
  if (v >= std::numeric_limits<std::int32_t>::min() &&
      v <= std::numeric_limits<std::int32_t>::max())
    return Variant::longValue(static_cast<std::int32_t>(v));
  return Variant::dbl(static_cast<double>(v));
}

// Exact decimal text to a currency scaled by 10,000, or false.
bool currencyFromText(const std::string& s, std::int64_t& scaled) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  // In units of 1/10,000: more than fits in 64 bits is no currency.
  std::uint64_t whole = 0;
  bool fits = true;
  int digits = 0;
  for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i, ++digits)
    fits = fits && !__builtin_mul_overflow(whole, 10u, &whole) &&
           !__builtin_add_overflow(whole, static_cast<unsigned>(s[i] - '0'), &whole);
  int frac = 0, fracDigits = 0;
  if (i < s.size() && s[i] == '.') {
    for (++i; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
      if (fracDigits < 4) frac = frac * 10 + (s[i] - '0'), ++fracDigits;
      ++digits;
    }
  }
  if (digits == 0 || i != s.size()) return false;
  while (fracDigits < 4) frac *= 10, ++fracDigits;
  std::uint64_t v = 0;
  if (!fits || __builtin_mul_overflow(whole, 10000u, &v) ||
      __builtin_add_overflow(v, static_cast<unsigned>(frac), &v) ||
      v > std::uint64_t{std::numeric_limits<std::int64_t>::max()})
    return false;
  scaled = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
  return true;
}
}  // namespace

std::u16string columnText16(sqlite3_stmt* stmt, int column, bool utf16) {
  if (utf16) {
    const auto* w = static_cast<const char16_t*>(sqlite3_column_text16(stmt, column));
    if (!w) return {};
    return std::u16string(w, static_cast<size_t>(sqlite3_column_bytes16(stmt, column)) / 2);
  }
  // Read as UTF-8 and widen here: asking SQLite for UTF-16 allocates a
  // converted copy of every value of a UTF-8 database.
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  if (!p) return {};
  return text::fromUtf8(
      std::string_view(p, static_cast<size_t>(sqlite3_column_bytes(stmt, column))));
}

std::string exactDecimalText(double d) {
  if (!std::isfinite(d)) return "";
  char buf[400];
  auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
  if (r.ec != std::errc()) return "";
  return std::string(buf, r.ptr);
}

const char* nestedColumnText(ColumnKind kind) {
  switch (kind) {
    case ColumnKind::Attachment:
      return "an attachment column";
    case ColumnKind::MultiValue:
      return "a multi-value column";
    case ColumnKind::VersionHistory:
      return "the version history of an append-only Memo";
    case ColumnKind::Complex:
      return "a complex column";
    default:
      return nullptr;
  }
}

ColumnKind kindFromDeclType(const char* declType) {
  if (!declType) return ColumnKind::Plain;
  if (std::strcmp(declType, kDecimalDeclType) == 0) return ColumnKind::Decimal;
  if (std::strcmp(declType, kAttachmentDeclType) == 0) return ColumnKind::Attachment;
  if (std::strcmp(declType, kMultiValueDeclType) == 0) return ColumnKind::MultiValue;
  if (std::strcmp(declType, kVersionHistoryDeclType) == 0) return ColumnKind::VersionHistory;
  if (std::strcmp(declType, kComplexDeclType) == 0) return ColumnKind::Complex;
  std::string t(declType);
  for (auto& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (t == "BOOLEAN" || t == "BOOL" || t == "BIT" || t == "YESNO" || t == "LOGICAL")
    return ColumnKind::Boolean;
  if (containsWord(t, "DATE") || containsWord(t, "TIMESTAMP")) return ColumnKind::Date;
  if (containsWord(t, "CURRENCY") || containsWord(t, "MONEY")) return ColumnKind::Currency;
  if (t == "TINYINT" || t == "BYTE") return ColumnKind::Byte;
  if (t == "SMALLINT" || t == "SHORT") return ColumnKind::Integer;
  if (t == "SINGLE" || t == "FLOAT4") return ColumnKind::Single;
  return ColumnKind::Plain;
}

Variant columnValue(sqlite3_stmt* stmt, int column, ColumnKind kind, bool utf16) {
  switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
      return Variant::null();
    case SQLITE_INTEGER: {
      sqlite3_int64 v = sqlite3_column_int64(stmt, column);
      switch (kind) {
        case ColumnKind::Boolean:
          return Variant::boolean(v != 0);
        case ColumnKind::Date:
          return Variant::date(static_cast<double>(v));
        case ColumnKind::Currency:
          if (v > std::numeric_limits<std::int64_t>::max() / 10000 ||
              v < std::numeric_limits<std::int64_t>::min() / 10000)
            return Variant::dbl(static_cast<double>(v));
          return Variant::currencyScaled(v * 10000);
        case ColumnKind::Single:
          return Variant::single(static_cast<float>(v));
        case ColumnKind::Decimal:
          if (auto d = parseDecimal(std::to_string(v))) return Variant::decimal(*d);
          return integerValue(v, kind);
        default:
          return integerValue(v, kind);
      }
    }
    case SQLITE_FLOAT: {
      double d = sqlite3_column_double(stmt, column);
      switch (kind) {
        case ColumnKind::Boolean:
          return Variant::boolean(d != 0);
        case ColumnKind::Date:
          return Variant::date(d);
        case ColumnKind::Currency:
          if (std::fabs(d) < 9.2e14) return Variant::currencyScaled(std::llround(d * 10000));
          return Variant::dbl(d);
        case ColumnKind::Single:
          return Variant::single(static_cast<float>(d));
        case ColumnKind::Decimal:
          if (auto dec = parseDecimal(exactDecimalText(d))) return Variant::decimal(*dec);
          return Variant::dbl(d);
        default:
          return Variant::dbl(d);
      }
    }
    case SQLITE_TEXT: {
      if (kind == ColumnKind::Date || kind == ColumnKind::Currency || kind == ColumnKind::Decimal) {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        std::string s(p ? p : "");
        if (kind == ColumnKind::Date) {
          if (auto d = parseIsoDate(s)) return Variant::date(*d);
        } else if (kind == ColumnKind::Decimal) {
          if (auto d = parseDecimal(s)) return Variant::decimal(*d);
        } else {
          std::int64_t scaled;
          if (currencyFromText(s, scaled)) return Variant::currencyScaled(scaled);
        }
      }
      return Variant::string(columnText16(stmt, column, utf16));
    }
    case SQLITE_BLOB: {
      auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt, column));
      int n = sqlite3_column_bytes(stmt, column);
      return Variant::binary(std::vector<std::uint8_t>(p, p + n));
    }
  }
  return Variant::null();
}

void bindVariant(sqlite3_stmt* stmt, int index, const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Object:
      sqlite3_bind_null(stmt, index);
      break;
    case VarType::String:
      sqlite3_bind_text16(stmt, index, v.asString().data(),
                          static_cast<int>(v.asString().size() * 2), SQLITE_TRANSIENT);
      break;
    case VarType::Binary:
      sqlite3_bind_blob(stmt, index, v.asBytes().data(), static_cast<int>(v.asBytes().size()),
                        SQLITE_TRANSIENT);
      break;
    case VarType::Single:
    case VarType::Double:
    case VarType::Date:
      sqlite3_bind_double(stmt, index, v.asDouble());
      break;
    case VarType::Currency:
      sqlite3_bind_double(stmt, index, static_cast<double>(v.asInt()) / 10000.0);
      break;
    case VarType::Decimal:
      sqlite3_bind_double(stmt, index, decimalToDouble(v.asDecimal()));
      break;
    default:
      sqlite3_bind_int64(stmt, index, v.asInt());
      break;
  }
}

}  // namespace dorvane::db
