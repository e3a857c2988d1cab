// dorvane serve: the network service (src/serve), loaded as a module of its
// own at this point, so no other command starts with its libraries.
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "control/install_layout.h"
#include "serve/serve_main.h"

namespace dorvane::cli {

namespace {

const char kHelp[] =
    "Usage: dorvane serve --config FILE [--listen ADDR:PORT] [--check-config]\n"
    "\n"
    "Answers merges over HTTP/1.1: POST /v1/page, /v1/workbook and /v1/resolve\n"
    "with the template as the body and configured data sources by name;\n"
    "GET /healthz, /readyz, /metrics (Prometheus), /openapi.json, and a page at /.\n"
    "\n"
    "  --config FILE       the JSON configuration: data sources, folders a DB名\n"
    "                      path may lead into, token hashes, workers, queue,\n"
    "                      body limit, deadline, drain time-out\n"
    "  --listen ADDR:PORT  where to listen (default: the file's, else\n"
    "                      127.0.0.1:8080); port 0 takes a free one\n"
    "  --check-config      check the configuration and exit\n"
    "\n"
    "SIGTERM or SIGINT drains (no new connections; every accepted request is\n"
    "answered) and exits 0; SIGHUP reloads the configuration. One JSON line per\n"
    "request goes to stderr.\n"
    "Exit status: 0 drained, or a good configuration; 1 a bad configuration or\n"
    "no socket; 2 usage; 4 the drain ran past its time-out.\n";

struct Options {
  std::vector<std::string> positionals;
  serve::ServeOptions serve;
};

// Runs the service from dorvane-serve.so: beside the program in a build
// tree, in LIBDIR/dorvane when installed. The module stays loaded.
int runService(const serve::ServeOptions& o) {
  std::string why;
  for (const auto& module :
       {installedBesideProgram("dorvane-serve.so"),
        installedBesideProgram(DORVANE_BIN_TO_LIBDIR "/dorvane/dorvane-serve.so")}) {
    void* h = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* e = ::dlerror();
      why += std::string(why.empty() ? "" : "; ") + (e ? e : module.string());
      continue;
    }
    using Entry = int (*)(const char*, const char*, int);
    if (auto entry = reinterpret_cast<Entry>(::dlsym(h, "dorvane_serve"))) {
      return entry(o.config.c_str(), o.listen.c_str(), o.checkOnly ? 1 : 0);
    }
    why += std::string(why.empty() ? "" : "; ") + module.string() + " has no entry point";
  }
  std::fprintf(stderr, "dorvane serve: the service cannot be loaded: %s\n", why.c_str());
  return 1;
}

}  // namespace

Command serveCommand(CLI::App& dorvane) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = addCommand(
      dorvane, "serve", [] { return std::string(kHelp); }, &o->positionals);
  cmd->add_option("--config", o->serve.config);
  cmd->add_option("--listen", o->serve.listen);
  cmd->add_flag("--check-config", o->serve.checkOnly);
  return {cmd, [o] {
            if (!o->positionals.empty()) return usage("serve", "too many arguments", kHelp);
            if (o->serve.config.empty()) return usage("serve", "--config is required", kHelp);
            return runService(o->serve);
          }};
}

}  // namespace dorvane::cli
