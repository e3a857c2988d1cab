// Fuzz target: arbitrary bytes as a page file (code page 932) through the
// page merge against a small fixed reference database.
//
// Checks, for every input: decoding and encoding give the bytes back; the
// pass and its detail tables give exactly the text, HitStr, detail table text
// and run-time error of the literal algorithm (tests/page/literal_page_pass.h),
// also with the tables built in pieces;
// nothing crashes or hangs.
#include <dorvane/runtime_error.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../tests/page/literal_page_pass.h"
#include "../tests/page/page_fixture.h"
#include "page/page_detail.h"
#include "page/page_pass.h"
#include "platform/text/code_page.h"
#include "platform/text/utf.h"

namespace {

std::u16string* databasePath = nullptr;

struct RunResult {
  std::u16string text, textWeb;
  std::int32_t HitStr = 0;
  int error = 0;
  bool stopped = false;
};

template <typename Pass>
RunResult run(const std::u16string& page, std::int16_t wkcycle, Pass pass,
              bool keepTextWeb = true) {
  using namespace dorvane;
  RunResult o;
  o.text = page;
  std::u16string textWebbefore;
  std::shared_ptr<Database> kivdb, DB;
  std::shared_ptr<Recordset> kivrs, kivrs2, rs;
  page::PageMembers m{
      o.text, o.HitStr, o.textWeb, textWebbefore, wkcycle, *databasePath, kivdb, kivrs,
      kivrs2, DB,       rs,        keepTextWeb};
  try {
    o.stopped = pass(m) == page::PassEnd::Stopped;
  } catch (const RuntimeError& e) {
    o.error = e.number();
  }
  return o;
}

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  auto dir = std::filesystem::temp_directory_path() / "dorvane-fuzz-page";
  std::filesystem::create_directories(dir);
  std::string path = (dir / "kiv.sqlite").string();
  std::filesystem::remove(path);
  dorvane::testing::buildPageDatabase(path);
  databasePath = new std::u16string(dorvane::text::fromUtf8(path));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dorvane;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::u16string page = text::decodeCodePage(bytes, 932);
  check(text::encodeCodePage(page, 932) == bytes, "code page 932 round trip");

  for (std::int16_t wkcycle : {std::int16_t{1}, std::int16_t{2}}) {
    RunResult fast = run(page, wkcycle, [](page::PageMembers& m) {
      return page::runPagePass(m, [&m] { page::expandDetailTables(m); });
    });
    RunResult slow = run(page, wkcycle, [](page::PageMembers& m) {
      return literal::pagePass(m, [&m] { literal::detailWalk(m); });
    });
    check(fast.text == slow.text, "text");
    check(fast.HitStr == slow.HitStr, "HitStr");
    check(fast.textWeb == slow.textWeb, "textWeb");
    check(fast.error == slow.error, "error number");
    check(fast.stopped == slow.stopped, "stop");
    // Tables built in pieces, textWeb not kept: the same page.
    RunResult pieces = run(
        page, wkcycle,
        [](page::PageMembers& m) {
          return page::runPagePass(m, [&m] { page::expandDetailTables(m); });
        },
        false);
    check(pieces.text == slow.text, "text with tables in pieces");
    check(pieces.HitStr == slow.HitStr && pieces.error == slow.error, "end with tables in pieces");
    check(pieces.textWeb.empty(), "textWeb not kept");
  }
  return 0;
}
