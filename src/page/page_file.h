// Loading a page file into the page text and saving the page text as the
// result file, in the page code page (932 by default).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dorvane::page {

// The largest page loadPage reads, in bytes: DORVANE_PAGE_LIMIT when it holds
// a positive number, else 1 GiB.
std::uint64_t pageSizeLimit();

// Reads the whole file at readFile ("-": standard input) and decodes it from
// codePage (bytes the code page does not know are kept losslessly; see
// platform/text/code_page.h). The text is built piece by piece, so the bytes
// are never held whole beside it. Nothing is created or changed on disk.
// Raises 53 when readFile does not exist, 75 when it cannot be read (a folder,
// no permission, a read error), 5 for an unknown code page, 7 when the page is
// larger than pageSizeLimit() (a regular file before anything is read, a
// device or pipe as soon as it grows past it) or does not fit in memory.
std::u16string loadPage(const std::u16string& readFile, int codePage);

// A page held in memory decoded as loadPage decodes a file's bytes. Raises 7
// when it is larger than pageSizeLimit() or does not fit in memory, 5 for an
// unknown code page.
std::u16string decodePage(std::string_view bytes, int codePage);

// The bytes savePage would write for text: text encoded in codePage, then
// CR LF. Raises 5 for an unknown code page, 7 when it does not fit in memory.
std::string encodePage(std::u16string_view text, int codePage);

// Writes text encoded in codePage, followed by CR LF, as the result file
// saveFile, by the rules of platform/file/result_file.h: "-" is standard
// output, a link's target is replaced and the link kept, a device or FIFO is
// written into, a read-only result is refused, anything else is replaced
// whole through a temporary file or, on any failure, left as it was. The
// text is encoded piece by piece as it is written. A new file gets the
// permissions the umask allows (0666 masked); a replaced one keeps its
// permissions. Raises 75 when the result cannot be written (the description
// names the file and the reason), 61 when the disk or the file-size limit is
// full, 5 for an unknown code page (before anything is opened).
void savePage(const std::u16string& saveFile, const std::u16string& text, int codePage);

}  // namespace dorvane::page
