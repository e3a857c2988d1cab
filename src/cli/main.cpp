// dorvane: fills templates with values from reference databases.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"

namespace {

const char kUsage[] =
    "Usage: dorvane COMMAND [ARGS...]\n"
    "\n"
    "Commands:\n"
    "  resolve TEXT --db KIVDB --pass N [--kind worksheet|page] [--json] [--explain]\n"
    "      Resolve one value placeholder (for example '!!price,A01;') against the\n"
    "      reference table of KIVDB in pass N (1 or 2) and print the outcome, the\n"
    "      value and the comment.\n"
    "  register [LIBRARY] / unregister [LIBRARY]\n"
    "      Register or unregister the component library Dorvane.ocx.\n"
    "  sample\n"
    "      The control's sample run: create ctlMessage by its ProgID and merge the\n"
    "      sample page in the sample folder.\n"
    "\n"
    "Run 'dorvane COMMAND --help' for the details of a command, 'dorvane --version'\n"
    "for the version data of the program and of Dorvane.ocx.\n"
    "Databases: SQLite 3 files. Access files (.mdb/.accdb) are recognised but\n"
    "not read yet.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return dorvane::cli::kExitUsage;
  }
  std::string command = argv[1];
  dorvane::cli::Args args(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return dorvane::cli::kExitOk;
  }
  if (command == "--version" || command == "version") return dorvane::cli::versionCommand();
  if (command == "resolve") return dorvane::cli::resolveCommand(args);
  if (command == "register") return dorvane::cli::registerCommand(args);
  if (command == "unregister") return dorvane::cli::unregisterCommand(args);
  if (command == "sample") return dorvane::cli::sampleCommand(args);
  std::fprintf(stderr, "dorvane: unknown command '%s'\n\n%s", command.c_str(), kUsage);
  return dorvane::cli::kExitUsage;
}
