// Which databases a thread may open: a host that merges on behalf of others
// (the network service) confines the databases named in reference tables.
//
// A thread starts without a policy and may open anything. With one set,
// Engine::OpenDatabase consults it before opening: a file must resolve, after
// following every link, inside one of the policy's folders or be one of its
// files; a connect string ("ODBC;...") must name one of its data sources
// (DSN=) or be one of its connect strings exactly.
#pragma once

#include <string>
#include <vector>

namespace dorvane::db {

struct DatabasePolicy {
  std::vector<std::string> folders;         // absolute, links resolved
  std::vector<std::string> files;           // absolute, links resolved
  std::vector<std::string> dataSources;     // DSN names, compared case-blind
  std::vector<std::string> connectStrings;  // whole connect strings, exact
};

// Sets the calling thread's policy (not owned; it must outlive its use);
// null removes it.
void setThreadDatabasePolicy(const DatabasePolicy* policy);

// Does nothing without a policy or when it allows path; otherwise raises
// RuntimeError 3051 naming the path (passwords masked) and why.
void checkDatabasePolicy(const std::u16string& path);

}  // namespace dorvane::db
