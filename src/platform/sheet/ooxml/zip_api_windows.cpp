#include "platform/sheet/ooxml/zip_api.h"

namespace dorvane::sheet::ooxml {

// The Windows build links libzip statically: the table points at it.
const ZipApi& libzip() {
  static const ZipApi api = [] {
    ZipApi a;
#define DORVANE_ZIP_LINKED(name) a.name = &::name;
    DORVANE_ZIP_CALLS(DORVANE_ZIP_LINKED)
#undef DORVANE_ZIP_LINKED
    return a;
  }();
  return api;
}

}  // namespace dorvane::sheet::ooxml
