// Mapping of SQLite column values to Variants by the column's declared type.
//
//   BOOLEAN, BOOL, BIT, YESNO, LOGICAL     -> Boolean (0 False, other numbers True)
//   DATE, DATETIME, TIMESTAMP              -> Date (ISO text, or a serial number)
//   CURRENCY, MONEY                        -> Currency (exact from text)
//   TINYINT, BYTE                          -> Byte;  SMALLINT, SHORT -> Integer
//   SINGLE, FLOAT4                         -> Single
//   other integers -> Long (Double beyond 32 bits); reals -> Double;
//   texts -> String; blobs -> Binary; NULL -> Null.
//   DECIMAL BLOB                           -> Decimal (exact from text or a number)
//   COMPLEX                                -> a nested recordset (Fields refuses it)
// A stored value that does not fit its declared kind keeps its own kind.
#pragma once

#include <dorvane/variant.h>
#include <sqlite3.h>

#include <string>

namespace dorvane::db {

// Complex: a nested recordset of a kind not known; the three after it name theirs.
enum class ColumnKind {
  Plain,
  Boolean,
  Date,
  Currency,
  Byte,
  Integer,
  Single,
  Decimal,
  Complex,
  Attachment,
  MultiValue,
  VersionHistory
};

// The declared types of the Decimal and nested-recordset columns of an
// Access file's copy (BLOB affinity keeps decimal text as it is). Every
// nested-recordset type begins with kComplexDeclType.
inline constexpr const char* kDecimalDeclType = "DECIMAL BLOB";
inline constexpr const char* kComplexDeclType = "COMPLEX";
inline constexpr const char* kAttachmentDeclType = "COMPLEX ATTACHMENT";
inline constexpr const char* kMultiValueDeclType = "COMPLEX MULTIVALUE";
inline constexpr const char* kVersionHistoryDeclType = "COMPLEX VERSIONHISTORY";

// What a nested-recordset column is, for messages ("an attachment column"),
// or nullptr for a column of values.
const char* nestedColumnText(ColumnKind kind);

// Exact decimal text of a double when it names the same number as the
// shortest form that reads back as it ("0.1", "50.325"), else "".
std::string exactDecimalText(double d);

ColumnKind kindFromDeclType(const char* declType);

// utf16: the database stores its text as UTF-16, so texts are read as they
// are stored (asking for UTF-8 would make SQLite convert and allocate).
Variant columnValue(sqlite3_stmt* stmt, int column, ColumnKind kind, bool utf16 = false);

// The text of a column as UTF-16 ("" for NULL), read in the database's own
// encoding (utf16 as above).
std::u16string columnText16(sqlite3_stmt* stmt, int column, bool utf16 = false);

// Binds a Variant as parameter index (1-based) of stmt.
void bindVariant(sqlite3_stmt* stmt, int index, const Variant& v);

}  // namespace dorvane::db
