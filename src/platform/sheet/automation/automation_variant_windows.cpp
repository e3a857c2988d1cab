#include <dorvane/runtime_error.h>

#include <cstring>
#include <string>

#include "platform/sheet/automation/automation_variant.h"

namespace dorvane::sheet::automation {

namespace {

BSTR allocString(const std::u16string& s) {
  BSTR b =
      ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()), static_cast<UINT>(s.size()));
  if (!b) throw RuntimeError(err::kOutOfMemory, "Out of memory for a text of the spreadsheet");
  return b;
}

[[noreturn]] void mismatch(const std::string& what) {
  throw RuntimeError(err::kTypeMismatch, "Type mismatch: " + what);
}

}  // namespace

void toVARIANT(const Variant& value, VARIANT& out) {
  ::VariantInit(&out);
  switch (value.type()) {
    case VarType::Empty:
      break;
    case VarType::Null:
      V_VT(&out) = VT_NULL;
      break;
    case VarType::Boolean:
      V_VT(&out) = VT_BOOL;
      V_BOOL(&out) = value.asBool() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VarType::Byte:
      V_VT(&out) = VT_UI1;
      V_UI1(&out) = static_cast<BYTE>(value.asInt());
      break;
    case VarType::Integer:
      V_VT(&out) = VT_I2;
      V_I2(&out) = static_cast<SHORT>(value.asInt());
      break;
    case VarType::Long:
      V_VT(&out) = VT_I4;
      V_I4(&out) = static_cast<LONG>(value.asInt());
      break;
    case VarType::Single:
      V_VT(&out) = VT_R4;
      V_R4(&out) = static_cast<float>(value.asDouble());
      break;
    case VarType::Double:
      V_VT(&out) = VT_R8;
      V_R8(&out) = value.asDouble();
      break;
    case VarType::Currency:
      V_VT(&out) = VT_CY;
      V_CY(&out).int64 = value.asInt();
      break;
    case VarType::Date:
      V_VT(&out) = VT_DATE;
      V_DATE(&out) = value.asDouble();
      break;
    case VarType::Decimal: {
      const Decimal& d = value.asDecimal();
      DECIMAL dec{};
      dec.scale = d.scale;
      dec.sign = d.negative ? DECIMAL_NEG : 0;
      dec.Hi32 = d.hi;
      dec.Lo64 = d.lo;
      V_DECIMAL(&out) = dec;  // sets the whole variant; the type goes after it
      V_VT(&out) = VT_DECIMAL;
      break;
    }
    case VarType::String:
      V_BSTR(&out) = allocString(value.asString());
      V_VT(&out) = VT_BSTR;
      break;
    case VarType::Binary: {
      const auto& bytes = value.asBytes();
      SAFEARRAY* a = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      if (!a) throw RuntimeError(err::kOutOfMemory, "Out of memory for a byte array");
      void* data = nullptr;
      if (!bytes.empty() && SUCCEEDED(::SafeArrayAccessData(a, &data))) {
        std::memcpy(data, bytes.data(), bytes.size());
        ::SafeArrayUnaccessData(a);
      }
      V_VT(&out) = VT_ARRAY | VT_UI1;
      V_ARRAY(&out) = a;
      break;
    }
    case VarType::Object:
      mismatch("an object cannot be stored in a cell");
  }
}

Variant fromVARIANT(const VARIANT& in) {
  const VARIANT* v = &in;
  while (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  VARIANT plain;
  ::VariantInit(&plain);
  if (V_VT(v) & VT_BYREF) {
    if (FAILED(::VariantCopyInd(&plain, const_cast<VARIANT*>(v)))) mismatch("a by-reference value");
    Variant out = fromVARIANT(plain);
    ::VariantClear(&plain);
    return out;
  }
  switch (V_VT(v)) {
    case VT_EMPTY:
      return {};
    case VT_NULL:
      return Variant::null();
    case VT_BOOL:
      return Variant::boolean(V_BOOL(v) != VARIANT_FALSE);
    case VT_UI1:
      return Variant::byte(V_UI1(v));
    case VT_I2:
      return Variant::integer(V_I2(v));
    case VT_I4:
      return Variant::longValue(V_I4(v));
    case VT_R4:
      return Variant::single(V_R4(v));
    case VT_R8:
      return Variant::dbl(V_R8(v));
    case VT_CY:
      return Variant::currencyScaled(V_CY(v).int64);
    case VT_DATE:
      return Variant::date(V_DATE(v));
    case VT_DECIMAL: {
      const DECIMAL& dec = V_DECIMAL(v);
      return Variant::decimal(
          Decimal{dec.Hi32, dec.Lo64, dec.scale, (dec.sign & DECIMAL_NEG) != 0});
    }
    case VT_BSTR: {
      const BSTR b = V_BSTR(v);
      return Variant::string(
          b ? std::u16string(reinterpret_cast<const char16_t*>(b), ::SysStringLen(b))
            : std::u16string());
    }
    case VT_ERROR: {
      // A cell error (#N/A is 2042) reads as VB shows it.
      const long code = V_ERROR(v) & 0xFFFF;
      const std::string text = "Error " + std::to_string(code);
      return Variant::string(std::u16string(text.begin(), text.end()));
    }
    case VT_I1:
    case VT_UI2:
    case VT_INT:
      if (SUCCEEDED(::VariantChangeType(&plain, const_cast<VARIANT*>(v), 0, VT_I4))) {
        return Variant::longValue(V_I4(&plain));
      }
      break;
    case VT_UI4:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
      if (SUCCEEDED(::VariantChangeType(&plain, const_cast<VARIANT*>(v), 0, VT_R8))) {
        return Variant::dbl(V_R8(&plain));
      }
      break;
    case VT_ARRAY | VT_UI1: {
      SAFEARRAY* a = V_ARRAY(v);
      LONG lo = 0, hi = -1;
      if (a && ::SafeArrayGetDim(a) == 1) {
        ::SafeArrayGetLBound(a, 1, &lo);
        ::SafeArrayGetUBound(a, 1, &hi);
      }
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(hi - lo + 1));
      void* data = nullptr;
      if (!bytes.empty() && SUCCEEDED(::SafeArrayAccessData(a, &data))) {
        std::memcpy(bytes.data(), data, bytes.size());
        ::SafeArrayUnaccessData(a);
      }
      return Variant::binary(std::move(bytes));
    }
    default:
      break;
  }
  mismatch("a value of automation type " + std::to_string(V_VT(v)) + " is no field value");
}

}  // namespace dorvane::sheet::automation
