// dorvane serve: runs the network service until SIGTERM (or SIGINT) has
// drained it; SIGHUP reloads the configuration.
#pragma once

#include <string>

namespace dorvane::serve {

struct ServeOptions {
  std::string config;  // the configuration file
  std::string listen;  // ADDR:PORT, or "" for the file's
  bool checkOnly = false;
};

// Returns the exit status: 0 drained (or the configuration is good with
// checkOnly), 1 a bad configuration or no socket, 4 the drain ran past its
// time-out. Prints {"event":"listening","address":...} on stderr once bound.
int serve(const ServeOptions& options);

}  // namespace dorvane::serve
