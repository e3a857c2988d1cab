// What the Access reader hands over: a table's definition and its rows as
// plain values, independent of SQLite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dorvane::db {

// Jet column type codes as stored in the file.
namespace jet {
inline constexpr int kBoolean = 0x01;
inline constexpr int kByte = 0x02;
inline constexpr int kInteger = 0x03;
inline constexpr int kLong = 0x04;
inline constexpr int kCurrency = 0x05;
inline constexpr int kSingle = 0x06;
inline constexpr int kDouble = 0x07;
inline constexpr int kDateTime = 0x08;
inline constexpr int kBinary = 0x09;
inline constexpr int kText = 0x0A;
inline constexpr int kOle = 0x0B;
inline constexpr int kMemo = 0x0C;
inline constexpr int kGuid = 0x0F;
inline constexpr int kNumeric = 0x10;
inline constexpr int kComplex = 0x12;
inline constexpr int kBigInt = 0x13;            // Large Number (Access 2016+)
inline constexpr int kExtendedDateTime = 0x14;  // Date/Time Extended (Access 2019+)
}  // namespace jet

// What a complex column (jet::kComplex) holds: a nested recordset of files,
// of several values, or of the earlier texts of an append-only Memo.
enum class NestedKind : std::uint8_t { None, Attachment, MultiValue, VersionHistory };

struct AccessColumn {
  std::string name;  // UTF-8
  int type = 0;      // jet::k...
  int size = 0;      // Text: characters; other types: bytes as stored
  int precision = 0;
  int scale = 0;
  // A calculated column (Access 2010+): type is the type of its results
  // (its ResultType), which Access stores behind a header.
  bool calculated = false;
  NestedKind nested = NestedKind::None;  // complex columns only
};

struct AccessIndex {
  std::string name;  // UTF-8, as Access shows it ("PrimaryKey", "ｷｰ")
  bool primaryKey = false;
  bool foreignKey = false;  // a relationship's index, not one the user made
  bool unique = false;
  std::vector<int> columns;  // positions in AccessTableDef::columns
  std::vector<bool> descending;
};

struct AccessTableDef {
  std::string name;  // UTF-8
  std::vector<AccessColumn> columns;
  std::vector<AccessIndex> indexes;
};

// One stored value in the form the SQLite copy keeps it.
struct JetValue {
  // Decimal: an exact decimal number, its digits in text ("-50.325").
  enum class Kind : std::uint8_t { Null, Integer, Real, Currency, Text, Blob, Decimal };
  static constexpr Kind kLastKind = Kind::Decimal;
  Kind kind = Kind::Null;
  std::int64_t i = 0;   // Integer; Currency scaled by 10,000
  double d = 0;         // Real
  std::u16string text;  // Text; Decimal
  std::vector<std::uint8_t> bytes;
};

// Receives a table read by the Access reader: the definition once, then each row.
class TableSink {
 public:
  virtual ~TableSink() = default;
  virtual void begin(const AccessTableDef& def) = 0;
  // row holds one value per column of the definition, in its order.
  virtual void row(const std::vector<JetValue>& row) = 0;
};

}  // namespace dorvane::db
