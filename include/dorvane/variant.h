// Variant: one field value as the automation layer knows it.
//
// Values move between the database engine, the arithmetic of value resolution
// and the templates as Variants. The kinds mirror the automation variant the
// system was designed around; Binary stands for a byte array (OLE objects,
// binary columns). A Variant owns its text and bytes; copying copies them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dorvane {

class Object;

// The automation type numbers (VarType) of the kinds we carry.
enum class VarType : std::uint16_t {
  Empty = 0,
  Null = 1,
  Integer = 2,   // 16-bit signed
  Long = 3,      // 32-bit signed
  Single = 4,    // 32-bit float
  Double = 5,    // 64-bit float
  Currency = 6,  // 64-bit integer scaled by 10,000
  Decimal = 14,  // 96-bit magnitude, sign and scale (Decimal below)
  Date = 7,      // days since 1899-12-30 as a double
  String = 8,    // UTF-16 text
  Object = 9,    // a counted reference to an object, or Nothing
  Boolean = 11,
  Byte = 17,
  Binary = 8209,  // array of bytes (vbArray | vbByte)
};

// An automation Decimal: ±magnitude / 10^scale, the magnitude 96 bits wide
// (hi, lo), the scale 0..28. Values are kept exactly, as stored.
struct Decimal {
  std::uint32_t hi = 0;
  std::uint64_t lo = 0;
  std::uint8_t scale = 0;
  bool negative = false;
  friend bool operator==(const Decimal&, const Decimal&) = default;
};

class Variant {
 public:
  Variant() = default;  // Empty

  static Variant null();
  static Variant boolean(bool v);
  static Variant byte(std::uint8_t v);
  static Variant integer(std::int16_t v);
  static Variant longValue(std::int32_t v);
  static Variant single(float v);
  static Variant dbl(double v);
  // Currency from its scaled integer (value * 10,000).
  static Variant currencyScaled(std::int64_t scaled);
  static Variant decimal(Decimal v);
  static Variant date(double oleDate);
  static Variant string(std::u16string v);
  static Variant binary(std::vector<std::uint8_t> v);
  // An object reference; a null pointer is Nothing.
  static Variant object(std::shared_ptr<Object> v);

  VarType type() const { return type_; }
  bool isEmpty() const { return type_ == VarType::Empty; }
  bool isNull() const { return type_ == VarType::Null; }
  bool isString() const { return type_ == VarType::String; }
  // True for Byte, Integer, Long, Single, Double, Currency, Decimal and Boolean.
  bool isNumber() const;

  bool asBool() const { return i_ != 0; }
  std::int64_t asInt() const { return i_; }  // Byte/Integer/Long/Boolean; Currency scaled
  double asDouble() const { return d_; }     // Single/Double/Date
  const Decimal& asDecimal() const { return decimal_; }
  const std::u16string& asString() const { return s_; }
  const std::vector<std::uint8_t>& asBytes() const { return bytes_; }
  const std::shared_ptr<Object>& asObject() const { return object_; }

  // Exact equality of kind and value (tests and comparisons with fixed words);
  // Decimals are equal when their numbers are (1.50 equals 1.5).
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  VarType type_ = VarType::Empty;
  std::int64_t i_ = 0;
  double d_ = 0;
  Decimal decimal_;
  std::u16string s_;
  std::vector<std::uint8_t> bytes_;
  std::shared_ptr<Object> object_;
};

// The automation name of a value's type: "Double", "String", "Null", ...
const char* typeName(VarType t);

}  // namespace dorvane
