// The Calc backend over UNO as an object, for the module's entry point and
// for a host that has the Calc code linked in (calc_backend.h, useBackend).
#pragma once

#include "platform/sheet/calc/calc_backend.h"

namespace dorvane::sheet::calc {

// This process's backend over UNO; lives as long as the process.
Backend& unoBackend();

}  // namespace dorvane::sheet::calc
