// The commands of parts the Windows build does not have yet: the worksheet
// merge on a running spreadsheet or a workbook file, batch runs, the Access
// file inspector and the network service. Each says so and exits with 2.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"

namespace dorvane::cli {

namespace {

Command unavailable(CLI::App& dorvane, const char* name) {
  auto args = std::make_shared<std::vector<std::string>>();
  std::string help = std::string("dorvane ") + name + " is not part of the Windows build.\n";
  CLI::App* cmd = addCommand(
      dorvane, name, [help] { return help; }, args.get());
  return {cmd, [name] {
            std::fprintf(stderr, "dorvane %s: not part of the Windows build of Dorvane\n", name);
            return kExitUsage;
          }};
}

}  // namespace

Command sheetCommand(CLI::App& dorvane) { return unavailable(dorvane, "sheet"); }
Command batchCommand(CLI::App& dorvane) { return unavailable(dorvane, "batch"); }
Command inspectCommand(CLI::App& dorvane) { return unavailable(dorvane, "inspect"); }
Command serveCommand(CLI::App& dorvane) { return unavailable(dorvane, "serve"); }

}  // namespace dorvane::cli
