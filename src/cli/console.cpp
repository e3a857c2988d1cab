// The command's entry on a POSIX system: the arguments as they come.
#include "cli/console.h"

#include <unistd.h>

namespace dorvane::cli {

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace dorvane::cli

int main(int argc, char** argv) { return dorvane::cli::dorvaneMain(argc, argv); }
