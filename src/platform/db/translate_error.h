// The error of a translation of Access SQL (access_sql_translate.h, for the
// engine's SQL; odbc/odbc_sql.h, for a database server). Callers turn it into
// the run-time error of the statement they run.
#pragma once

#include <stdexcept>
#include <string>

namespace dorvane::db {

// Raised for SQL or an expression that cannot be translated; what() is the reason.
class TranslateError : public std::runtime_error {
 public:
  explicit TranslateError(const std::string& reason);
  ~TranslateError() override;
};

}  // namespace dorvane::db
