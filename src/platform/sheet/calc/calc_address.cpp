// Where the running Calc listens, and the stand-in when the build has no
// LibreOffice support.
#include <dorvane/runtime_error.h>

#include <cstdlib>

#include "platform/sheet/calc/calc_sheet.h"

namespace dorvane::sheet::calc {

std::string addressFromEnvironment() {
  const char* env = std::getenv("DORVANE_CALC");
  if (env && *env) return env;
  return "pipe,name=dorvane";
}

std::string unoUrl(const std::string& address) {
  if (address.rfind("uno:", 0) == 0) return address;
  return "uno:" + address + ";urp;StarOffice.ComponentContext";
}

#ifndef DORVANE_HAVE_UNO
bool calcSupported() { return false; }

std::shared_ptr<Application> attach(const std::string& address) {
  throw RuntimeError(err::kCannotCreateObject,
                     "No spreadsheet application is running: none was registered in this "
                     "process, and this build of Dorvane has no LibreOffice Calc support "
                     "(install libreoffice-dev and rebuild) to attach to " +
                         unoUrl(address));
}
#endif

}  // namespace dorvane::sheet::calc
