#ifdef DORVANE_HAVE_UNO

#include "platform/sheet/calc/calc_in_process.h"

namespace dorvane::sheet::calc {

std::shared_ptr<Application> inProcess(const uno::Reference<uno::XComponentContext>& context) {
  return applicationOn(desktopOf(context), "this office");
}

}  // namespace dorvane::sheet::calc

#endif
