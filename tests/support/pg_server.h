// Test support: a private PostgreSQL 15 server and the ODBC data source
// "Magnapinna" pointing at it.
//
// The server's folder is a fresh temporary folder owned by the postgres user
// (the server refuses to run as root; under root every server command runs
// through runuser). It listens on 127.0.0.1 at a free port and on a socket in
// its folder only. A temporary odbcinst.ini/odbc.ini (ODBCSYSINI/ODBCINI, set
// for this process and its children) define "Magnapinna" with psqlODBC. The
// destructor stops the server at once and removes the folder, also when a
// test failed; a watchdog process does the same if the test process dies
// without running it (a crash, a kill).
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_command.h"

namespace dorvane::testing {

class PgServer {
 public:
  static constexpr const char* kBin = "/usr/lib/postgresql/15/bin";
  static constexpr const char* kDriver = "/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so";
  static constexpr const char* kUser = "safexit";
  static constexpr const char* kPassword = "DummyPassword";
  static constexpr const char* kDatabase = "safexit";

  // Creates, starts and fills the server with setupSql (run in the database
  // safexit as its owner). ok() tells whether all went well, error() why not.
  explicit PgServer(const std::string& setupSql) {
    if (!std::filesystem::exists(std::string(kBin) + "/initdb") ||
        !std::filesystem::exists(kDriver)) {
      error_ = "PostgreSQL 15 or psqlODBC is not installed (postgresql-15, odbc-postgresql)";
      return;
    }
    // Under root the postgres user must reach the folder: /tmp, not a TMPDIR
    // that may lie in root's home.
    std::filesystem::path base =
        geteuid() == 0 ? std::filesystem::path("/tmp") : std::filesystem::temp_directory_path();
    std::string tmpl = (base / "dorvane-pg-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) {
      error_ = "mkdtemp failed";
      return;
    }
    dir_ = tmpl;
    if (geteuid() == 0) {
      struct passwd* pw = getpwnam("postgres");
      if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        error_ = "no postgres user to run the server as";
        return;
      }
      as_ = "runuser -u postgres -- ";
    }
    startWatchdog();
    port_ = freePort();
    std::filesystem::create_directories(dir_ + "/odbc");
    std::ofstream(dir_ + "/odbc/odbcinst.ini")
        << "[PostgreSQL Unicode]\nDriver=" << kDriver << "\n";
    std::ofstream(dir_ + "/odbc/odbc.ini")
        << "[Magnapinna]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" << port_
        << "\nDatabase=" << kDatabase << "\n";
    setenv("ODBCSYSINI", (dir_ + "/odbc").c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc/odbc.ini").c_str(), 1);
    if (!run(std::string(kBin) + "/initdb -D " + data() + " -U postgres -A trust -E UTF8 " +
             "--locale=C.UTF-8 --no-sync")) {
      error_ = "initdb failed";
      return;
    }
    // The owner of the test database logs in with its password; the
    // administrator of the private server is trusted.
    std::ofstream(data() + "/pg_hba.conf")
        << "local all postgres trust\nhost all postgres 127.0.0.1/32 trust\n"
        << "host all all 127.0.0.1/32 scram-sha-256\n";
    if (!start()) return;
    std::ofstream(dir_ + "/setup.sql") << "SET ROLE " << kUser << ";\n" << setupSql;
    std::filesystem::permissions(dir_ + "/setup.sql", std::filesystem::perms::all);
    if (!psql("postgres",
              "CREATE ROLE " + std::string(kUser) + " LOGIN PASSWORD '" + kPassword + "'") ||
        !psql("postgres", "CREATE DATABASE " + std::string(kDatabase) + " OWNER " + kUser) ||
        !run(psqlCommand(kDatabase) + " -f " + dir_ + "/setup.sql")) {
      error_ = "the test data could not be loaded (see the psql messages above)";
      return;
    }
    ok_ = true;
  }

  ~PgServer() {
    if (dir_.empty()) return;
    stop();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    if (watchdog_ > 0) {
      close(lifeline_);
      waitpid(watchdog_, nullptr, 0);
    }
  }
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  bool ok() const { return ok_; }
  const std::string& error() const { return error_; }
  int port() const { return port_; }

  // Starts the (stopped) server and waits until it accepts connections.
  bool start() {
    bool started =
        run(std::string(kBin) + "/pg_ctl -D " + data() + " -l " + dir_ +
            "/server.log -w -s -o \"-c listen_addresses=127.0.0.1 -p " + std::to_string(port_) +
            " -k " + dir_ + " -c fsync=off -c max_connections=40\" start");
    if (!started) error_ = "the server did not start: " + readLog();
    running_ = started;
    return started;
  }

  // Stops the server at once (open connections are cut).
  void stop() {
    if (!running_) return;
    run(std::string(kBin) + "/pg_ctl -D " + data() + " -m immediate -w -s stop");
    running_ = false;
  }

  // Runs sql in database db as the administrator.
  bool psql(const std::string& db, const std::string& sql) {
    return run(psqlCommand(db) + " -c " + shellQuote(sql));
  }

 private:
  std::string data() const { return dir_ + "/data"; }
  std::string psqlCommand(const std::string& db) const {
    return std::string(kBin) + "/psql -q -X -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " +
           std::to_string(port_) + " -U postgres -d " + db;
  }
  bool run(const std::string& command) {
    return runCommand(as_ + command + " >/dev/null 2>" + dir_ + "/last.err || (cat " + dir_ +
                      "/last.err >&2; exit 1)")
               .status == 0;
  }
  std::string readLog() const {
    std::ifstream in(dir_ + "/server.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A child that waits for this process's end (its pipe closes) and then
  // stops the server and removes the folder.
  void startWatchdog() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::string cleanUp = as_ + kBin + "/pg_ctl -D " + data() + " -m immediate -w -s stop " +
                          ">/dev/null 2>&1; rm -rf " + dir_;
    pid_t pid = fork();
    if (pid == 0) {
      close(fds[1]);
      char c;
      while (read(fds[0], &c, 1) > 0) {
      }
      execl("/bin/sh", "sh", "-c", cleanUp.c_str(), static_cast<char*>(nullptr));
      _exit(1);
    }
    close(fds[0]);
    lifeline_ = fds[1];
    watchdog_ = pid;
  }

  static int freePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
  }

  std::string dir_, as_, error_;
  int port_ = 0, lifeline_ = -1;
  pid_t watchdog_ = -1;
  bool ok_ = false, running_ = false;
};

}  // namespace dorvane::testing
