#include "platform/db/odbc/odbc_api.h"

namespace dorvane::db {

// The Windows build links odbc32: the table points at it.
const OdbcApi& driverManager() {
  static const OdbcApi api = [] {
    OdbcApi a;
#define DORVANE_ODBC_LINKED(name) a.name = &::name;
    DORVANE_ODBC_CALLS(DORVANE_ODBC_LINKED)
#undef DORVANE_ODBC_LINKED
    return a;
  }();
  return api;
}

}  // namespace dorvane::db
