// Test support: whether tests may start a private LibreOffice Calc here.
#pragma once

#include <optional>
#include <string>

#include "platform/sheet/calc_sheet.h"

namespace dorvane::testing {

// Why Calc tests cannot run in this build, or nothing when they can. The UNO
// client library is not built with the sanitizers, and its bridge threads
// trip them; the sanitizer build therefore leaves the Calc tests out.
inline std::optional<std::string> calcUnavailable() {
  if (!sheet::calc::calcSupported()) {
    return "this build has no LibreOffice Calc support (install libreoffice-calc and "
           "libreoffice-dev, then reconfigure)";
  }
#if defined(__SANITIZE_ADDRESS__)
  if (true) return "LibreOffice Calc tests do not run in the sanitizer build";
#endif
  return std::nullopt;
}

}  // namespace dorvane::testing
