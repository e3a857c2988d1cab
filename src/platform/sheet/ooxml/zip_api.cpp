#include "platform/sheet/ooxml/zip_api.h"

#include "platform/loaded_library.h"

namespace dorvane::sheet::ooxml {

const ZipApi& libzip() {
  // By the soname the build was made against.
  return LoadedLibrary::table<ZipApi>(
      DORVANE_LIBZIP_SONAME,
      [](LoadedLibrary& library, ZipApi& a) {
#define DORVANE_ZIP_BIND(name) library.bind(a.name, #name);
        DORVANE_ZIP_CALLS(DORVANE_ZIP_BIND)
#undef DORVANE_ZIP_BIND
      },
      err::kFileAccess, "Workbook files cannot be read or written: ");
}

}  // namespace dorvane::sheet::ooxml
