// dorvane serve: the network service (src/serve).
#include <memory>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
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
            return serve::serve(o->serve);
          }};
}

}  // namespace dorvane::cli
