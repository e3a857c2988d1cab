// The running spreadsheet application on Windows, reached over automation:
// the instance registered in the Running Object Table under the ProgID
// "Excel.Application", driven through IDispatch by member name (Windows only).
//
// The objects implement the spreadsheet interfaces of dorvane/sheet.h with
// the application's own search, addresses, values and comments. Each call
// crosses into the application's process, so the objects ask for nothing
// twice: a range keeps its address, row and column once read, a worksheet
// its range of all cells. Objects belong to the apartment of the thread that
// attached.
#pragma once

#include <dorvane/sheet.h>

#include <memory>
#include <string>

namespace dorvane::sheet::automation {

// The ProgID of the application attach looks for.
inline constexpr const char16_t* kApplicationProgId = u"Excel.Application";

// Attaches to the running instance of progId (CLSIDFromProgID, then
// GetActiveObject); never starts one. Raises 429 when the ProgID is not
// registered or no instance runs (or the calling thread has no apartment).
std::shared_ptr<Application> attach(const std::u16string& progId = kApplicationProgId);

}  // namespace dorvane::sheet::automation
