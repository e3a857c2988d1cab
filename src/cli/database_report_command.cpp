// dorvane inspect: what the engine sees in an Access file — its tables with
// row counts, columns and named indexes, its linked tables, and its stored
// queries with the SQL rebuilt for them.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "platform/db/access/access_database.h"
#include "platform/db/access/access_values.h"
#include "platform/db/access_odbc_links.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"
#include "resolve/names.h"

namespace dorvane::cli {

namespace {

using Json = nlohmann::ordered_json;

const char kHelp[] =
    "Usage: dorvane inspect DB [--json] [--check]\n"
    "\n"
    "Lists what the engine reads from the Access file DB (.mdb or .accdb):\n"
    "  tables         rows, columns with their Access types, indexes by name\n"
    "                 (the reference table needs one named ｷｰ)\n"
    "  linked tables  the file and table each one reads from; for a table on a\n"
    "                 server its data source (passwords shown as ***) and\n"
    "                 remote name\n"
    "  queries        kind, and the SQL rebuilt for each select query, or why\n"
    "                 it cannot be run\n"
    "\n"
    "  --json   print one JSON object instead of text\n"
    "  --check  try each link to a server and say whether it answers\n"
    "\n"
    "Relative paths resolve against the current directory. Exit status: 0 listed\n"
    "(a table or query that cannot be read is listed with its error); 1 the file\n"
    "cannot be opened; 2 usage.\n";

Json errorJson(const RuntimeError& e) {
  return Json{{"number", e.number()}, {"description", e.description()}};
}

Json tableJson(db::AccessFile& file, const db::CatalogEntry& entry) {
  Json t;
  t["name"] = text::toUtf8(entry.name);
  try {
    file.import(entry);
    const db::ImportedTable* imported = file.imported(entry.name);
    const db::AccessTableDef& def = imported->definition;
    t["rows"] = imported->rows;
    Json cols = Json::array();
    for (const auto& c : def.columns)
      cols.push_back({{"name", c.name}, {"type", db::accessTypeName(c)}});
    t["columns"] = cols;
    Json idx = Json::array();
    for (const auto& x : def.indexes) {
      Json names = Json::array();
      for (int c : x.columns) names.push_back(def.columns[static_cast<size_t>(c)].name);
      idx.push_back({{"name", x.name},
                     {"columns", names},
                     {"primaryKey", x.primaryKey},
                     {"unique", x.unique},
                     {"foreignKey", x.foreignKey}});
    }
    t["indexes"] = idx;
    if (text::equalsText(entry.name, names::kReferenceTable) &&
        !file.index(entry.name, names::kKeyIndex)) {
      t["warning"] = "no index named " + text::toUtf8(names::kKeyIndex) +
                     ": every merge pass over this file ends with error 3800";
    }
  } catch (const RuntimeError& e) {
    t["error"] = errorJson(e);
  }
  return t;
}

Json inspect(db::AccessFile& file, bool check) {
  Json out;
  out["file"] = file.path();
  out["format"] = db::formatName(file.format());
  Json tables = Json::array(), linked = Json::array(), queries = Json::array();
  for (const auto& e : file.catalog()) {
    if (e.type == db::object_type::kTable && !e.system()) {
      tables.push_back(tableJson(file, e));
    } else if (e.type == db::object_type::kLinkedTable ||
               e.type == db::object_type::kOdbcLinkedTable) {
      Json l{{"name", text::toUtf8(e.name)},
             {"database", e.database},
             {"table", e.foreignName.empty() ? text::toUtf8(e.name) : e.foreignName}};
      if (e.type == db::object_type::kOdbcLinkedTable) {
        l["dataSource"] = db::maskPasswords(e.connect);
        l["remote"] = text::toUtf8(db::remoteTableOf(e).quoted());
        if (check) {
          try {
            db::checkOdbcLink(e);
            l["answers"] = true;
          } catch (const RuntimeError& ex) {
            l["answers"] = false;
            l["error"] = errorJson(ex);
          }
        }
      } else {
        try {
          l["path"] = file.linkedPath(e);
        } catch (const RuntimeError& ex) {
          l["error"] = errorJson(ex);
        }
      }
      if (text::equalsText(e.name, names::kReferenceTable))
        l["warning"] =
            "a linked reference table has no index: every merge pass over this "
            "file ends with error 3251";
      linked.push_back(l);
    } else if (e.type == db::object_type::kQuery) {
      Json q{{"name", text::toUtf8(e.name)}, {"kind", db::queryTypeName(e.flags)}};
      try {
        q["sql"] = file.querySql(e);
      } catch (const RuntimeError& ex) {
        q["error"] = errorJson(ex);
      }
      queries.push_back(q);
    }
  }
  out["tables"] = tables;
  out["linkedTables"] = linked;
  out["queries"] = queries;
  return out;
}

void printText(const Json& j) {
  auto s = [](const Json& v) { return v.get<std::string>(); };
  std::printf("%s (%s)\n", s(j["file"]).c_str(), s(j["format"]).c_str());
  std::printf("\nTables:\n");
  for (const auto& t : j["tables"]) {
    if (t.contains("error")) {
      std::printf("  %s: error %d: %s\n", s(t["name"]).c_str(), t["error"]["number"].get<int>(),
                  s(t["error"]["description"]).c_str());
      continue;
    }
    std::printf("  %s (%lld rows)\n", s(t["name"]).c_str(), t["rows"].get<long long>());
    for (const auto& c : t["columns"])
      std::printf("    %-24s %s\n", s(c["name"]).c_str(), s(c["type"]).c_str());
    for (const auto& x : t["indexes"]) {
      std::string cols;
      for (const auto& c : x["columns"]) cols += (cols.empty() ? "" : ", ") + s(c);
      std::string what = x["primaryKey"].get<bool>()   ? " primary key"
                         : x["foreignKey"].get<bool>() ? " relationship"
                         : x["unique"].get<bool>()     ? " unique"
                                                       : "";
      std::printf("    index %s (%s)%s\n", s(x["name"]).c_str(), cols.c_str(), what.c_str());
    }
    if (t.contains("warning")) std::printf("    warning: %s\n", s(t["warning"]).c_str());
  }
  if (!j["linkedTables"].empty()) std::printf("\nLinked tables (not table-type: no Index/Seek):\n");
  for (const auto& l : j["linkedTables"]) {
    if (l.contains("dataSource")) {
      std::printf("  %s -> server %s : %s", s(l["name"]).c_str(), s(l["dataSource"]).c_str(),
                  s(l["remote"]).c_str());
      if (!l.contains("answers"))
        std::printf("  (not tried: --check tries it)\n");
      else if (l["answers"].get<bool>())
        std::printf("  (answers)\n");
      else
        std::printf("  (does not answer: %s)\n", s(l["error"]["description"]).c_str());
    } else {
      std::printf("  %s -> %s : %s", s(l["name"]).c_str(), s(l["database"]).c_str(),
                  s(l["table"]).c_str());
      if (l.contains("path"))
        std::printf("  (reads %s)\n", s(l["path"]).c_str());
      else
        std::printf("  (error: %s)\n", s(l["error"]["description"]).c_str());
    }
    if (l.contains("warning")) std::printf("    warning: %s\n", s(l["warning"]).c_str());
  }
  if (!j["queries"].empty()) std::printf("\nQueries:\n");
  for (const auto& q : j["queries"]) {
    std::printf("  %s (%s)\n", s(q["name"]).c_str(), s(q["kind"]).c_str());
    if (q.contains("sql"))
      std::printf("    %s\n", s(q["sql"]).c_str());
    else
      std::printf("    cannot be run: %s\n", s(q["error"]["description"]).c_str());
  }
}

struct Options {
  std::vector<std::string> paths;
  bool json = false;
  bool check = false;
};

int runInspect(const Options& o) {
  if (o.paths.empty()) return usage("inspect", "no database given", kHelp);
  if (o.paths.size() > 1)
    return usage("inspect", "unexpected argument '" + o.paths[1] + "'", kHelp);
  const std::string& path = o.paths[0];
  const bool json = o.json, check = o.check;
  try {
    auto database = Engine::instance().OpenDatabase(text::fromUtf8(path));
    auto* access = dynamic_cast<db::AccessDatabase*>(database.get());
    if (!access) {
      throw RuntimeError(err::kCannotOpenDatabase,
                         "'" + db::maskPasswords(path) +
                             "' is no Access file (a SQLite file or a server); inspect reads "
                             "Access files.");
    }
    Json j = inspect(access->file(), check);
    if (json) {
      std::printf("%s\n", j.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    } else {
      printText(j);
    }
    return kExitOk;
  } catch (const RuntimeError& e) {
    if (json) {
      Json j{{"error", errorJson(e)}};
      std::printf("%s\n", j.dump(-1, ' ', false, Json::error_handler_t::replace).c_str());
    } else {
      std::fprintf(stderr, "error %d: %s\n", e.number(), e.description());
    }
    return kExitFailed;
  }
}

}  // namespace

Command inspectCommand(CLI::App& dorvane) {
  auto o = std::make_shared<Options>();
  CLI::App* cmd = addCommand(
      dorvane, "inspect", [] { return std::string(kHelp); }, &o->paths);
  cmd->add_flag("--json", o->json);
  cmd->add_flag("--check", o->check);
  return {cmd, [o] { return runInspect(*o); }};
}

}  // namespace dorvane::cli
