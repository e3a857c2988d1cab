// LibreOffice Calc as the running spreadsheet application, reached over UNO.
// Only this header is free of UNO types; it is usable whether or not the
// build has LibreOffice support (calcSupported() tells).
#pragma once

#include <dorvane/sheet.h>

#include <memory>
#include <string>

namespace dorvane::sheet::calc {

// True when this build can talk to LibreOffice Calc.
bool calcSupported();

// The UNO connection of the running Calc: DORVANE_CALC when set (for example
// "pipe,name=dorvane" or "socket,host=localhost,port=2002"; a value that
// starts with "uno:" is taken as the whole UNO URL), else the pipe "dorvane".
std::string addressFromEnvironment();

// The UNO URL of the component context at address.
std::string unoUrl(const std::string& address);

// Attaches to the Calc listening at address; never starts one. Raises 429
// when none listens there (or the build lacks LibreOffice support).
std::shared_ptr<Application> attach(const std::string& address);

}  // namespace dorvane::sheet::calc
