// dorvane resolve: one placeholder against one reference database, as a pass
// would resolve it.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/explain_observer.h"
#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/reference_table.h"
#include "resolve/resolve_json.h"
#include "resolve/resolve_placeholder.h"

namespace dorvane::cli {

namespace {

const char kHelp[] =
    "Usage: dorvane resolve TEXT --db KIVDB --pass N [--kind worksheet|page] [--json] [--explain]\n"
    "\n"
    "Resolves the value placeholder TEXT (for example '!!price,A01;') the way a\n"
    "merge pass does: opens the reference table of KIVDB, seeks the key, applies\n"
    "the pass selector for pass N (1 or 2), queries the source database and sums,\n"
    "divides and rounds numbers or takes or joins texts.\n"
    "\n"
    "  --kind worksheet  (default) forms the cell comment and joins texts (連結)\n"
    "  --kind page       no comment; a text item takes its first value\n"
    "  --json            print one JSON object:\n"
    "                    {\"outcome\": ..., \"value\": {\"type\": T, \"text\": S}, \"comment\": "
    "C}\n"
    "                    or {\"error\": {\"number\": N, \"description\": ...}}\n"
    "  --explain         print each step (key lookup, SQL texts, loop end) on stderr\n"
    "\n"
    "Relative paths, in KIVDB and in the reference table, resolve against the\n"
    "current directory. Exit status: 0 resolved, skipped or stopped; 1 run-time\n"
    "error; 2 usage.\n";

struct Options {
  std::vector<std::string> texts;
  std::string db, passText, kindText;
  int pass = 0;
  PlaceholderKind kind = PlaceholderKind::Worksheet;
  bool json = false, explain = false;
};

// Checks what the parser left to the command; returns an error message, or
// nothing when o is good (o.pass and o.kind then hold the choices).
std::optional<std::string> check(Options& o) {
  if (!o.passText.empty()) {
    if (o.passText != "1" && o.passText != "2") return "--pass needs 1 or 2";
    o.pass = o.passText[0] - '0';
  }
  if (o.kindText == "page") {
    o.kind = PlaceholderKind::Page;
  } else if (!o.kindText.empty() && o.kindText != "worksheet") {
    return "--kind needs worksheet or page";
  }
  if (o.texts.empty()) return "no placeholder text given";
  if (o.texts.size() > 1) return "more than one placeholder text given";
  if (o.db.empty()) return "--db is required";
  if (o.pass == 0) return "--pass is required";
  return std::nullopt;
}

void printReadable(const PlaceholderResult& r) {
  std::printf("outcome: %s\n", outcomeName(r.outcome));
  if (r.value) {
    std::string shown = r.value->isNull() ? "Null" : text::toUtf8(toText(*r.value));
    std::printf("value:   %s (%s)\n", shown.c_str(), typeName(r.value->type()));
  } else if (r.outcome == Outcome::Resolved) {
    std::printf(
        "value:   none (the rounding word is not one of 四捨五入, 切り上げ, 切り捨て;\n"
        "         the template keeps its placeholder)\n");
  }
  if (r.comment) std::printf("comment: %s\n", text::toUtf8(*r.comment).c_str());
}

int runResolve(Options& o) {
  if (auto error = check(o)) return usage("resolve", *error, kHelp);

  ExplainObserver explain(stderr);
  try {
    auto kivdb = Engine::instance().OpenDatabase(text::fromUtf8(o.db));
    auto kivrs = reference::open(*kivdb);
    std::shared_ptr<Database> DB;
    std::shared_ptr<Recordset> rs;
    PlaceholderResult r =
        resolvePlaceholder(text::fromUtf8(o.texts[0]), static_cast<std::int16_t>(o.pass), *kivrs,
                           o.kind, DB, rs, o.explain ? &explain : nullptr);
    if (o.json) {
      std::printf("%s\n", placeholderResultJson(r).c_str());
    } else {
      printReadable(r);
    }
    return kExitOk;
  } catch (const RuntimeError& e) {
    if (o.json) {
      std::printf("%s\n", runtimeErrorJson(e.number(), e.description()).c_str());
    } else {
      std::fprintf(stderr, "error %d: %s\n", e.number(), e.description());
    }
    return kExitFailed;
  }
}

}  // namespace

Command resolveCommand(CLI::App& dorvane) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = addCommand(
      dorvane, "resolve", [] { return std::string(kHelp); }, &o->texts);
  cmd->add_option("--db", o->db);
  cmd->add_option("--pass", o->passText);
  cmd->add_option("--kind", o->kindText);
  cmd->add_flag("--json", o->json);
  cmd->add_flag("--explain", o->explain);
  return {cmd, [o] { return runResolve(*o); }};
}

}  // namespace dorvane::cli
