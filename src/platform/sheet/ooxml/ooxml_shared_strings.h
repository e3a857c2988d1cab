// The shared strings part of a workbook: the plain text of each item.
// Written cells never add to it (they hold inline strings), so it is only read.
#pragma once

#include <string>
#include <vector>

namespace dorvane::sheet::ooxml {

// The plain text of every <si> of the part's xml, in order (rich text runs
// joined, phonetic runs left out). Raises 75 naming the file on bad XML.
std::vector<std::u16string> readSharedStrings(const std::string& xml, const std::string& file);

}  // namespace dorvane::sheet::ooxml
