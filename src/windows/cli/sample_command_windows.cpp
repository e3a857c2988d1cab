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
         "What a click on the control's button does: a new Dorvane.ctlMessage (by its\n"
         "ProgID, so Dorvane.ocx must be registered) calls ocxwebKiv on the files of\n"
         "the installer's sample folder " +
         sampleFolder() +
         ":\n"
         "sampleweb.htm merged into sampleweb1.htm against samplekiv.sqlite.\n";
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
