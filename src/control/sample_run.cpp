#include "control/sample_run.h"

#include <dorvane/component.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "control/install_layout.h"
#include "platform/text/utf.h"

namespace dorvane {

namespace fs = std::filesystem;

namespace {

constexpr char kPage[] = "sampleweb.htm";
constexpr char kResult[] = "sampleweb1.htm";
constexpr char kDatabase[] = "samplekiv.sqlite";
constexpr char kDatabaseSql[] = "samplekiv.sql";

// Where the shipped sample files are: DORVANE_SAMPLE_SOURCE, the share folder
// of the installation this program belongs to, the share folder it was
// configured for, else the source tree it was built from.
std::vector<fs::path> sampleSources() {
  std::vector<fs::path> dirs;
  if (const char* d = std::getenv("DORVANE_SAMPLE_SOURCE"); d && *d) dirs.emplace_back(d);
#ifdef DORVANE_BIN_TO_DATADIR
  if (auto d = installedBesideProgram(DORVANE_BIN_TO_DATADIR "/dorvane/sample"); !d.empty())
    dirs.push_back(std::move(d));
#endif
#ifdef DORVANE_INSTALLED_SAMPLES
  dirs.emplace_back(DORVANE_INSTALLED_SAMPLES);
#endif
#ifdef DORVANE_SOURCE_SAMPLES
  dirs.emplace_back(DORVANE_SOURCE_SAMPLES);
#endif
  return dirs;
}

std::optional<fs::path> findSource(const char* name) {
  for (const auto& d : sampleSources()) {
    std::error_code ec;
    if (fs::is_regular_file(d / name, ec)) return d / name;
  }
  return std::nullopt;
}

bool buildDatabase(const fs::path& sqlFile, const fs::path& target, std::string* reason) {
  std::ifstream in(sqlFile, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  std::string sql = s.str();
  // "DB名" names the database itself: make it the full path, so the sample
  // works from any current directory.
  const std::string relative = std::string("'") + kDatabase + "'";
  std::string absolute = "'";
  for (char c : target.string()) absolute += c == '\'' ? std::string("''") : std::string(1, c);
  absolute += "'";
  for (size_t p; (p = sql.find(relative)) != std::string::npos;)
    sql.replace(p, relative.size(), absolute);

  fs::path tmp = target;
  tmp += ".tmp";
  fs::remove(tmp);
  sqlite3* db = nullptr;
  char* msg = nullptr;
  int rc = sqlite3_open(tmp.c_str(), &db);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &msg);
  std::string error = msg ? msg : (db ? sqlite3_errmsg(db) : "cannot open");
  sqlite3_free(msg);
  sqlite3_close(db);
  if (rc != SQLITE_OK) {
    fs::remove(tmp);
    if (reason) *reason = "Cannot build the sample database " + target.string() + ": " + error;
    return false;
  }
  std::error_code ec;
  fs::rename(tmp, target, ec);
  if (ec && reason) *reason = "Cannot place the sample database: " + ec.message();
  return !ec;
}

}  // namespace

std::string sampleFolder() {
  if (const char* d = std::getenv("DORVANE_SAMPLE_DIR"); d && *d) return d;
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x)
    return std::string(x) + "/dorvane/sample";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.local/share/dorvane/sample";
}

bool prepareSampleFolder(std::string* reason) {
  const fs::path folder = sampleFolder();
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    if (reason)
      *reason = "Cannot create the sample folder " + folder.string() + ": " + ec.message();
    return false;
  }
  if (!fs::exists(folder / kPage)) {
    auto page = findSource(kPage);
    if (!page) {
      if (reason) *reason = std::string("The sample page ") + kPage + " is not installed";
      return false;
    }
    fs::copy_file(*page, folder / kPage, fs::copy_options::skip_existing, ec);
    if (ec) {
      if (reason) *reason = "Cannot copy the sample page: " + ec.message();
      return false;
    }
  }
  if (!fs::exists(folder / kDatabase)) {
    auto sql = findSource(kDatabaseSql);
    if (!sql) {
      if (reason)
        *reason = std::string("The sample database text ") + kDatabaseSql + " is not installed";
      return false;
    }
    return buildDatabase(*sql, folder / kDatabase, reason);
  }
  return true;
}

bool runSample(MessageBox& box) {
  std::string reason;
  if (!prepareSampleFolder(&reason)) {
    box.show(text::fromUtf8(reason), reason);
    return false;
  }
  com::ComPtr<com::IDispatch> control;
  if (!com::succeeded(com::CreateObject(u"Dorvane.ctlMessage", control, &reason))) {
    box.show(text::fromUtf8(reason), reason);
    return false;
  }
  const fs::path folder = sampleFolder();
  std::vector<Variant> args = {Variant::string(text::fromUtf8((folder / kPage).string())),
                               Variant::string(text::fromUtf8((folder / kResult).string())),
                               Variant::string(text::fromUtf8((folder / kDatabase).string())),
                               Variant::string(u"")};
  Variant result;  // kept, never read
  if (!com::succeeded(com::CallByName(*control.get(), u"ocxwebKiv", com::DISPATCH_METHOD, args,
                                      &result, &reason))) {
    box.show(text::fromUtf8(reason), reason);
    return false;
  }
  control.reset();
  return true;
}

}  // namespace dorvane
