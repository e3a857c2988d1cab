// Result files on Windows: a page merged into a folder with a Japanese name,
// a read-only result refused with 75, a result another program holds open
// refused with 75 naming the sharing violation; the old file whole each time
// and no temporary file left behind.
#include <dorvane/runtime_error.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "page/page_file.h"
#include "platform/text/utf.h"
#include "support/temp_db.h"

namespace {

namespace fs = std::filesystem;
using dorvane::testing::TempDir;

std::wstring wide(const fs::path& p) { return p.wstring(); }

size_t filesIn(const fs::path& dir) {
  size_t n = 0;
  for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

std::string readAll(const fs::path& p) {
  HANDLE h = ::CreateFileW(wide(p).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes(1 << 16, '\0');
  DWORD got = 0;
  ::ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  ::CloseHandle(h);
  bytes.resize(got);
  return bytes;
}

TEST(WindowsResultFile, JapaneseFolderNamesWork) {
  TempDir dir;
  const fs::path folder = dir.path() / fs::path(u"\u660e\u7d30\u30da\u30fc\u30b8");  // 明細ページ
  ASSERT_TRUE(fs::create_directory(folder));
  const fs::path page = folder / fs::path(u"\u8868.htm");  // 表.htm
  const std::u16string path = page.u16string();
  dorvane::page::savePage(path, u"\u6f22\u5b57 <b>", 932);
  EXPECT_EQ(readAll(page), "\x8a\xbf\x8e\x9a <b>\r\n");
  EXPECT_EQ(dorvane::page::loadPage(path, 932), u"\u6f22\u5b57 <b>\r\n");
  EXPECT_EQ(filesIn(folder), 1u);
}

TEST(WindowsResultFile, ReadOnlyAndHeldOpenResultsAreRefusedAndLeftWhole) {
  TempDir dir;
  const struct {
    const char* what;
    bool readOnly;
    DWORD share;  // how another program holds the result open; 0 for not at all
    const char* says;
  } cases[] = {
      {"read-only", true, 0, "read-only"},
      {"held open, no sharing", false, FILE_SHARE_READ, "in use by another program"},
  };
  for (const auto& c : cases) {
    const fs::path result = dir.path() / (std::string(c.what).substr(0, 4) + ".htm");
    dorvane::testing::writeBytes(result.string(), "old result");
    if (c.readOnly) ::SetFileAttributesW(wide(result).c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.share) {
      held = ::CreateFileW(wide(result).c_str(), GENERIC_READ, c.share, nullptr, OPEN_EXISTING, 0,
                           nullptr);
      ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    const size_t before = filesIn(dir.path());
    int number = 0;
    std::string description;
    try {
      dorvane::page::savePage(result.u16string(), u"new", 1252);
    } catch (const dorvane::RuntimeError& e) {
      number = e.number();
      description = e.description();
    }
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    EXPECT_EQ(number, dorvane::err::kFileAccess) << c.what;
    EXPECT_NE(description.find(c.says), std::string::npos) << c.what << ": " << description;
    EXPECT_EQ(readAll(result), "old result") << c.what;
    std::string names;
    for (const auto& e : fs::directory_iterator(dir.path()))
      names += " " + e.path().filename().string();
    EXPECT_EQ(filesIn(dir.path()), before) << c.what << ": a temporary file was left:" << names;
    ::SetFileAttributesW(wide(result).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST(WindowsResultFile, AnExistingResultIsReplacedWhole) {
  TempDir dir;
  const fs::path result = dir.path() / "r.htm";
  dorvane::testing::writeBytes(result.string(), std::string(5000, 'x'));
  dorvane::page::savePage(result.u16string(), u"short", 1252);
  EXPECT_EQ(readAll(result), "short\r\n");
  EXPECT_EQ(filesIn(dir.path()), 1u);
}

}  // namespace
