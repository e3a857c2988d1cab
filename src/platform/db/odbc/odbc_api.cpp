#include "platform/db/odbc/odbc_api.h"

#include <dlfcn.h>
#include <dorvane/runtime_error.h>

#include <string>

namespace dorvane::db {

namespace {

// Loads the driver manager by its soname (the one the build was made
// against) and looks every call up; the library stays loaded.
OdbcApi load(std::string& why) {
  OdbcApi api;
  void* h = ::dlopen(DORVANE_ODBC_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = ::dlerror();
    why = e ? e : DORVANE_ODBC_SONAME " cannot be loaded";
    return api;
  }
#define DORVANE_ODBC_LOOKUP(name)                                    \
  api.name = reinterpret_cast<decltype(&::name)>(::dlsym(h, #name)); \
  if (!api.name && why.empty()) why = DORVANE_ODBC_SONAME " has no " #name;
  DORVANE_ODBC_CALLS(DORVANE_ODBC_LOOKUP)
#undef DORVANE_ODBC_LOOKUP
  return api;
}

}  // namespace

const OdbcApi& driverManager() {
  static std::string why;
  static const OdbcApi api = load(why);
  if (!why.empty()) {
    throw RuntimeError(err::kOdbcConnectFailed, "The ODBC driver manager cannot be loaded: " + why);
  }
  return api;
}

}  // namespace dorvane::db
