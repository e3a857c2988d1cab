// The subcommands of the dorvane command. Each takes the arguments after its
// name and returns the process exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace dorvane::cli {

using Args = std::vector<std::string>;

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

// True when args ask for a command's help ("--help" or "-h" anywhere).
inline bool asksForHelp(const Args& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

int resolveCommand(const Args& args);
int webCommand(const Args& args);
int sheetCommand(const Args& args);
int inspectCommand(const Args& args);
int registerCommand(const Args& args);
int unregisterCommand(const Args& args);
int sampleCommand(const Args& args);
int versionCommand();

}  // namespace dorvane::cli
