// The command of a part the Windows build does not have: the network
// service, whose HTTP server and metrics libraries are not built for
// Windows. It says so and exits with 2.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"

namespace dorvane::cli {

Command serveCommand(CLI::App& dorvane) {
  auto args = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = addCommand(
      dorvane, "serve",
      [] {
        return std::string(
            "Usage: dorvane serve --config FILE [--listen ADDR:PORT] [--check-config]\n"
            "\n"
            "dorvane serve is not part of the Windows build: the network service's HTTP\n"
            "server and metrics libraries are not built for Windows. Run it on Linux,\n"
            "or merge with 'dorvane web', 'dorvane sheet' and 'dorvane batch' here.\n");
      },
      args.get());
  // Its options are taken, so that using them is told what is missing rather
  // than that they are unknown; the arguments live as long as the command.
  auto options = std::make_shared<std::vector<std::string>>(3);
  cmd->add_option("--config", (*options)[0]);
  cmd->add_option("--listen", (*options)[1]);
  cmd->add_flag("--check-config");
  return {cmd, [args, options] {
            std::fprintf(stderr, "dorvane serve: not part of the Windows build of Dorvane\n");
            return kExitUsage;
          }};
}

}  // namespace dorvane::cli
