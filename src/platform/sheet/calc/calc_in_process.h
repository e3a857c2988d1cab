// The office this code runs in as the running spreadsheet application: a
// component loaded into LibreOffice reaches the office's documents through
// the component context it was created with — the same objects, called
// directly, no connection and no second office.
#pragma once

#ifdef DORVANE_HAVE_UNO

#include <dorvane/sheet.h>

#include <memory>

#include "platform/sheet/calc/calc_uno.h"

namespace dorvane::sheet::calc {

// The application of the office behind context, a context given to a
// component by the office that loaded it. Its ActiveWorkbook is the current
// spreadsheet document (the one whose macro runs), else the first one open.
// Raises 1004 when the office has no desktop.
std::shared_ptr<Application> inProcess(const uno::Reference<uno::XComponentContext>& context);

}  // namespace dorvane::sheet::calc

#endif
