// Test support: whether tests may start a private LibreOffice Calc here.
#pragma once

#include <optional>
#include <string>

#include "platform/sheet/calc/calc_sheet.h"

namespace dorvane::testing {

// Why Calc tests cannot run in this build, or nothing when they can.
inline std::optional<std::string> calcUnavailable() {
  if (!sheet::calc::calcSupported()) {
    return "this build has no LibreOffice Calc support (install libreoffice-calc and "
           "libreoffice-dev, then reconfigure)";
  }
  return std::nullopt;
}

}  // namespace dorvane::testing
