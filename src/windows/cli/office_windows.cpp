// The commands on Windows, which has no office suite for them: the running
// spreadsheet is the running Excel, reached over automation; workbook files
// are merged natively, and .xls/.ods files and --office, which need
// LibreOffice Calc, are refused. The network service is not built either.
#include <cstdio>

#include "cli/commands.h"
#include "cli/office.h"

namespace dorvane::cli::office {

namespace {

constexpr char kNoCalc[] =
    ".xls and .ods workbooks, and --office, need LibreOffice Calc, which is not part of the "
    "Windows build (save the workbook as .xlsx or .xlsm)";

}  // namespace

const char kUsageNote[] =
    "\n"
    "On Windows, sheet without IN and OUT merges into the running Excel, and\n"
    "workbook files are merged natively only: .xls/.ods files and --office need\n"
    "LibreOffice Calc. serve is not part of the Windows build: its HTTP server\n"
    "and metrics libraries are not built for Windows.\n";

const char kSheetUsage[] =
    "Usage: dorvane sheet --db KIVDB [--db2 KIVDB2] [--explain] [--report FILE.html]\n"
    "       dorvane sheet IN OUT --db KIVDB [--db2 KIVDB2] [--explain]\n"
    "                            [--report FILE.html]\n";

const char kSheetRunning[] =
    "Without IN and OUT it merges the active sheet of the running Excel (the\n"
    "\"Excel.Application\" in the Running Object Table); saving the workbook is\n"
    "left to you.\n";

const char kSheetOthers[] =
    "Other files (.xls, .ods), and --office, need LibreOffice Calc, which is not\n"
    "part of the Windows build: they are refused as a usage error.\n";

const char kSheetOfficeOption[] = "";

const char kSheetInterruptions[] =
    "130 interrupted\n"
    "by Ctrl+C, 143 by Ctrl+Break or the console's closing (OUT not written).\n";

std::optional<std::string> checkOut(const std::string&) { return std::string(kNoCalc); }

int mergeFile(const SheetOptions&) {
  std::fprintf(stderr, "dorvane sheet: %s\n", kNoCalc);
  return kExitUsage;
}

void stopFromSignal() noexcept {}

}  // namespace dorvane::cli::office
