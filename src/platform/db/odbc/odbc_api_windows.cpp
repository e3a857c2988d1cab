#include "platform/db/odbc/odbc_api.h"

namespace dorvane::db {

// The Windows build links odbc32: the table points at it.
const OdbcApi& driverManager() {
#define DORVANE_ODBC_LINKED(name) &::name,
  static const OdbcApi api{DORVANE_ODBC_CALLS(DORVANE_ODBC_LINKED)};
#undef DORVANE_ODBC_LINKED
  return api;
}

}  // namespace dorvane::db
