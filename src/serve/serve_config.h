// The service's configuration: one JSON file.
//
//   {
//     "listen": "127.0.0.1:8080",                 // ADDR:PORT; --listen overrides
//     "data_sources": {"sample": "samplekiv.sqlite", "crm": "ODBC;DSN=crm"},
//     "folders": ["/srv/dorvane/data"],            // where a DB名 path may lead
//     "odbc_data_sources": ["crm"],                // DSNs a DB名 connect string may name
//     "tokens_sha256": ["<64 hex digits>"],        // none: no auth (loopback only)
//     "workers": 4, "queue": 64, "body_limit": 10485760,
//     "deadline_ms": 30000, "drain_timeout_ms": 30000, "read_timeout_ms": 10000
//   }
//
// Relative paths (files and folders) are taken from the configuration file's
// folder. Unknown keys are refused, so a misspelt setting is not silently lost.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/database_policy.h"

namespace dorvane::serve {

struct Config {
  std::string host = "127.0.0.1";
  int port = 8080;
  // Name → file path (absolute, links resolved) or "ODBC;" connect string.
  std::map<std::string, std::string> dataSources;
  db::DatabasePolicy policy;             // folders, data source files, DSNs
  std::vector<std::string> tokenHashes;  // lower-case hex SHA-256 of each token
  int workers = 0;                       // 0 → the number of cores
  int queue = 64;
  std::size_t bodyLimit = 10 * 1024 * 1024;
  std::chrono::milliseconds deadline{30000};
  std::chrono::milliseconds drainTimeout{30000};
  std::chrono::milliseconds readTimeout{10000};
};

// Reads and checks the configuration at path; listen ("ADDR:PORT"), when not
// empty, replaces the file's. Returns the configuration, or sets why (one
// line naming the setting) and returns nothing. Refuses a listening address
// that is not loopback when no token is configured.
std::optional<Config> loadConfig(const std::string& path, const std::string& listen,
                                 std::string& why);

// Whether host is a loopback address (127.0.0.0/8, ::1, "localhost").
bool isLoopback(const std::string& host);

}  // namespace dorvane::serve
