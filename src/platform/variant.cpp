// Construction, equality and type names of Variant.
#include <dorvane/object.h>
#include <dorvane/variant.h>

#include "platform/decimal_magnitude.h"

namespace dorvane {

#define DORVANE_FACTORY(fn, T, Kind, field, expr) \
  Variant Variant::fn(T v) {                      \
    Variant r;                                    \
    r.type_ = VarType::Kind;                      \
    r.field = expr;                               \
    return r;                                     \
  }

DORVANE_FACTORY(boolean, bool, Boolean, i_, v ? -1 : 0)
DORVANE_FACTORY(byte, std::uint8_t, Byte, i_, v)
DORVANE_FACTORY(integer, std::int16_t, Integer, i_, v)
DORVANE_FACTORY(longValue, std::int32_t, Long, i_, v)
DORVANE_FACTORY(single, float, Single, d_, v)
DORVANE_FACTORY(dbl, double, Double, d_, v)
DORVANE_FACTORY(currencyScaled, std::int64_t, Currency, i_, v)
DORVANE_FACTORY(decimal, Decimal, Decimal, decimal_, v)
DORVANE_FACTORY(date, double, Date, d_, v)
DORVANE_FACTORY(string, std::u16string, String, s_, std::move(v))
DORVANE_FACTORY(binary, std::vector<std::uint8_t>, Binary, bytes_, std::move(v))
DORVANE_FACTORY(object, std::shared_ptr<Object>, Object, object_, std::move(v))
#undef DORVANE_FACTORY

Variant Variant::null() {
  Variant r;
  r.type_ = VarType::Null;
  return r;
}

bool Variant::isNumber() const {
  switch (type_) {
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long:
    case VarType::Single:
    case VarType::Double:
    case VarType::Currency:
    case VarType::Decimal:
    case VarType::Boolean:
      return true;
    default:
      return false;
  }
}

namespace {
// The same number with its fraction's trailing zeros dropped (and 0 unsigned).
Decimal normalized(Decimal d) {
  DecimalMagnitude m(d.hi, d.lo);
  for (DecimalMagnitude next = m; d.scale > 0 && next.divide(10) == 0; next = m) {
    m = next;
    --d.scale;
  }
  if (m.isZero()) d.negative = false;
  d.hi = m.hi();
  d.lo = m.lo();
  return d;
}
}  // namespace

bool operator==(const Variant& a, const Variant& b) {
  if (a.type_ != b.type_) return false;
  switch (a.type_) {
    case VarType::Empty:
    case VarType::Null:
      return true;
    case VarType::Single:
    case VarType::Double:
    case VarType::Date:
      return a.d_ == b.d_;
    case VarType::Decimal:
      return normalized(a.decimal_) == normalized(b.decimal_);
    case VarType::String:
      return a.s_ == b.s_;
    case VarType::Binary:
      return a.bytes_ == b.bytes_;
    case VarType::Object:
      return a.object_ == b.object_;
    default:
      return a.i_ == b.i_;
  }
}

const char* typeName(VarType t) {
  switch (t) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Integer:
      return "Integer";
    case VarType::Long:
      return "Long";
    case VarType::Single:
      return "Single";
    case VarType::Double:
      return "Double";
    case VarType::Currency:
      return "Currency";
    case VarType::Decimal:
      return "Decimal";
    case VarType::Date:
      return "Date";
    case VarType::String:
      return "String";
    case VarType::Boolean:
      return "Boolean";
    case VarType::Byte:
      return "Byte";
    case VarType::Binary:
      return "Byte()";
    case VarType::Object:
      return "Object";
  }
  return "Unknown";
}

}  // namespace dorvane
