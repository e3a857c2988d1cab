#include "platform/sheet/ooxml/zip_api.h"

#include <dlfcn.h>
#include <dorvane/runtime_error.h>

#include <string>

namespace dorvane::sheet::ooxml {

namespace {

// Loads libzip by its soname (the one the build was made against) and looks
// every call up; the library stays loaded.
ZipApi load(std::string& why) {
  ZipApi api;
  void* h = ::dlopen(DORVANE_LIBZIP_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = ::dlerror();
    why = e ? e : DORVANE_LIBZIP_SONAME " cannot be loaded";
    return api;
  }
#define DORVANE_ZIP_LOOKUP(name)                                     \
  api.name = reinterpret_cast<decltype(&::name)>(::dlsym(h, #name)); \
  if (!api.name && why.empty()) why = DORVANE_LIBZIP_SONAME " has no " #name;
  DORVANE_ZIP_CALLS(DORVANE_ZIP_LOOKUP)
#undef DORVANE_ZIP_LOOKUP
  return api;
}

}  // namespace

const ZipApi& libzip() {
  static std::string why;
  static const ZipApi api = load(why);
  if (!why.empty()) {
    throw RuntimeError(err::kFileAccess, "Workbook files cannot be read or written: " + why);
  }
  return api;
}

}  // namespace dorvane::sheet::ooxml
