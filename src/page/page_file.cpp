#include "page/page_file.h"

#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/file/input_file.h"
#include "platform/file/result_file.h"
#include "platform/text/code_page.h"
#include "platform/text/utf.h"

namespace dorvane::page {

namespace {

constexpr std::uint64_t kDefaultPageLimit = std::uint64_t(1) << 30;
// Bytes gathered before they are decoded (up to their last line end).
constexpr size_t kDecodePiece = size_t(4) << 20;
// Characters encoded at a time when saving.
constexpr size_t kEncodePiece = size_t(1) << 20;

// Where a gathered piece can be cut for decoding: after its last line end, a
// byte never inside a character of the code pages we serve; in a page without
// line ends, after its last other control byte (not ESC, which starts a shift
// sequence). npos when there is no such place yet.
size_t pieceEnd(const std::string& bytes) {
  size_t end = bytes.rfind('\n');
  if (end != std::string::npos) return end;
  for (size_t i = bytes.size(); i-- > 0;) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x20 && b != 0x1B) return i;
  }
  return std::string::npos;
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

std::uint64_t pageSizeLimit() {
  if (const char* v = std::getenv("DORVANE_PAGE_LIMIT")) {
    char* end = nullptr;
    errno = 0;
    unsigned long long n = std::strtoull(v, &end, 10);
    if (errno == 0 && end != v && *end == '\0' && n > 0 && v[0] != '-') return n;
  }
  return kDefaultPageLimit;
}

std::u16string loadPage(const std::u16string& readFile, int codePage) {
  const std::string path = readFile == u"-" ? "standard input" : text::toUtf8(readFile);
  text::CodePageConverter converter(codePage);
  file::InputFile in;
  switch (in.open(readFile == u"-" ? "-" : path)) {
    case file::InputFile::Status::Ok:
      break;
    case file::InputFile::Status::Missing:
      throw RuntimeError(err::kNoSuchFile, "The page file '" + path + "' does not exist");
    case file::InputFile::Status::Folder:
      throw RuntimeError(err::kFileAccess, "The page file '" + path + "' is a folder");
    case file::InputFile::Status::Failed:
      throw RuntimeError(err::kFileAccess,
                         "Cannot open the page file '" + path + "': " + in.error());
  }
  const std::int64_t regularSize = in.regularSize();
  const std::uint64_t limit = pageSizeLimit();
  const auto tooLarge = [&] {
    return RuntimeError(err::kOutOfMemory, "Out of memory: the page file '" + path +
                                               "' is larger than the page limit of " +
                                               std::to_string(limit) +
                                               " bytes (DORVANE_PAGE_LIMIT)");
  };
  if (regularSize >= 0 && static_cast<std::uint64_t>(regularSize) > limit) throw tooLarge();

  std::u16string text;
  try {
    // A code page never gives more UTF-16 units than it has bytes.
    if (regularSize >= 0) text.reserve(static_cast<size_t>(regularSize));
    std::string bytes;
    std::uint64_t total = 0;
    size_t nextCut = kDecodePiece;
    char buf[65536];
    for (;;) {
      const long long n = in.read(buf, sizeof buf);
      if (n < 0) {
        throw RuntimeError(err::kFileAccess,
                           "Cannot read the page file '" + path + "': " + in.error());
      }
      if (n == 0) break;
      total += static_cast<std::uint64_t>(n);
      if (total > limit) throw tooLarge();
      bytes.append(buf, static_cast<size_t>(n));
      if (bytes.size() >= nextCut) {
        size_t end = pieceEnd(bytes);
        if (end != std::string::npos) {
          converter.decodeAppend(std::string_view(bytes).substr(0, end + 1), text);
          bytes.erase(0, end + 1);
          nextCut = kDecodePiece;
        } else {
          nextCut = bytes.size() * 2;  // look again once it has doubled
        }
      }
    }
    converter.decodeAppend(bytes, text);
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "The page file '" + path + "' does not fit in memory");
  }
  return text;
}

std::u16string decodePage(std::string_view bytes, int codePage) {
  text::CodePageConverter converter(codePage);
  const std::uint64_t limit = pageSizeLimit();
  if (bytes.size() > limit) {
    throw RuntimeError(err::kOutOfMemory,
                       "Out of memory: the page is larger than the page limit of " +
                           std::to_string(limit) + " bytes (DORVANE_PAGE_LIMIT)");
  }
  try {
    std::u16string text;
    text.reserve(bytes.size());  // a code page never gives more units than bytes
    converter.decodeAppend(bytes, text);
    return text;
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "The page does not fit in memory");
  }
}

std::string encodePage(std::u16string_view text, int codePage) {
  text::CodePageConverter converter(codePage);
  try {
    std::string bytes = converter.encode(text);
    bytes += "\r\n";
    return bytes;
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "The result page does not fit in memory");
  }
}

void savePage(const std::u16string& saveFile, const std::u16string& text, int codePage) {
  text::CodePageConverter converter(codePage);
  file::ResultFile out(saveFile == u"-" ? "-" : text::toUtf8(saveFile));
  const std::u16string_view all(text);
  for (size_t i = 0; i < all.size();) {
    size_t n = std::min(kEncodePiece, all.size() - i);
    if (i + n < all.size() && isHighSurrogate(all[i + n - 1])) --n;  // keep a pair together
    out.write(converter.encode(all.substr(i, n)));
    i += n;
  }
  out.write("\r\n");
  out.commit();
}

}  // namespace dorvane::page
