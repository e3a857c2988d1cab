// The spreadsheet application of the system, for attachRunning when neither
// the calling thread nor a host names one. One file per system:
// system_application.cpp (LibreOffice Calc at the UNO address of
// DORVANE_CALC) and system_application_windows.cpp (the instance of
// "Excel.Application" in the Running Object Table, over automation).
#pragma once

#include <dorvane/sheet.h>

#include <memory>

namespace dorvane::sheet {

// Attaches to the system's running spreadsheet application. Never starts
// one; raises a run-time error (429 on Windows) when none runs.
std::shared_ptr<Application> attachSystemApplication();

}  // namespace dorvane::sheet
