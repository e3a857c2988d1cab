// dorvane web: the page merge, from a page file to a result file, against a
// primary and an optional secondary reference database.
#include <dorvane/ctl_message.h>

#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/explain_observer.h"
#include "cli/report_writer.h"
#include "platform/file/interrupt.h"
#include "platform/text/code_page.h"
#include "platform/text/utf.h"

namespace dorvane::cli {

namespace {

// The result was written, but at least one run ended with "error".
constexpr int kExitPassFailed = 3;

const char kHelp[] =
    "Usage: dorvane web READFILE SAVEFILE KIVDB [KIVDB2] [--codepage N] [--explain]\n"
    "                 [--report FILE.html]\n"
    "\n"
    "Merges the page READFILE into SAVEFILE: each value placeholder such as\n"
    "'!!price,A01;' is resolved against the reference table of the database and\n"
    "its value replaces the first 'gethere' at or after it; each detail\n"
    "placeholder such as '&&orders,A01;' becomes an HTML table at the 'gethere'\n"
    "after it. Runs in the order KIVDB pass 1, KIVDB2 pass 1, KIVDB pass 2,\n"
    "KIVDB2 pass 2 (the KIVDB2 runs only when it is given).\n"
    "\n"
    "  --codepage N  code page of READFILE and SAVEFILE (default 932, Shift-JIS);\n"
    "                bytes it does not know pass through unchanged, characters it\n"
    "                cannot hold are written as &#N;\n"
    "  --explain     print, per run, each placeholder's position, key, outcome,\n"
    "                SQL texts, the value written and where (on stderr)\n"
    "  --report FILE.html  write an HTML report of the merge: a summary, the\n"
    "                result page with every value and placeholder marked, and\n"
    "                one row per placeholder per run with its reference row,\n"
    "                SQL texts, records, value, outcome and why\n"
    "\n"
    "A run that fails prints 'error' and the reason on stderr; the other runs go\n"
    "on and the result is still written. Relative paths, on the command line and\n"
    "in DB名, resolve against the current directory.\n"
    "READFILE '-' is standard input, SAVEFILE '-' standard output. A link as\n"
    "SAVEFILE is kept and its target replaced; a device or FIFO is written into;\n"
    "a read-only SAVEFILE is refused (error 75). Pages larger than\n"
    "DORVANE_PAGE_LIMIT bytes (default 1 GiB) are refused (error 7).\n"
    "Exit status: 0 done; 1 the page could not be loaded or the result not saved\n"
    "(nothing written), or the report could not be written; 3 the result was\n"
    "written but a run ended with 'error'; 2 usage; 130, 143, 129 interrupted by\n"
    "SIGINT, SIGTERM, SIGHUP (the old SAVEFILE left as it was).\n";

struct Options {
  std::vector<std::string> paths;
  std::string codePageText;
  int codePage = 932;
  bool explain = false;
  std::string report;
};

// Checks what the parser left to the command; returns an error message, or
// nothing when o is good (o.codePage then holds the code page).
std::optional<std::string> check(Options& o) {
  if (!o.codePageText.empty()) {
    const std::string& v = o.codePageText;
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), o.codePage);
    if (ec != std::errc() || end != v.data() + v.size() || o.codePage <= 0) {
      return "--codepage needs a positive number, not '" + v + "'";
    }
    if (!text::codePageAvailable(o.codePage)) {
      return "code page " + v + " is not available (no iconv converter '" +
             text::iconvName(o.codePage) + "')";
    }
  }
  if (o.paths.size() < 3) return "READFILE, SAVEFILE and KIVDB are required";
  if (o.paths.size() > 4) return "too many arguments";
  return std::nullopt;
}

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

int runWeb(Options& o) {
  if (auto error = check(o)) return usage("web", *error, kHelp);

  file::InterruptGuard interrupts(
      "dorvane web", o.paths[1] == "-"
                         ? "nothing was written"
                         : "'" + o.paths[1] + "' was not written (an old one stays as it was)");
  ExplainObserver explain(stderr);
  ctlMessage control;
  control.setCodePage(o.codePage);
  control.setKeepTextWeb(false);  // nothing here reads it
  ReportWriter report(o.report, o.explain ? &explain : nullptr);
  if (o.explain) control.setObserver(&explain);
  if (!o.report.empty()) control.setObserver(report.observer());
  // Nothing here waits between two placeholders: the passes share their read
  // snapshots, each file locked and checked once rather than once per pass.
  {
    ReadRun run;
    control.ocxwebKiv(text::fromUtf8(o.paths[0]), text::fromUtf8(o.paths[1]),
                      text::fromUtf8(o.paths[2]),
                      o.paths.size() > 3 ? text::fromUtf8(o.paths[3]) : std::u16string());
  }

  const bool reported = o.report.empty() || report.writePage(control, o.paths[0], o.paths[1]);
  bool passFailed = false;
  for (const auto& f : control.failures()) {
    if (startsWith(f.step, "load") || startsWith(f.step, "save")) {
      std::fprintf(stderr, "dorvane web: %s failed: error %d: %s\n", f.step.c_str(), f.number,
                   f.description.c_str());
      return kExitFailed;
    }
    passFailed = true;
  }
  if (!reported) return kExitFailed;
  return passFailed ? kExitPassFailed : kExitOk;
}

}  // namespace

Command webCommand(CLI::App& dorvane) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = addCommand(
      dorvane, "web", [] { return std::string(kHelp); }, &o->paths);
  cmd->add_option("--codepage", o->codePageText);
  cmd->add_flag("--explain", o->explain);
  cmd->add_option("--report", o->report);
  return {cmd, [o] { return runWeb(*o); }};
}

}  // namespace dorvane::cli
