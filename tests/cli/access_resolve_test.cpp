// dorvane resolve over the Access fixtures, run as users run it: the real
// binary with --json, from the fixtures' access folder (DB名 is relative).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/db/access/access_fixture.h"

namespace {

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a CLI command in the current directory and parses its one line of JSON.
nlohmann::json runJson(const std::string& command, const std::vector<std::string>& args) {
  std::string cmd = shellQuote(DORVANE_CLI) + " " + command;
  for (const auto& a : args) cmd += " " + shellQuote(a);
  cmd += " --json 2>/dev/null";
  std::FILE* p = ::popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  ::pclose(p);
  return nlohmann::json::parse(out, nullptr, false);
}

nlohmann::json runResolve(const std::vector<std::string>& args) { return runJson("resolve", args); }

struct Case {
  std::string text, db, pass, kind;
  // Either an outcome with value type/text and comment ("-" for none),
  // or an error number.
  std::string outcome, type, value, comment;
  int error = 0;
};

TEST(AccessResolveCli, ValuesTheFixturesLetYouWorkOut) {
  DORVANE_ENTER_FIXTURES("access");
  const Case cases[] = {
      // 1000 + 234 for A01, rounded to 0 places, 内容説明 as comment.
      {"!!price,A01;", "ref.mdb", "1", "worksheet", "Resolved", "Double", "1234", "単価"},
      {"!!price,A01;", "ref.mdb", "1", "page", "Resolved", "Double", "1234", "-"},
      {"!!price,A01;", "ref.mdb", "2", "worksheet", "Skip", "-", "-", "-"},
      {"!!PRICE,a01;", "ref.mdb", "1", "worksheet", "Resolved", "Double", "1234", "単価"},
      {"!!price,A02;", "ref.mdb", "1", "page", "Resolved", "Double", "2500", "-"},
      // Units of 1000: 1.234 cut down, 1.234 rounded up in pass 2.
      {"!!price_k,A01;", "ref.mdb", "1", "worksheet", "Resolved", "Double", "1", "単価（千円）"},
      {"!!price_up,A01;", "ref.mdb", "2", "page", "Resolved", "Double", "2", "-"},
      {"!!price_up,A01;", "ref.mdb", "1", "page", "Skip", "-", "-", "-"},
      // Decimal ties: 2.675 → 2.68, 0.125 → 0.13, −2.5 stays.
      {"!!price_r2,B01;", "ref.mdb", "1", "page", "Resolved", "Double", "2.68", "-"},
      {"!!price_r2,C01;", "ref.mdb", "1", "page", "Resolved", "Double", "0.13", "-"},
      {"!!price_r2,B02;", "ref.mdb", "1", "page", "Resolved", "Double", "-2.5", "-"},
      // Text values summed: 10 + 5 (Null and "x" left out); "1,000" + " 7 ".
      {"!!mixed,M1;", "ref.mdb", "1", "page", "Resolved", "Double", "15", "-"},
      {"!!mixed,M2;", "ref.mdb", "1", "page", "Resolved", "Double", "1007", "-"},
      // Text item in pass 2, comment from the field note of the first record.
      {"!!name,A01;", "ref.mdb", "2", "worksheet", "Resolved", "String", "りんご", "青森産"},
      {"!!name,A01;", "ref.mdb", "2", "page", "Resolved", "String", "りんご", "-"},
      // Query mode over the stored query q_items (price > 0).
      {"!!qprice,A01;", "ref.mdb", "1", "page", "Resolved", "Double", "1234", "-"},
      {"!!qprice,B01;", "ref.mdb", "1", "page", "Resolved", "Double", "2.7", "-"},
      // Two key values: code S1 and lot 2 → 20 + 5.
      {"!!lot,S1'2;", "ref.mdb", "1", "page", "Resolved", "Double", "25", "-"},
      {"!!badround,A01;", "ref.mdb", "1", "worksheet", "Resolved", "-", "-", "丸め不明"},
      {"!!nokey,A01;", "ref.mdb", "1", "page", "Skip", "-", "-", "-"},
      // The secondary database: its own comment for !!price, and its own key.
      {"!!price,A01;", "secondary.mdb", "1", "worksheet", "Resolved", "Double", "1234", "二次"},
      {"!!only2,A01;", "secondary.mdb", "2", "page", "Resolved", "String", "りんご", "-"},
      {"!!only2,A01;", "secondary.mdb", "1", "page", "Skip", "-", "-", "-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " " + c.db + " pass " + c.pass + " " + c.kind);
    auto j = runResolve({c.text, "--db", c.db, "--pass", c.pass, "--kind", c.kind});
    ASSERT_TRUE(j.is_object()) << "no JSON from the CLI";
    ASSERT_FALSE(j.contains("error")) << j.dump();
    EXPECT_EQ(j.value("outcome", ""), c.outcome);
    if (c.type == "-") {
      EXPECT_FALSE(j.contains("value")) << j.dump();
    } else {
      EXPECT_EQ(j["value"]["type"], c.type);
      EXPECT_EQ(j["value"]["text"], c.value);
    }
    if (c.comment == "-") {
      EXPECT_FALSE(j.contains("comment")) << j.dump();
    } else {
      EXPECT_EQ(j.value("comment", ""), c.comment);
    }
  }
}

TEST(AccessResolveCli, LayoutErrorsAreRuntimeErrors) {
  DORVANE_ENTER_FIXTURES("access");
  struct ErrorCase {
    std::string text, db;
    int number;
    std::string mentions;
  } cases[] = {
      // Only the primary key PrimaryKey: no index ｷｰ.
      {"!!price,A01;", "layout_pk.mdb", 3800, "ｷｰ"},
      // A linked reference table is not table-type: no index can be set.
      {"!!price,A01;", "layout_linked.mdb", 3251, "参照ﾃｰﾌﾞﾙ"},
      {"!!nodb,A01;", "ref.mdb", 3024, "missing.mdb"},
      {"!!price,A01;", "missing.mdb", 3024, "missing.mdb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " " + c.db);
    auto j = runResolve({c.text, "--db", c.db, "--pass", "1"});
    ASSERT_TRUE(j.is_object() && j.contains("error")) << j.dump();
    EXPECT_EQ(j["error"]["number"], c.number);
    EXPECT_NE(j["error"]["description"].get<std::string>().find(c.mentions), std::string::npos)
        << j.dump();
  }
}

TEST(AccessInspectCli, ListsTablesIndexesLinksAndQueries) {
  DORVANE_ENTER_FIXTURES("access");
  auto source = runJson("inspect", {"source.mdb"});
  ASSERT_TRUE(source.is_object() && !source.contains("error")) << source.dump();
  std::map<std::string, long> rows;
  for (const auto& t : source["tables"]) rows[t["name"]] = t["rows"];
  EXPECT_EQ(rows,
            (std::map<std::string, long>{{"items", 7}, {"mixed", 6}, {"stock", 4}, {"orders", 5}}));
  const auto& items = *std::find_if(source["tables"].begin(), source["tables"].end(),
                                    [](const auto& t) { return t["name"] == "items"; });
  EXPECT_EQ(items["indexes"][0]["name"], "code");
  EXPECT_EQ(items["columns"][1]["type"], "Number (Double)");
  ASSERT_EQ(source["queries"].size(), 2u);
  for (const auto& q : source["queries"]) {
    EXPECT_EQ(q["kind"], "select");
    EXPECT_TRUE(q.contains("sql")) << q.dump();
  }

  auto pk = runJson("inspect", {"layout_pk.mdb"});
  ASSERT_EQ(pk["tables"].size(), 1u);
  EXPECT_EQ(pk["tables"][0]["indexes"][0]["name"], "PrimaryKey");
  EXPECT_TRUE(pk["tables"][0]["indexes"][0]["primaryKey"]);
  EXPECT_TRUE(pk["tables"][0].contains("warning"));
  auto linked = runJson("inspect", {"layout_linked.mdb"});
  ASSERT_EQ(linked["linkedTables"].size(), 1u);
  EXPECT_EQ(linked["linkedTables"][0]["database"], "ref.mdb");
  EXPECT_TRUE(linked["linkedTables"][0].contains("warning"));
  auto ref = runJson("inspect", {"ref.mdb"});
  for (const auto& t : ref["tables"]) EXPECT_FALSE(t.contains("warning")) << t.dump();
  auto missing = runJson("inspect", {"missing.mdb"});
  EXPECT_EQ(missing["error"]["number"], 3024);
}

}  // namespace
