// RuntimeError: the system's one exception type.
//
// The platform layer raises it for every failing engine, sheet or conversion
// call; the merge passes catch it exactly where their error handlers stand.
// It carries an automation error number and a description a user can act on.
#pragma once

#include <stdexcept>
#include <string>

namespace dorvane {

// The error numbers raised by the system, each with its standard meaning.
namespace err {
inline constexpr int kInvalidCall = 5;          // a bad argument (a cut length, a code page)
inline constexpr int kOverflow = 6;             // a number or position out of range
inline constexpr int kOutOfMemory = 7;          // a page too large for memory or its limit
inline constexpr int kSubscriptOutOfRange = 9;  // a detail slot outside 0..100
inline constexpr int kDivisionByZero = 11;      // "単位" of 0 in a division
inline constexpr int kTypeMismatch = 13;        // a value that cannot be converted
inline constexpr int kNoSuchFile = 53;          // a page file that does not exist
inline constexpr int kDiskFull = 61;            // a result past the disk or the file-size limit
inline constexpr int kFileAccess = 75;    // a page or result file that cannot be read or written
inline constexpr int kObjectNotSet = 91;  // no workbook, no cell where one is needed
inline constexpr int kInvalidUseOfNull = 94;        // Null where a value is required
inline constexpr int kCannotCreateObject = 429;     // no spreadsheet application running
inline constexpr int kNoSuchMember = 438;           // an automation object lacks a member
inline constexpr int kServerUnavailable = 462;      // the spreadsheet application went away
inline constexpr int kSheetOperationFailed = 1004;  // a cell, comment or search call refused
inline constexpr int kNoCurrentIndex = 3019;        // Seek before an index is set
inline constexpr int kNoCurrentRecord = 3021;       // Fields or Move without a current row
inline constexpr int kFileNotFound = 3024;          // database file missing
inline constexpr int kNotValidPassword = 3031;      // a database opened without its password
inline constexpr int kFileInUse = 3045;             // a database locked by a writer past the wait
inline constexpr int kCannotOpenDatabase = 3049;    // a damaged or protected database file
inline constexpr int kCannotOpenFile = 3051;  // a database we may not open (permission, exclusive)
inline constexpr int kSyntaxError = 3075;     // SQL that the engine rejects
inline constexpr int kNoSuchTableOrQuery = 3078;     // OpenRecordset of an unknown name
inline constexpr int kOdbcCallFailed = 3146;         // a server refused a call, or was lost
inline constexpr int kOdbcConnectFailed = 3151;      // no data source, or no login to it
inline constexpr int kOperationNotSupported = 3251;  // Index/Seek on a non-table; mixed sources
inline constexpr int kItemNotFound = 3265;           // a field name the recordset lacks
inline constexpr int kUnrecognizedFormat = 3343;     // a file that is no database
inline constexpr int kNotAnIndex = 3800;             // Index set to a name the table lacks
}  // namespace err

class RuntimeError : public std::runtime_error {
 public:
  RuntimeError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }
  const char* description() const { return what(); }

 private:
  int number_;
};

}  // namespace dorvane
