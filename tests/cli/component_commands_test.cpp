// dorvane register / sample / --version / unregister, end to end in a
// private registry and sample folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_command.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

using testing::runCommand;
using testing::shellQuote;

TEST(ComponentCommands, RegisterSampleVersionUnregister) {
  testing::TempDir dir;
  const std::string env = "DORVANE_REGISTRY=" + shellQuote(dir.file("registry")) +
                          " DORVANE_SAMPLE_DIR=" + shellQuote(dir.file("sample")) +
                          " DORVANE_SAMPLE_SOURCE=" + shellQuote(DORVANE_SOURCE_DIR "/samples") +
                          " ";
  const std::string cli = env + DORVANE_CLI;

  auto reg = runCommand(cli + " register " + shellQuote(DORVANE_OCX));
  ASSERT_EQ(reg.status, 0) << reg.out;
  EXPECT_TRUE(std::filesystem::exists(dir.file("registry")));

  auto version = runCommand(cli + " --version");
  EXPECT_EQ(version.status, 0);
  for (const char* line :
       {"FileVersion=1.00", "ProductVersion=1.00", "OLESelfRegister=", "Language=0x0411"})
    EXPECT_NE(version.out.find(line), std::string::npos) << line << " in " << version.out;

  auto sample = runCommand(cli + " sample");
  EXPECT_EQ(sample.status, 0) << sample.out;
  EXPECT_EQ(sample.out, dir.file("sample") + "/sampleweb1.htm\n");
  EXPECT_TRUE(std::filesystem::exists(dir.file("sample/sampleweb1.htm")));

  EXPECT_EQ(runCommand(cli + " unregister " + shellQuote(DORVANE_OCX)).status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir.file("registry")));
  EXPECT_EQ(runCommand(cli + " register /nonexistent/Dorvane.ocx 2>/dev/null").status, 1);
}

}  // namespace
}  // namespace dorvane
