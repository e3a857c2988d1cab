#include "platform/db/odbc/odbc_api.h"

#include "platform/loaded_library.h"

namespace dorvane::db {

const OdbcApi& driverManager() {
  // By the soname the build was made against.
  return LoadedLibrary::table<OdbcApi>(
      DORVANE_ODBC_SONAME,
      [](LoadedLibrary& library, OdbcApi& a) {
#define DORVANE_ODBC_BIND(name) library.bind(a.name, #name);
        DORVANE_ODBC_CALLS(DORVANE_ODBC_BIND)
#undef DORVANE_ODBC_BIND
      },
      err::kOdbcConnectFailed, "The ODBC driver manager cannot be loaded: ");
}

}  // namespace dorvane::db
