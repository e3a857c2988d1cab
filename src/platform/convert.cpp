#include "platform/convert.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/decimal_magnitude.h"
#include "platform/text/utf.h"

namespace dorvane {

namespace {

// Formats a finite value with the given number of significant digits in the
// standard form: trailing zeros dropped, exponent form at |exp10| >= digits.
std::u16string formatSignificant(double d, int digits) {
  if (d == 0) return u"0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, d);
  // buf: [-]d.ddddde[+-]xx
  std::string s(buf);
  bool negative = s[0] == '-';
  if (negative) s.erase(0, 1);
  size_t ePos = s.find('e');
  int exp10 = std::atoi(s.c_str() + ePos + 1);
  std::string mant = s.substr(0, 1) + s.substr(2, ePos - 2);  // digits only
  while (mant.size() > 1 && mant.back() == '0') mant.pop_back();

  std::string out = negative ? "-" : "";
  if (exp10 >= digits || exp10 < -digits) {
    out += mant.substr(0, 1);
    if (mant.size() > 1) out += "." + mant.substr(1);
    char e[16];
    std::snprintf(e, sizeof e, "E%c%02d", exp10 < 0 ? '-' : '+', std::abs(exp10));
    out += e;
  } else if (exp10 < 0) {
    out += "0." + std::string(static_cast<size_t>(-exp10 - 1), '0') + mant;
  } else {
    size_t whole = static_cast<size_t>(exp10) + 1;
    if (mant.size() <= whole) {
      out += mant + std::string(whole - mant.size(), '0');
    } else {
      out += mant.substr(0, whole) + "." + mant.substr(whole);
    }
  }
  return text::fromUtf8(out);
}

std::u16string formatCurrency(std::int64_t scaled) {
  bool negative = scaled < 0;
  // |INT64_MIN| does not fit: work on the unsigned magnitude.
  std::uint64_t mag =
      negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
  std::string out = negative ? "-" : "";
  out += std::to_string(mag / 10000);
  std::uint64_t frac = mag % 10000;
  if (frac != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04llu", static_cast<unsigned long long>(frac));
    std::string f(buf);
    while (f.back() == '0') f.pop_back();
    out += "." + f;
  }
  return text::fromUtf8(out);
}

std::u16string formatDate(double serial) {
  DateParts p = dateToParts(serial);
  char buf[64];
  if (p.hour == 0 && p.minute == 0 && p.second == 0) {
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", p.year, p.month, p.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
  }
  return text::fromUtf8(buf);
}

// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

constexpr std::int64_t kSerialEpochFrom1970 = -25569;  // 1899-12-30

std::string describe(std::string_view what) { return std::string(what); }

}  // namespace

std::u16string formatDecimal(const Decimal& d) {
  DecimalMagnitude mag(d.hi, d.lo);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + mag.divide(10)));
  } while (!mag.isZero());
  const size_t scale = d.scale;
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string frac = digits.substr(digits.size() - scale);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string out = whole + (frac.empty() ? "" : "." + frac);
  if (d.negative && out != "0") out.insert(0, "-");
  return text::fromUtf8(out);
}

double decimalToDouble(const Decimal& d) {
  // Through the text, so the result is the double nearest the exact value.
  double v = std::strtod(text::toUtf8(formatDecimal(d)).c_str(), nullptr);
  return v;
}

std::optional<Decimal> parseDecimal(std::string_view s) {
  Decimal d;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) d.negative = s[i++] == '-';
  DecimalMagnitude mag(0, 0);
  int digits = 0, scale = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    if (s[i] == '.' && !point) {
      point = true;
      continue;
    }
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    if (!mag.multiplyAdd(10, static_cast<std::uint32_t>(s[i] - '0'))) return std::nullopt;
    ++digits;
    if (point && ++scale > 28) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  d.hi = mag.hi();
  d.lo = mag.lo();
  d.scale = static_cast<std::uint8_t>(scale);
  return d;
}

std::u16string formatDouble(double d) { return formatSignificant(d, 15); }

std::u16string toText(const Variant& v, std::string_view what) {
  switch (v.type()) {
    case VarType::Empty:
      return u"";
    case VarType::Null:
      throw RuntimeError(err::kInvalidUseOfNull,
                         "Invalid use of Null: " + describe(what) + " is Null");
    case VarType::Boolean:
      return v.asBool() ? u"True" : u"False";
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long:
      return text::fromUtf8(std::to_string(v.asInt()));
    case VarType::Single:
      return formatSignificant(v.asDouble(), 7);
    case VarType::Double:
      return formatDouble(v.asDouble());
    case VarType::Currency:
      return formatCurrency(v.asInt());
    case VarType::Decimal:
      return formatDecimal(v.asDecimal());
    case VarType::Date:
      return formatDate(v.asDouble());
    case VarType::String:
      return v.asString();
    case VarType::Object:
      throw RuntimeError(err::kTypeMismatch,
                         "Type mismatch: " + describe(what) + " is an object, not a value");
    case VarType::Binary: {
      // Bytes read as UTF-16LE code units, an odd last byte on its own.
      const auto& b = v.asBytes();
      std::u16string s;
      for (size_t i = 0; i < b.size(); i += 2)
        s.push_back(static_cast<char16_t>(b[i] | (i + 1 < b.size() ? b[i + 1] << 8 : 0)));
      return s;
    }
  }
  return u"";
}

std::optional<double> parseNumber(std::u16string_view s) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == 0x3000; };
  size_t i = 0, n = s.size();
  while (i < n && blank(s[i])) ++i;
  while (n > i && blank(s[n - 1])) --n;
  std::string ascii;
  auto digitAt = [&](size_t k) -> int {
    char16_t c = s[k];
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= 0xFF10 && c <= 0xFF19) return c - 0xFF10;
    return -1;
  };
  if (i < n && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
  int digits = 0;
  bool lastWasDigit = false;
  for (; i < n; ++i) {
    int dg = digitAt(i);
    if (dg >= 0) {
      ascii.push_back(static_cast<char>('0' + dg));
      ++digits;
      lastWasDigit = true;
    } else if (s[i] == u',' && lastWasDigit) {
      lastWasDigit = false;  // grouping: must sit between digits
    } else {
      break;
    }
  }
  if (!lastWasDigit && digits > 0 && i > 0 && s[i - 1] == u',') return std::nullopt;
  if (i < n && s[i] == u'.') {
    ascii.push_back('.');
    for (++i; i < n && digitAt(i) >= 0; ++i) {
      ascii.push_back(static_cast<char>('0' + digitAt(i)));
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (s[i] == u'e' || s[i] == u'E' || s[i] == u'd' || s[i] == u'D')) {
    ascii.push_back('e');
    ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ascii.push_back(static_cast<char>(s[i++]));
    int expDigits = 0;
    for (; i < n && digitAt(i) >= 0; ++i, ++expDigits)
      ascii.push_back(static_cast<char>('0' + digitAt(i)));
    if (expDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  double d = std::strtod(ascii.c_str(), nullptr);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

bool isNumeric(const Variant& v) {
  if (v.isNumber()) return true;
  if (v.isString()) return parseNumber(v.asString()).has_value();
  return false;
}

double toDouble(const Variant& v, std::string_view what) {
  switch (v.type()) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      throw RuntimeError(err::kInvalidUseOfNull,
                         "Invalid use of Null: " + describe(what) + " is Null");
    case VarType::Boolean:
      return v.asBool() ? -1 : 0;
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long:
      return static_cast<double>(v.asInt());
    case VarType::Currency:
      return static_cast<double>(v.asInt()) / 10000.0;
    case VarType::Decimal:
      return decimalToDouble(v.asDecimal());
    case VarType::Single:
    case VarType::Double:
    case VarType::Date:
      return v.asDouble();
    case VarType::String:
      if (auto d = parseNumber(v.asString())) return *d;
      throw RuntimeError(err::kTypeMismatch, "Type mismatch: " + describe(what) + " '" +
                                                 text::toUtf8(v.asString()) + "' is not a number");
    case VarType::Binary:
    case VarType::Object:
      break;
  }
  throw RuntimeError(err::kTypeMismatch, "Type mismatch: " + describe(what) + " is not a number");
}

double dateFromParts(int year, int month, int day, int hour, int minute, double second) {
  double days = static_cast<double>(
      daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
      kSerialEpochFrom1970);
  double t = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  // Before the epoch the fraction still counts forward from midnight.
  return days >= 0 ? days + t : days - t;
}

DateParts dateToParts(double serial) {
  double whole = std::trunc(serial);
  double frac = std::fabs(serial - whole);
  auto day = static_cast<std::int64_t>(whole);
  auto secs = static_cast<std::int64_t>(std::llround(frac * 86400.0));
  if (secs >= 86400) {
    secs -= 86400;
    day += 1;
  }
  DateParts p{};
  civilFromDays(day + kSerialEpochFrom1970, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  return p;
}

std::optional<double> parseIsoDate(std::string_view s) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double sec = 0;
  int consumed = 0;
  std::string str(s);
  if (std::sscanf(str.c_str(), "%d-%d-%d%n", &y, &mo, &d, &consumed) != 3) return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
  std::string rest = str.substr(static_cast<size_t>(consumed));
  if (!rest.empty()) {
    if (rest[0] != ' ' && rest[0] != 'T') return std::nullopt;
    int c2 = 0;
    if (std::sscanf(rest.c_str() + 1, "%d:%d%n", &h, &mi, &c2) != 2) return std::nullopt;
    std::string tail = rest.substr(1 + static_cast<size_t>(c2));
    if (!tail.empty()) {
      char* end = nullptr;
      if (tail[0] != ':') return std::nullopt;
      sec = std::strtod(tail.c_str() + 1, &end);
      if (end == tail.c_str() + 1 || *end != '\0') return std::nullopt;
    }
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec >= 60) return std::nullopt;
  }
  return dateFromParts(y, mo, d, h, mi, sec);
}

}  // namespace dorvane
