// dorvane resolve, end to end: the real binary on a database built here.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "resolve/resolve_fixture.h"
#include "support/run_command.h"

namespace dorvane {
namespace {

using testing::runCommand;
using testing::shellQuote;

class ResolveCommand : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testing::TempDir;
    testing::buildResolveDatabase(dir_->file("kiv.sqlite"));
  }
  static void TearDownTestSuite() { delete dir_; }

  static testing::CommandResult resolve(const std::string& text, const std::string& options) {
    return runCommand(std::string(DORVANE_CLI) + " resolve " + shellQuote(text) + " --db " +
                      shellQuote(dir_->file("kiv.sqlite")) + " " + options + " 2>/dev/null");
  }
  static testing::TempDir* dir_;
};
testing::TempDir* ResolveCommand::dir_ = nullptr;

TEST_F(ResolveCommand, JsonForEachShapeOfResult) {
  struct Case {
    const char* text;
    const char* options;
    const char* json;
  } cases[] = {
      {"!!price,A01;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"Double","text":"200"},"comment":"単価"})"},
      {"!!price,A01;", "--pass 1 --kind page --json",
       R"({"outcome":"Resolved","value":{"type":"Double","text":"200"}})"},
      {"!!price,ZZ;YY;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"Double","text":"0"}})"},
      {"!!thousand,S1;ZZ;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"Double","text":"1.234"}})"},
      {"!!badround,A01;", "--pass 1 --json", R"({"outcome":"Resolved","comment":"丸め不明"})"},
      {"!!first,ZZ;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"String","text":""}})"},
      {"!!first,N1;A01;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"String","text":"a"}})"},
      {"!!name,A01;", "--pass 2 --json",
       R"({"outcome":"Resolved","value":{"type":"String","text":"pen"},"comment":"black"})"},
      {"!!names,N1;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"String","text":"a b "},"comment":"品名一覧"})"},
      {"!!nullunit,S1;ZZ;", "--pass 1 --json",
       R"({"outcome":"Resolved","value":{"type":"Null","text":""}})"},
      {"!!price,A01;", "--pass 2 --json", R"({"outcome":"Skip"})"},
      {"!!price,A01", "--pass 1 --json", R"({"outcome":"StopPass"})"},
  };
  for (const auto& c : cases) {
    auto r = resolve(c.text, c.options);
    EXPECT_EQ(r.status, 0) << c.text;
    EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::parse(c.json))
        << c.text << " " << r.out;
    EXPECT_EQ(r.out.find("\"outcome\""), 1u) << "outcome first: " << r.out;
  }
}

TEST_F(ResolveCommand, ErrorsAndUsage) {
  auto r = resolve("!!unit0,A01;", "--pass 1 --json");
  EXPECT_EQ(r.status, 1);
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["error"]["number"], 11);
  EXPECT_NE(j["error"]["description"].get<std::string>().find("単位"), std::string::npos);

  EXPECT_EQ(resolve("!!price,A01;", "--pass 3").status, 2);
  EXPECT_EQ(resolve("!!price,A01;", "").status, 2);
  EXPECT_EQ(resolve("!!price,A01;", "--pass 1 --kind sideways").status, 2);
  EXPECT_EQ(runCommand(std::string(DORVANE_CLI) + " resolve --help").status, 0);
  EXPECT_EQ(runCommand(std::string(DORVANE_CLI) + " nonsense 2>/dev/null").status, 2);

  auto readable = resolve("!!price,A01;", "--pass 1");
  EXPECT_EQ(readable.status, 0);
  EXPECT_NE(readable.out.find("value:   200 (Double)"), std::string::npos) << readable.out;
}

}  // namespace
}  // namespace dorvane
