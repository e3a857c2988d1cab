// What the commands do through an office suite, and what the build lacks.
// One file per system: office.cpp (LibreOffice Calc: the running Calc, and
// a private headless Calc for .xls/.ods files and --office) and
// src/windows/cli/office_windows.cpp (no office suite: the running Excel is
// reached through the running spreadsheet; workbook files are merged
// natively or not at all).
#pragma once

#include <optional>
#include <string>

#include "cli/sheet_merge.h"

namespace dorvane::cli::office {

// Appended to dorvane's usage: what this build's commands lack ("" for none).
extern const char kUsageNote[];

// Pieces of `dorvane sheet --help`: its usage lines, the merge without IN
// and OUT, the files not merged natively, the --office option, and the
// interruptions with their exit statuses.
extern const char kSheetUsage[];
extern const char kSheetRunning[];
extern const char kSheetOthers[];
extern const char kSheetOfficeOption[];
extern const char kSheetInterruptions[];

// Why OUT cannot be written through the office suite, or nothing when it can.
std::optional<std::string> checkOut(const std::string& out);

// Merges IN into OUT through the office suite; returns the exit status.
int mergeFile(const SheetOptions& o);

// Ends the private office suites at once. Async-signal-safe.
void stopFromSignal() noexcept;

}  // namespace dorvane::cli::office
