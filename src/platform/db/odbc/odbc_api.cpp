#include "platform/db/odbc/odbc_api.h"

#include <dorvane/runtime_error.h>

#include "platform/loaded_library.h"

namespace dorvane::db {

const OdbcApi& driverManager() {
  static std::string why;
  static const OdbcApi api = [] {
    LoadedLibrary lib(DORVANE_ODBC_SONAME);  // the soname the build was made against
    OdbcApi a;
#define DORVANE_ODBC_BIND(name) lib.bind(a.name, #name);
    DORVANE_ODBC_CALLS(DORVANE_ODBC_BIND)
#undef DORVANE_ODBC_BIND
    why = lib.failure();
    return a;
  }();
  if (!why.empty()) {
    throw RuntimeError(err::kOdbcConnectFailed, "The ODBC driver manager cannot be loaded: " + why);
  }
  return api;
}

}  // namespace dorvane::db
