// The entry point of dorvane-calc.so: the Calc backend as a module of its
// own, loaded only when a merge needs Calc, so that LibreOffice's libraries
// are no part of any other start.
#include "platform/sheet/calc/calc_module.h"

extern "C" __attribute__((visibility("default"))) dorvane::sheet::calc::Backend*
dorvane_calc_backend() {
  return &dorvane::sheet::calc::unoBackend();
}
