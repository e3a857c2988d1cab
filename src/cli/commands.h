// The subcommands of the dorvane command. Each adds itself to the command
// line (command_line.h); its run function returns the process exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace dorvane::cli {

struct Command;

// Exit statuses shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a run-time error, or nothing could be loaded/saved
inline constexpr int kExitUsage = 2;

// Prints "dorvane <command>: <message>" and the command's help on stderr;
// returns the usage exit status.
inline int usage(const char* command, const std::string& message, const char* help) {
  std::fprintf(stderr, "dorvane %s: %s\n\n%s", command, message.c_str(), help);
  return kExitUsage;
}

// Each adds its command to the dorvane command line.
Command resolveCommand(CLI::App& dorvane);
Command webCommand(CLI::App& dorvane);
Command sheetCommand(CLI::App& dorvane);
Command inspectCommand(CLI::App& dorvane);
Command registerCommand(CLI::App& dorvane);
Command unregisterCommand(CLI::App& dorvane);
Command sampleCommand(CLI::App& dorvane);
Command batchCommand(CLI::App& dorvane);
Command serveCommand(CLI::App& dorvane);

// Prints the version data of the program and of Dorvane.ocx.
int versionCommand();

}  // namespace dorvane::cli
