#include "serve/serve_config.h"

#include <arpa/inet.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "platform/db/odbc_connect_string.h"
#include "platform/text/utf.h"

namespace dorvane::serve {

namespace fs = std::filesystem;

namespace {

const std::set<std::string> kKeys = {
    "listen", "data_sources", "folders",     "odbc_data_sources", "tokens_sha256",  "workers",
    "queue",  "body_limit",   "deadline_ms", "drain_timeout_ms",  "read_timeout_ms"};

// Splits "ADDR:PORT" ("[::1]:8080" for IPv6); false when it is not that.
bool splitListen(const std::string& text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon + 1 == text.size()) return false;
  host = text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::string digits = text.substr(colon + 1);
  if (host.empty() || digits.size() > 5) return false;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  port = std::stoi(digits);
  return port <= 65535;
}

bool isHex64(const std::string& s) {
  if (s.size() != 64) return false;
  for (char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// A positive number setting of at most max, or why not.
bool readCount(const nlohmann::json& j, const char* key, long long max, long long& out,
               std::string& why) {
  if (!j.contains(key)) return true;
  const auto& v = j[key];
  if (!v.is_number_integer() || v.get<long long>() < 1 || v.get<long long>() > max) {
    why = std::string("\"") + key + "\" must be a whole number from 1 to " + std::to_string(max);
    return false;
  }
  out = v.get<long long>();
  return true;
}

}  // namespace

bool isLoopback(const std::string& host) {
  if (host == "localhost") return true;
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

std::optional<Config> loadConfig(const std::string& path, const std::string& listen,
                                 std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "cannot read the configuration " + path;
    return std::nullopt;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  nlohmann::json j = nlohmann::json::parse(buffer.str(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    why = path + " is not a JSON object";
    return std::nullopt;
  }
  for (const auto& [key, value] : j.items()) {
    if (!kKeys.count(key)) {
      why = "unknown setting \"" + key + "\"";
      return std::nullopt;
    }
  }
  const fs::path base = fs::absolute(path).parent_path();
  // A configured path, absolute and with its links resolved when it exists.
  auto place = [&](const std::string& p) {
    fs::path full = fs::path(p).is_absolute() ? fs::path(p) : base / p;
    std::error_code ec;
    fs::path real = fs::canonical(full, ec);
    return (ec ? full.lexically_normal() : real).string();
  };

  Config c;
  std::string listenText = listen;
  if (listenText.empty() && j.contains("listen")) {
    if (!j["listen"].is_string()) {
      why = "\"listen\" must be \"ADDR:PORT\"";
      return std::nullopt;
    }
    listenText = j["listen"].get<std::string>();
  }
  if (!listenText.empty() && !splitListen(listenText, c.host, c.port)) {
    why = "the listening address must be ADDR:PORT, not '" + listenText + "'";
    return std::nullopt;
  }

  if (!j.contains("data_sources") || !j["data_sources"].is_object() || j["data_sources"].empty()) {
    why = "\"data_sources\" must name at least one database: {\"NAME\": \"PATH\"}";
    return std::nullopt;
  }
  for (const auto& [name, value] : j["data_sources"].items()) {
    if (!value.is_string() || value.get<std::string>().empty()) {
      why = "data source \"" + name + "\" must be a path or an ODBC; connect string";
      return std::nullopt;
    }
    const std::string target = value.get<std::string>();
    if (db::isOdbcName(text::fromUtf8(target))) {
      c.dataSources[name] = target;
      c.policy.connectStrings.push_back(target);
    } else {
      c.dataSources[name] = place(target);
      c.policy.files.push_back(c.dataSources[name]);
    }
  }
  auto strings = [&](const char* key, std::vector<std::string>& out) {
    if (!j.contains(key)) return true;
    if (!j[key].is_array()) {
      why = std::string("\"") + key + "\" must be a list of texts";
      return false;
    }
    for (const auto& v : j[key]) {
      if (!v.is_string() || v.get<std::string>().empty()) {
        why = std::string("\"") + key + "\" must be a list of texts";
        return false;
      }
      out.push_back(v.get<std::string>());
    }
    return true;
  };
  std::vector<std::string> folders;
  if (!strings("folders", folders) || !strings("odbc_data_sources", c.policy.dataSources) ||
      !strings("tokens_sha256", c.tokenHashes)) {
    return std::nullopt;
  }
  for (const auto& f : folders) {
    std::error_code ec;
    const std::string real = place(f);
    if (!fs::is_directory(real, ec)) {
      why = "folder '" + f + "' does not exist";
      return std::nullopt;
    }
    c.policy.folders.push_back(real);
  }
  for (auto& h : c.tokenHashes) {
    if (!isHex64(h)) {
      why = "\"tokens_sha256\" holds SHA-256 hashes: 64 hexadecimal digits each";
      return std::nullopt;
    }
    for (auto& ch : h) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  }
  if (c.tokenHashes.empty() && !isLoopback(c.host)) {
    why = "listening on " + c.host + " needs \"tokens_sha256\": without tokens only loopback";
    return std::nullopt;
  }

  long long n = std::max(1u, std::thread::hardware_concurrency());
  if (!readCount(j, "workers", 1024, n, why)) return std::nullopt;
  c.workers = static_cast<int>(n);
  n = c.queue;
  if (!readCount(j, "queue", 1000000, n, why)) return std::nullopt;
  c.queue = static_cast<int>(n);
  n = static_cast<long long>(c.bodyLimit);
  if (!readCount(j, "body_limit", 1LL << 34, n, why)) return std::nullopt;
  c.bodyLimit = static_cast<std::size_t>(n);
  for (auto [key, field] :
       {std::pair{"deadline_ms", &c.deadline}, std::pair{"drain_timeout_ms", &c.drainTimeout},
        std::pair{"read_timeout_ms", &c.readTimeout}}) {
    n = field->count();
    if (!readCount(j, key, 24LL * 3600 * 1000, n, why)) return std::nullopt;
    *field = std::chrono::milliseconds(n);
  }
  return c;
}

}  // namespace dorvane::serve
