// Jet values from their stored bytes, and the SQLite form of each Jet type.
//
// The decoders read what the file holds, not a printed form of it:
// dates are the stored double (the full range, before 1899 and after 2700),
// Currency the stored scaled integer, Single the stored float, GUIDs all 16
// bytes. Each raises std::runtime_error when the bytes are too few for the type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/db/access/access_table.h"

namespace dorvane::db {

// Text of a Jet 4 Text or Memo value: UTF-16LE, or the compressed form that
// starts with FF FE and switches between one-byte and two-byte runs at each 00.
std::u16string decodeJet4Text(const std::uint8_t* p, std::size_t n);
// The same into out, whose room is kept for the next value.
void decodeJet4Text(const std::uint8_t* p, std::size_t n, std::u16string& out);

// Text of a Jet 3 Text or Memo value, stored in the file's code page
// (1252 when the file names none iconv knows). Bytes the code page leaves
// undefined come back as Windows gives them: in code page 1252 the five
// undefined bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D as U+0081 etc., elsewhere
// as the code page conversion's escapes; nothing becomes "?".
std::u16string decodeJet3Text(const std::uint8_t* p, std::size_t n, int codePage);

// A fixed-size value of Jet type `type` (Byte, Integer, Long, Currency,
// Single, Double, Date/Time, GUID, Numeric, Complex) from n stored bytes.
// scale is the column's scale (Numeric only); a Numeric is an exact Decimal
// and raises when its magnitude exceeds 96 bits.
JetValue decodeFixedValue(int type, const std::uint8_t* p, std::size_t n, int scale);

// A Date/Time Extended value (42 ASCII bytes: days since 0001-01-01, ":",
// seconds of the day in 12 digits and 100-nanosecond ticks in 7, ":", a
// version digit) as a serial date, days since 1899-12-30, the time counted
// forward from the day's midnight also before 1899. The double keeps about a
// microsecond of a present-day time; finer ticks are rounded.
double decodeExtendedDate(const std::uint8_t* p, std::size_t n);

// The Decimal result of a calculated column: 16 bytes laid out like the
// automation DECIMAL (2 reserved bytes, scale, sign 0x80, the high 32 and the
// low 64 bits of the magnitude).
JetValue calculatedDecimal(const std::uint8_t* p, std::size_t n);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" from the 16 stored bytes.
std::u16string guidText(const std::uint8_t* p);

// Decimal text of a Currency value scaled by 10,000 ("-1234.5678", "125").
std::string currencyText(std::int64_t scaled);

// The declared type of the column in the SQLite copy, which fixes the Variant
// kind its values come back as: BOOLEAN, TINYINT, SMALLINT, INTEGER,
// "CURRENCY BLOB" (exact money, no affinity), SINGLE, DOUBLE, DATETIME
// (also Date/Time Extended), TEXT, BLOB, "DECIMAL BLOB" (exact Decimal) or
// COMPLEX (attachment and multi-value columns). A calculated column takes the
// type of its results.
const char* declaredType(const AccessColumn& column);

// True for column types whose values are text (Text, Memo).
bool isTextType(int type);

// The Access name of a Jet type ("Text", "Number (Long Integer)", ...).
std::string accessTypeName(const AccessColumn& column);

}  // namespace dorvane::db
