#include "platform/db/database_policy.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/db/odbc_connect_string.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {

thread_local const DatabasePolicy* threadPolicy = nullptr;

bool sameCaseBlind(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The value of the DSN attribute of a connect string's attributes, or "".
std::string dataSourceName(std::string_view attributes) {
  size_t start = 0;
  while (start <= attributes.size()) {
    size_t end = attributes.find(';', start);
    if (end == std::string_view::npos) end = attributes.size();
    std::string_view part = attributes.substr(start, end - start);
    const size_t eq = part.find('=');
    if (eq != std::string_view::npos && sameCaseBlind(part.substr(0, eq), "DSN")) {
      return std::string(part.substr(eq + 1));
    }
    start = end + 1;
  }
  return {};
}

// Whether path lies in folder (both absolute and normal): equal, or below it.
bool inside(const std::filesystem::path& path, const std::string& folder) {
  const std::filesystem::path base(folder);
  auto p = path.begin();
  for (auto f = base.begin(); f != base.end(); ++f, ++p) {
    if (f->empty()) continue;  // the trailing "" of "/srv/data/"
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

bool allowedFile(const DatabasePolicy& policy, const std::filesystem::path& path) {
  const std::string text = path.string();
  if (std::find(policy.files.begin(), policy.files.end(), text) != policy.files.end()) return true;
  return std::any_of(policy.folders.begin(), policy.folders.end(),
                     [&](const std::string& f) { return inside(path, f); });
}

[[noreturn]] void refuse(const std::string& shown, const char* why) {
  throw RuntimeError(err::kCannotOpenFile, "Could not use '" + shown + "'; " + why + ".");
}

}  // namespace

void setThreadDatabasePolicy(const DatabasePolicy* policy) { threadPolicy = policy; }

void checkDatabasePolicy(const std::u16string& path) {
  const DatabasePolicy* policy = threadPolicy;
  if (!policy) return;
  const std::string utf8 = text::toUtf8(path);
  if (isOdbcName(path)) {
    const auto& whole = policy->connectStrings;
    if (std::find(whole.begin(), whole.end(), utf8) != whole.end()) return;
    const std::string dsn = dataSourceName(odbcAttributes(utf8));
    const auto& names = policy->dataSources;
    if (!dsn.empty() && std::any_of(names.begin(), names.end(),
                                    [&](const std::string& n) { return sameCaseBlind(n, dsn); })) {
      return;
    }
    refuse(maskPasswords(utf8), "the data source is not one the configuration allows");
  }
  // Lexically first, so a path outside is refused without touching it; then
  // with every link resolved, so a link cannot lead out.
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(utf8, ec).lexically_normal();
  if (ec || utf8.empty() || !allowedFile(*policy, absolute)) {
    refuse(utf8, "it is outside the folders the configuration allows");
  }
  // A configured file, named as configured (its links were resolved then):
  // no walk over its path for every placeholder that names it.
  const auto& files = policy->files;
  if (std::find(files.begin(), files.end(), absolute.string()) != files.end()) return;
  const auto real = std::filesystem::canonical(absolute, ec);
  if (ec) {
    throw RuntimeError(err::kFileNotFound, "Could not find file '" + utf8 + "'.");
  }
  if (!allowedFile(*policy, real)) {
    refuse(utf8, "it leads outside the folders the configuration allows");
  }
}

}  // namespace dorvane::db
