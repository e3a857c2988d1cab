// Finding Dorvane.ocx for the command line: the registered server, the
// library beside the running program (a build tree), the one in the library
// folder of the installation the program belongs to, or the installed one.
#pragma once

#include <string>

namespace dorvane::com {

// The path of the library to use, or "" when none is found.
std::string locateLibrary();

// Loads the library at path and calls its entry point name (DllRegisterServer
// or DllUnregisterServer). Returns the result, or sets reason and returns a
// failure when the library cannot be loaded or lacks the entry point.
int callLibraryEntry(const std::string& path, const char* name, std::string* reason);

// The library's version data: its section .dorvane_version read from the file,
// else what its DorvaneVersionInfo returns; "" with reason set when neither is there.
std::string libraryVersionInfo(const std::string& path, std::string* reason);

}  // namespace dorvane::com
