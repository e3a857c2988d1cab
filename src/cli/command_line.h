// The dorvane command line on CLI11: each command is a subcommand whose
// options write into the command's own settings, and whose run function
// checks what the parser cannot and does the work.
//
// Adding an option to a command is one line in that command's file, e.g.
//   cmd->add_option("--report", o->report);
//   cmd->add_flag("--check", o->check);
// Both "--opt value" and "--opt=value" are accepted, "--" ends the options.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <vector>

namespace dorvane::cli {

// One subcommand: its parser node and what runs once its arguments parsed.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// Adds the subcommand name to parent. help() is the command's help text,
// printed as it is for --help/-h (stdout, exit 0) and after a usage error.
// Every positional argument is collected into *positionals in order (the
// command checks how many it got). Unknown options are reported as usage
// errors by runCommandLine.
CLI::App* addCommand(CLI::App& parent, const std::string& name, std::function<std::string()> help,
                     std::vector<std::string>* positionals);

// Parses argv with app (whose subcommands are commands) and runs the chosen
// command; returns the exit status. A usage error prints "dorvane COMMAND:
// message" and the command's help on stderr and returns 2; no command, or
// an unknown one, prints the general usage (usage()) and returns 2.
// "--help"/"help" print usage() on stdout, "--version"/"version" run version.
int runCommandLine(CLI::App& app, const std::vector<Command>& commands,
                   const std::function<std::string()>& usage, const std::function<int()>& version,
                   int argc, char** argv);

}  // namespace dorvane::cli
