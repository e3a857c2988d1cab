#include "platform/sheet/ooxml/zip_api.h"

#include <dorvane/runtime_error.h>

#include "platform/loaded_library.h"

namespace dorvane::sheet::ooxml {

const ZipApi& libzip() {
  static std::string why;
  static const ZipApi api = [] {
    LoadedLibrary lib(DORVANE_LIBZIP_SONAME);  // the soname the build was made against
    ZipApi a;
#define DORVANE_ZIP_BIND(name) lib.bind(a.name, #name);
    DORVANE_ZIP_CALLS(DORVANE_ZIP_BIND)
#undef DORVANE_ZIP_BIND
    why = lib.failure();
    return a;
  }();
  if (!why.empty()) {
    throw RuntimeError(err::kFileAccess, "Workbook files cannot be read or written: " + why);
  }
  return api;
}

}  // namespace dorvane::sheet::ooxml
