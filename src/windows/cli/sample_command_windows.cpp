// dorvane sample on Windows: the control's sample run, a ctlMessage created
// by its ProgID through COM merging the sample page in the fixed sample
// folder that the installer fills (control/sample_run_windows.cpp). A
// failure prints its reason on stderr and exits with 1.
#include <dorvane/message_box.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "control/sample_run.h"

namespace dorvane::cli {

namespace {

std::string sampleHelp() {
  return "Usage: dorvane sample\n\n"
         "The control's sample run: creates a ctlMessage by its ProgID and merges\n"
         "sampleweb.htm into sampleweb1.htm against samplekiv.sqlite, all in the\n"
         "sample folder " +
         sampleFolder() +
         "\n"
         "that the installer fills. Dorvane.ocx must be registered.\n";
}

}  // namespace

Command sampleCommand(CLI::App& dorvane) {
  auto args = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = addCommand(dorvane, "sample", sampleHelp, args.get());
  return {cmd, [args] {
            if (!args->empty())
              return usage("sample", "it takes no arguments", sampleHelp().c_str());
            ConsoleMessageBox box;
            if (!runSample(box)) return kExitFailed;
            std::printf("%s\\sampleweb1.htm\n", sampleFolder().c_str());
            return kExitOk;
          }};
}

}  // namespace dorvane::cli
