// dorvane web on real files: exit statuses, the result bytes, --explain,
// --codepage and the bundled sample.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "page/page_fixture.h"

namespace dorvane {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

using testing::readBytes;
using testing::writeBytes;

struct Cli {
  int status = -1;
  std::string stderrText;
};

// Runs the dorvane command with args (already quoted) in folder, stdout and
// stderr captured together; before is shell text put in front of the command.
Cli dorvane(const std::string& args, const std::string& folder, const std::string& before = "") {
  std::string command =
      "cd '" + folder + "' && " + before + "'" + DORVANE_CLI + "' " + args + " 2>&1";
  Cli r;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.stderrText.append(buf.data(), n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

class WebCommand : public ::testing::Test {
 protected:
  void SetUp() override { testing::buildPageDatabase(dir_.file("kiv.sqlite")); }
  TempDir dir_;
};

TEST_F(WebCommand, ExitStatuses) {
  struct Case {
    const char* name;
    std::string page;  // "" : no page file
    std::string args;
    int status;
    std::string result;  // expected result bytes, "" : no result file
    std::string said;    // expected in the output
  };
  const Case cases[] = {
      {"done", "!!a,A01; gethere", "page.htm out.htm kiv.sqlite", 0, "!!a,A01; 200\r\n", ""},
      {"a run ended with error", "!!a,A01; gethere !!u,A01; gethere", "page.htm out.htm kiv.sqlite",
       3, "!!a,A01; 200 !!u,A01; gethere\r\n", "error\npass 1 on"},
      {"the page cannot be loaded", "", "page.htm out.htm kiv.sqlite", 1, "",
       "load page.htm failed: error 53"},
      {"the result cannot be saved", "x", "page.htm no/out.htm kiv.sqlite", 1, "",
       "save no/out.htm failed: error 75"},
      {"too few arguments", "x", "page.htm out.htm", 2, "", "Usage: dorvane web"},
      {"an unknown option", "x", "page.htm out.htm kiv.sqlite --fast", 2, "", "unknown option"},
      {"an unknown code page", "x", "page.htm out.htm kiv.sqlite --codepage 4242", 2, "",
       "code page 4242 is not available"},
      {"a secondary database", "!!a,A01; gethere gethere", "page.htm out.htm kiv.sqlite kiv.sqlite",
       0, "!!a,A01; 200 200\r\n", ""},
      {"the report cannot be written", "!!a,A01; gethere",
       "page.htm out.htm kiv.sqlite --report no/report.html", 1, "!!a,A01; 200\r\n",
       "cannot write the report no/report.html: error 75"},
      {"a report without its file", "x", "page.htm out.htm kiv.sqlite --report", 2, "",
       "--report needs a value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(dir_.file("out.htm"));
    fs::remove(dir_.file("page.htm"));
    if (!c.page.empty()) writeBytes(dir_.file("page.htm"), c.page);
    Cli r = dorvane("web " + c.args, dir_.path().string());
    EXPECT_EQ(r.status, c.status) << r.stderrText;
    if (c.result.empty()) {
      EXPECT_FALSE(fs::exists(dir_.file("out.htm")));
    } else {
      EXPECT_EQ(readBytes(dir_.file("out.htm")), c.result);
    }
    EXPECT_NE(r.stderrText.find(c.said), std::string::npos) << r.stderrText;
    if (c.page.empty()) {
      EXPECT_FALSE(fs::exists(dir_.file("page.htm")));  // a missing page is never created
    }
  }
}

TEST_F(WebCommand, ExplainTellsWhyAMarkerStayed) {
  writeBytes(dir_.file("page.htm"), "!!zz,A01; gethere !!a,A01; gethere &&d,A02; gethere");
  Cli r = dorvane("web page.htm out.htm kiv.sqlite --explain", dir_.path().string());
  ASSERT_EQ(r.status, 0) << r.stderrText;
  for (const char* line : {"pass 1 on kiv.sqlite", "placeholder !!zz,A01; at position 1",
                           "key !!zz: no row in the reference table",
                           "sql: select all items.* from items where items.code = 'A01'",
                           "wrote \"200\" at position 28", "pass 2 on kiv.sqlite",
                           "left alone: the row belongs to the other pass",
                           "sql: select all orders.* from orders where orders.code ='A02'",
                           "placeholder &&d,A02 at position 32"}) {
    EXPECT_NE(r.stderrText.find(line), std::string::npos) << line << "\n" << r.stderrText;
  }
}

TEST_F(WebCommand, CodePageOption) {
  writeBytes(dir_.file("page.htm"), "\xc3\xa9 !!g,GB; gethere");
  Cli r;
  for (const char* args : {"page.htm out.htm kiv.sqlite --codepage 65001",
                           "page.htm out.htm kiv.sqlite --codepage=65001",
                           "--codepage=65001 page.htm out.htm kiv.sqlite"}) {
    SCOPED_TRACE(args);
    fs::remove(dir_.file("out.htm"));
    r = dorvane(std::string("web ") + args, dir_.path().string());
    ASSERT_EQ(r.status, 0) << r.stderrText;
    EXPECT_EQ(readBytes(dir_.file("out.htm")), "\xc3\xa9 !!g,GB; 漢字¥\r\n");
  }
  r = dorvane("web page.htm out.htm kiv.sqlite", dir_.path().string());  // 932
  EXPECT_EQ(readBytes(dir_.file("out.htm")), "\xc3\xa9 !!g,GB; \x8a\xbf\x8e\x9a&#165;\r\n");
}

TEST_F(WebCommand, DashIsStandardInputAndOutput) {
  writeBytes(dir_.file("page.htm"), "!!a,A01; gethere");
  Cli r = dorvane("web - - kiv.sqlite < page.htm > got.htm", dir_.path().string());
  ASSERT_EQ(r.status, 0) << r.stderrText;
  EXPECT_EQ(readBytes(dir_.file("got.htm")), "!!a,A01; 200\r\n");
  EXPECT_FALSE(fs::exists(dir_.file("-")));
}

TEST_F(WebCommand, APageOverTheLimitIsOutOfMemory) {
  writeBytes(dir_.file("page.htm"), std::string(5000, 'x'));
  const std::pair<const char*, const char*> cases[] = {{"page.htm", "1000"},
                                                       {"/dev/zero", "1000000"}};
  for (const auto& [page, limit] : cases) {
    SCOPED_TRACE(page);
    Cli r = dorvane(std::string("web ") + page + " out.htm kiv.sqlite", dir_.path().string(),
                    std::string("DORVANE_PAGE_LIMIT=") + limit + " ");
    EXPECT_EQ(r.status, 1) << r.stderrText;
    EXPECT_NE(r.stderrText.find("error 7: Out of memory: the page file '" + std::string(page)),
              std::string::npos)
        << r.stderrText;
    EXPECT_FALSE(fs::exists(dir_.file("out.htm")));
  }
}

TEST_F(WebCommand, AFileSizeLimitIsACleanSaveFailure) {
  writeBytes(dir_.file("page.htm"), std::string(300000, 'x'));
  Cli r = dorvane("web page.htm out.htm kiv.sqlite", dir_.path().string(), "ulimit -f 64 && ");
  EXPECT_EQ(r.status, 1) << r.stderrText;
  EXPECT_NE(r.stderrText.find("save out.htm failed: error 61"), std::string::npos) << r.stderrText;
  EXPECT_FALSE(fs::exists(dir_.file("out.htm")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

TEST_F(WebCommand, AWalDatabaseInAFolderWeCannotWriteIsError3051) {
  // Reading a WAL database needs its index file beside it; a folder the user
  // cannot write makes that impossible. Run as nobody when the tests run as
  // root (root may write anywhere).
  const fs::path folder = dir_.path() / "kept";
  fs::create_directory(folder);
  const std::string db = (folder / "wal.sqlite").string();
  testing::buildPageDatabase(db);
  testing::buildDatabase(db, "PRAGMA journal_mode=WAL;");
  writeBytes(dir_.file("page.htm"), "!!a,A01; gethere");
  std::string before;
  if (::geteuid() == 0) {
    if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "no setpriv";
    if (std::system(("setpriv --reuid=nobody --regid=nogroup --clear-groups test -x '" +
                     std::string(DORVANE_CLI) + "'")
                        .c_str()) != 0) {
      GTEST_SKIP() << "nobody cannot run " << DORVANE_CLI;
    }
    before = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
    fs::permissions(dir_.path(), fs::perms::owner_all | fs::perms::group_read |
                                     fs::perms::group_exec | fs::perms::others_read |
                                     fs::perms::others_exec);
    fs::permissions(db, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(dir_.file("page.htm"), fs::perms::others_read, fs::perm_options::add);
  } else {
    fs::permissions(folder,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  }
  Cli r = dorvane("web page.htm - kept/wal.sqlite", dir_.path().string(), before);
  fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(r.status, 3) << r.stderrText;
  EXPECT_NE(r.stderrText.find("error 3051: The database engine cannot open the file '" +
                              std::string("kept/wal.sqlite") + "'"),
            std::string::npos)
      << r.stderrText;
  EXPECT_NE(r.stderrText.find("its folder cannot be written"), std::string::npos) << r.stderrText;
}

// The temporary result in folder, or "" while there is none.
std::string temporaryResult(const fs::path& folder) {
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.path().filename().string().rfind(".out.htm.dorvane-", 0) == 0) return e.path().string();
  }
  return {};
}

TEST_F(WebCommand, ASignalDuringTheSaveLeavesTheOldResult) {
  // A page large enough that its save takes a while.
  std::string page = "!!a,A01; gethere\r\n";
  page += std::string(16 << 20, 'p');
  writeBytes(dir_.file("page.htm"), page);
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    writeBytes(dir_.file("out.htm"), "old result");
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::chdir(dir_.path().c_str()) != 0) ::_exit(99);
      ::execl(DORVANE_CLI, DORVANE_CLI, "web", "page.htm", "out.htm", "kiv.sqlite", nullptr);
      ::_exit(98);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < deadline &&
           ::waitpid(pid, &status, WNOHANG) == 0) {
      seen = !temporaryResult(dir_.path()).empty();
    }
    ASSERT_TRUE(seen) << "the save was not caught under way";
    ::kill(pid, sig);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    EXPECT_EQ(temporaryResult(dir_.path()), "");
    EXPECT_EQ(readBytes(dir_.file("out.htm")), "old result");
  }
}

TEST_F(WebCommand, DoubleDashEndsTheOptions) {
  writeBytes(dir_.file("-x.htm"), "!!a,A01; gethere");
  Cli r = dorvane("web --codepage 932 -- -x.htm out.htm kiv.sqlite", dir_.path().string());
  ASSERT_EQ(r.status, 0) << r.stderrText;
  EXPECT_EQ(readBytes(dir_.file("out.htm")), "!!a,A01; 200\r\n");
  r = dorvane("web -x.htm out2.htm kiv.sqlite", dir_.path().string());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.stderrText.find("dorvane web: unknown option -x"), std::string::npos) << r.stderrText;
  EXPECT_NE(r.stderrText.find("Usage: dorvane web READFILE"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_.file("out2.htm")));
}

TEST(WebSample, MergesTheBundledSample) {
  const fs::path source = DORVANE_SOURCE_DIR;
  const fs::path sample = fs::path(DORVANE_CLI).parent_path() / "sample";
  if (!fs::exists(sample / "samplekiv.sqlite")) GTEST_SKIP() << "sample database not built";
  TempDir dir;
  Cli r = dorvane("web '" + (source / "samples/sampleweb.htm").string() + "' '" +
                      dir.file("out.htm") + "' samplekiv.sqlite",
                  sample.string());
  ASSERT_EQ(r.status, 0) << r.stderrText;
  std::string out = readBytes(dir.file("out.htm"));
  EXPECT_EQ(out.find("gethere"), std::string::npos);  // every marker used
  // A value of pass 1, a value of pass 2 (code page 932 bytes of ノート) and the table.
  EXPECT_NE(out.find("<TD>200</TD>"), std::string::npos);
  EXPECT_NE(out.find("<TD>\x83m\x81[\x83g</TD>"), std::string::npos);
  EXPECT_NE(out.find("<TABLE><TR><TD>"), std::string::npos);
}

}  // namespace
}  // namespace dorvane
