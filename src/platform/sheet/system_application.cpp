// The running spreadsheet application of a POSIX system: LibreOffice Calc
// listening at the address of DORVANE_CALC.
#include "platform/sheet/system_application.h"

#include "platform/sheet/calc/calc_backend.h"
#include "platform/sheet/calc/calc_sheet.h"

namespace dorvane::sheet {

std::shared_ptr<Application> attachSystemApplication() {
  return calc::backend().attach(calc::addressFromEnvironment());
}

}  // namespace dorvane::sheet
