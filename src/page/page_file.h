// Loading a page file into the page text and saving the page text as the
// result file, in the page code page (932 by default).
#pragma once

#include <string>

namespace dorvane::page {

// Reads the whole file at readFile and decodes it from codePage (bytes the
// code page does not know are kept losslessly; see platform/text/code_page.h).
// Nothing is created or changed on disk.
// Raises 53 when readFile does not exist, 75 when it cannot be read (a folder,
// no permission, a read error), 5 for an unknown code page, 7 out of memory.
std::u16string loadPage(const std::u16string& readFile, int codePage);

// Writes text encoded in codePage, followed by CR LF, to saveFile. The bytes
// go to a temporary file in the folder of saveFile, which is then renamed over
// saveFile: an existing file is replaced whole or, on any failure, left as it
// was, and no temporary file stays behind. A new file gets the permissions
// the umask allows (0666 masked); a replaced one keeps its permissions.
// Raises 75 when the folder does not exist or the file cannot be written or
// renamed (the description names the file and the reason), 5 for an unknown
// code page.
void savePage(const std::u16string& saveFile, const std::u16string& text, int codePage);

}  // namespace dorvane::page
