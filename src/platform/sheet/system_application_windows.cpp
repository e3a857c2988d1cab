// The running spreadsheet application on Windows: the instance of
// "Excel.Application" in the Running Object Table, reached over automation.
// Without one attach raises 429 and each worksheet pass ends with "error".
#include "platform/sheet/automation/automation_sheet.h"
#include "platform/sheet/system_application.h"

namespace dorvane::sheet {

std::shared_ptr<Application> attachSystemApplication() { return automation::attach(); }

}  // namespace dorvane::sheet
