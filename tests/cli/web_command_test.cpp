// dorvane web on real files: exit statuses, the result bytes, --explain,
// --codepage and the bundled sample.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
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
// stderr captured together.
Cli dorvane(const std::string& args, const std::string& folder) {
  std::string command = "cd '" + folder + "' && '" + DORVANE_CLI + "' " + args + " 2>&1";
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
