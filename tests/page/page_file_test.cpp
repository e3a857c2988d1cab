#include "page/page_file.h"

#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/text/code_page.h"
#include "platform/text/utf.h"
#include "support/error_of.h"
#include "support/temp_db.h"

namespace dorvane::page {
namespace {

using testing::TempDir;
namespace fs = std::filesystem;

using testing::readBytes;
using testing::writeBytes;

using testing::errorOf;

std::u16string u(const std::string& s) { return text::fromUtf8(s); }

TEST(PageFile, LoadDecodesTheWholeFile) {
  TempDir dir;
  const std::string bytes = std::string("<p>\x8a\xbf\x8e\x9a\0\x80</p>\r\n", 15);
  writeBytes(dir.file("page.htm"), bytes);
  std::u16string t = loadPage(u(dir.file("page.htm")), 932);
  EXPECT_EQ(t, std::u16string(u"<p>漢字\0\xdc80</p>\r\n", 13));

  writeBytes(dir.file("empty.htm"), "");
  EXPECT_EQ(loadPage(u(dir.file("empty.htm")), 932), u"");
}

TEST(PageFile, LoadFailures) {
  TempDir dir;
  // A page that does not exist is a failure, and nothing is created.
  EXPECT_EQ(errorOf([&] { loadPage(u(dir.file("missing.htm")), 932); }), err::kNoSuchFile);
  EXPECT_FALSE(fs::exists(dir.file("missing.htm")));
  EXPECT_EQ(errorOf([&] { loadPage(u(dir.file("no/such/folder.htm")), 932); }), err::kNoSuchFile);
  EXPECT_EQ(errorOf([&] { loadPage(u(dir.path().string()), 932); }), err::kFileAccess);
  writeBytes(dir.file("page.htm"), "x");
  EXPECT_EQ(errorOf([&] { loadPage(u(dir.file("page.htm")), 4242); }), err::kInvalidCall);
}

TEST(PageFile, ALargePageLoadsAndSavesPieceByPieceAsAWhole) {
  // Several pieces' worth of kanji and bytes the code page lacks: first in
  // lines, then in one line longer than a piece.
  std::string bytes;
  for (int i = 1; bytes.size() < (size_t(10) << 20); ++i) {
    bytes += "\x8a\xbf\x8e\x9a<p>\t\x82\xa0";
    if (i % 997 == 0) bytes += "\x80\xfd";
    if (bytes.size() < (size_t(5) << 20)) bytes += "\r\n";
  }
  TempDir dir;
  writeBytes(dir.file("page.htm"), bytes);
  const std::u16string t = loadPage(u(dir.file("page.htm")), 932);
  EXPECT_TRUE(t == text::decodeCodePage(bytes, 932));
  savePage(u(dir.file("out.htm")), t, 932);
  EXPECT_TRUE(readBytes(dir.file("out.htm")) == bytes + "\r\n");
}

struct SaveCase {
  const char* name;
  std::u16string text;
  std::string bytes;
};

TEST(PageFile, SaveWritesTheCodePageAndOneLineEnd) {
  const SaveCase cases[] = {
      {"empty page: a single line end", u"", "\r\n"},
      {"a page ending with a line end gets a second", u"<p>\r\n", "<p>\r\n\r\n"},
      {"kanji", u"漢字", "\x8a\xbf\x8e\x9a\r\n"},
      {"escaped bytes go back as they came", std::u16string(u"a\xdc80\xdced\xdc40", 4),
       "a\x80\xed\x40\r\n"},
      {"a character the code page cannot hold", u"\u00e9\U0001F600", "&#233;&#128512;\r\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    savePage(u(dir.file("out.htm")), c.text, 932);
    EXPECT_EQ(readBytes(dir.file("out.htm")), c.bytes);
  }
}

TEST(PageFile, SaveReplacesWholeAndKeepsPermissions) {
  TempDir dir;
  const std::string path = dir.file("out.htm");
  writeBytes(path, std::string(10000, 'x'));
  ::chmod(path.c_str(), 0640);
  savePage(u(path), u"short", 932);
  EXPECT_EQ(readBytes(path), "short\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Only the result is left in the folder: no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(PageFile, FailedSaveLeavesTheOldResult) {
  TempDir dir;
  const std::string path = dir.file("out.htm");
  writeBytes(path, "old result");
  // The conversion fails before anything is written.
  EXPECT_EQ(errorOf([&] { savePage(u(path), u"new", 4242); }), err::kInvalidCall);
  EXPECT_EQ(readBytes(path), "old result");
  // A folder where the result should go is not replaced.
  fs::create_directory(dir.file("taken"));
  EXPECT_EQ(errorOf([&] { savePage(u(dir.file("taken")), u"new", 932); }), err::kFileAccess);
  EXPECT_TRUE(fs::is_directory(dir.file("taken")));
  // A folder that does not exist.
  EXPECT_EQ(errorOf([&] { savePage(u(dir.file("no/out.htm")), u"new", 932); }), err::kFileAccess);
  EXPECT_FALSE(fs::exists(dir.file("no")));
  // Nothing but the old result and the folder remain.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace dorvane::page
