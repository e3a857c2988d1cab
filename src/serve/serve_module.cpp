// The entry point of dorvane-serve.so, the service as a module of its own:
// the command loads it only for `dorvane serve`, so the libraries the service
// alone needs (HTTP, metrics, systemd, and what they pull in) are no part of
// any other command's start.
#include "serve/serve_main.h"

extern "C" __attribute__((visibility("default"))) int dorvane_serve(const char* config,
                                                                    const char* listen,
                                                                    int checkOnly) {
  dorvane::serve::ServeOptions options;
  options.config = config;
  options.listen = listen;
  options.checkOnly = checkOnly != 0;
  return dorvane::serve::serve(options);
}
