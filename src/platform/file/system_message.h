// The system's own sentence for a Windows error code, for the descriptions
// of run-time errors raised by the Windows files of the platform layer.
#pragma once

#include <string>

namespace dorvane::file {

// FormatMessageW's text for code (an error of GetLastError), in UTF-8,
// without its line end; "error N" when the system has none.
std::string systemMessage(unsigned long code);

}  // namespace dorvane::file
