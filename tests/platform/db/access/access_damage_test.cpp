// Damaged Access files made from a real one by changing the bytes that
// matter for each structure the reader walks: every one is error 3049 naming
// the file and the table, and the table is not copied in, not even in part.
#include <dorvane/engine.h>
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>

#include "platform/db/access/access_database.h"
#include "platform/db/access/access_fixture.h"
#include "platform/text/utf.h"
#include "support/temp_db.h"

namespace dorvane {
namespace {

constexpr std::size_t kPage = 4096;  // source.mdb is a Jet 4 file

std::uint32_t get32(const std::string& b, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
void put16(std::string& b, std::size_t at, std::uint16_t v) { std::memcpy(&b[at], &v, 2); }
void put32(std::string& b, std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); }

// Where table items of source.mdb lies: its definition page, the byte where
// its usage map starts and its data pages.
struct Layout {
  std::size_t definition = 0, usageMap = 0;
  std::vector<std::size_t> dataPages;  // byte offsets of the pages
};

Layout locate(const std::string& b, std::uint32_t tablePage) {
  Layout l;
  l.definition = tablePage * kPage;
  const std::uint32_t map = get32(b, l.definition + 55);
  const std::size_t mapPage = (map >> 8) * kPage, row = map & 0xFF;
  std::uint16_t start;
  std::memcpy(&start, b.data() + mapPage + 14 + 2 * row, 2);
  l.usageMap = mapPage + (start & 0x1FFF);
  for (std::size_t at = kPage; at + kPage <= b.size(); at += kPage)
    if (b[at] == 1 && get32(b, at + 4) == tablePage) l.dataPages.push_back(at);
  return l;
}

TEST(AccessDamage, EachBrokenStructureIsError3049AndCopiesNothing) {
  DORVANE_ENTER_FIXTURES("access");
  testing::TempDir dir;
  const std::string good = testing::readBytes("source.mdb");
  auto sourceDb = Engine::instance().OpenDatabase(u"source.mdb");
  const auto* entry = dynamic_cast<db::AccessDatabase&>(*sourceDb).file().find(u"items");
  ASSERT_NE(entry, nullptr);
  const std::uint32_t tablePage = entry->id & 0x00FFFFFF;
  const Layout at = locate(good, tablePage);
  ASSERT_FALSE(at.dataPages.empty());
  const std::size_t firstData = at.dataPages.front();

  const struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* says;  // a word of the reason given
  } cases[] = {
      {"row offset past the page", [&](std::string& b) { put16(b, firstData + 14, 0x1FFF); },
       "outside the page"},
      {"row count that lies", [&](std::string& b) { put16(b, firstData + 12, 2000); }, "data page"},
      {"definition chain loop", [&](std::string& b) { put32(b, at.definition + 4, tablePage); },
       "loop"},
      {"definition that claims more columns than it holds",
       [&](std::string& b) { put16(b, at.definition + 45, 4000); }, "cut short"},
      {"usage map out of the file", [&](std::string& b) { put32(b, at.usageMap + 1, 0x00FFFF00); },
       "outside the file"},
      {"usage map referring to a page that is no bitmap",
       [&](std::string& b) { put32(b, at.usageMap + 1, 1); }, "no bitmap page"},
      {"data page of another table", [&](std::string& b) { put32(b, firstData + 4, 2); },
       "no data page of the table"},
      {"usage map of an unknown type", [&](std::string& b) { b[at.usageMap] = 7; }, "type"},
      {"truncated before a data page", [&](std::string& b) { b.resize(at.dataPages.back()); },
       "outside the file"},
  };
  for (const auto& c : cases) {
    std::string bytes = good;
    c.damage(bytes);
    const std::string path = dir.file(std::to_string(&c - cases) + ".mdb");
    std::ofstream(path, std::ios::binary) << bytes;
    auto db = Engine::instance().OpenDatabase(text::fromUtf8(path));
    std::string why;
    int number = 0;
    try {
      auto rs = db->OpenRecordset(u"items");
      while (!rs->Eof()) rs->MoveNext();
    } catch (const RuntimeError& e) {
      number = e.number();
      why = e.description();
    }
    EXPECT_EQ(number, err::kCannotOpenDatabase) << c.name;
    EXPECT_NE(why.find(path), std::string::npos) << c.name << ": " << why;
    EXPECT_NE(why.find("'items'"), std::string::npos) << c.name << ": " << why;
    EXPECT_NE(why.find(c.says), std::string::npos) << c.name << ": " << why;
    auto& file = dynamic_cast<db::AccessDatabase&>(*db).file();
    EXPECT_EQ(file.imported(u"items"), nullptr) << c.name;
    auto copied = file.connection()->prepare(u"SELECT count(*) FROM sqlite_master");
    ASSERT_TRUE(copied.step());
    EXPECT_EQ(sqlite3_column_int(copied.get(), 0), 0) << c.name;
  }
}

}  // namespace
}  // namespace dorvane
