// The command's entry and its terminal. One file per system: console.cpp
// (POSIX: the arguments and the output are bytes, UTF-8 by convention) and
// src/windows/cli/console_windows.cpp (the command line taken as UTF-16 and
// handed on as UTF-8; what the command prints, UTF-8 throughout, goes to a
// console as UTF-16 through WriteConsoleW and to a pipe or file as it is).
#pragma once

namespace dorvane::cli {

// The command with its arguments as UTF-8 (main.cpp); returns the exit status.
int dorvaneMain(int argc, char** argv);

// True when stderr is a terminal (a console on Windows): progress lines are
// shown there only.
bool stderrIsTerminal();

}  // namespace dorvane::cli
