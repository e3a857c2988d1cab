// Only in builds under the sanitizers: the Calc backend linked into the
// program instead of loaded as dorvane-calc.so. LeakSanitizer does not count
// what a loaded module's libraries hold in their own data at exit, so it
// would report UNO's lifelong singletons (types, bootstrap arguments) as
// leaks; linked in, they are found as they were before.
#include "platform/sheet/calc/calc_module.h"

namespace {

const bool linkedIn = [] {
  dorvane::sheet::calc::useBackend(dorvane::sheet::calc::unoBackend());
  return true;
}();

}  // namespace
