#include "platform/sheet/ooxml/zip_api.h"

namespace dorvane::sheet::ooxml {

// The Windows build links libzip statically: the table points at it.
const ZipApi& libzip() {
#define DORVANE_ZIP_LINKED(name) &::name,
  static const ZipApi api{DORVANE_ZIP_CALLS(DORVANE_ZIP_LINKED)};
#undef DORVANE_ZIP_LINKED
  return api;
}

}  // namespace dorvane::sheet::ooxml
