// dorvane: fills templates with values from reference databases.
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/office.h"

namespace {

const char kUsage[] =
    "Usage: dorvane COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  resolve TEXT --db KIVDB --pass N [--kind worksheet|page] [--json] [--explain]\n"
    "      Resolve one value placeholder (for example '!!price,A01;') against the\n"
    "      reference table of KIVDB in pass N (1 or 2) and print the outcome, the\n"
    "      value and the comment.\n"
    "  web READFILE SAVEFILE KIVDB [KIVDB2] [--codepage N] [--explain]\n"
    "      [--report FILE.html]\n"
    "      Merge the page READFILE into SAVEFILE: values at 'gethere', detail\n"
    "      tables, four runs (KIVDB and KIVDB2, passes 1 and 2).\n"
    "  sheet [IN OUT] --db KIVDB [--db2 KIVDB2] [--explain] [--office]\n"
    "      [--report FILE.html]\n"
    "      Merge into the active sheet of the running spreadsheet, or merge\n"
    "      the workbook file IN into OUT: .xlsx/.xlsm/.xltx/.xltm natively,\n"
    "      .xls/.ods (and any file with --office) through a private headless Calc.\n"
    "  batch JOBS [-j N]\n"
    "      Run the page and workbook merges listed in the JSON Lines file JOBS\n"
    "      ('-' for standard input) in one process with N workers.\n"
    "  inspect DB [--json] [--check]\n"
    "      List the tables (rows, columns, named indexes), linked tables and\n"
    "      stored queries (with the SQL rebuilt for them) of the Access file DB.\n"
    "  register [LIBRARY] / unregister [LIBRARY]\n"
    "      Register or unregister the component library Dorvane.ocx.\n"
    "  serve --config FILE [--listen ADDR:PORT] [--check-config]\n"
    "      Answer merges over HTTP: the network service.\n"
    "  sample\n"
    "      The control's sample run: create ctlMessage by its ProgID and merge the\n"
    "      sample page in the sample folder.\n"
    "\n"
    "Run 'dorvane COMMAND --help' for the details of a command, 'dorvane --version'\n"
    "for the version data of the program and of Dorvane.ocx.\n"
    "Databases: SQLite 3 files, Access files (.mdb/.accdb: Jet 3, Jet 4, ACE) and\n"
    "database servers through ODBC: tables linked in Access files, or connect\n"
    "strings beginning 'ODBC;' (as KIVDB or in DB名).\n";

}  // namespace

namespace dorvane::cli {

int dorvaneMain(int argc, char** argv) {
  CLI::App app("", "dorvane");
  const std::vector<Command> commands = {
      resolveCommand(app),    webCommand(app),     sheetCommand(app),
      batchCommand(app),      inspectCommand(app), registerCommand(app),
      unregisterCommand(app), sampleCommand(app),  serveCommand(app)};
  return runCommandLine(
      app, commands, [] { return std::string(kUsage) + office::kUsageNote; }, versionCommand, argc,
      argv);
}

}  // namespace dorvane::cli
