// Test support: runs a command line and captures its standard output and exit status.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace dorvane::testing {

struct CommandResult {
  int status = -1;
  std::string out;
};

// Runs command through the shell; stderr goes where the test's stderr goes.
inline CommandResult runCommand(const std::string& command) {
  CommandResult r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
  int raw = pclose(p);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

// Quotes s for the shell.
inline std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace dorvane::testing
