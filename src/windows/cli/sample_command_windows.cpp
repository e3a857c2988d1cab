// dorvane sample on Windows: the control's sample run, a ctlMessage created
// by its ProgID through COM merging the sample page in the sample folder.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"

namespace dorvane::cli {

Command sampleCommand(CLI::App& dorvane) {
  auto args = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = addCommand(
      dorvane, "sample", [] { return std::string("Usage: dorvane sample\n"); }, args.get());
  return {cmd, [] {
            std::fprintf(stderr, "dorvane sample: not yet part of the Windows build\n");
            return kExitUsage;
          }};
}

}  // namespace dorvane::cli
