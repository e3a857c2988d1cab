// The property blob of a catalog object (MSysObjects.LvProp): "KKD\0"
// (Jet 3) or "MR2\0" (Jet 4, ACE), then chunks of a 32-bit length and a
// 16-bit type: a list of property names (type 0x80), then one block per
// object or column, named, whose entries give a name index, a type and a
// value.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace dorvane::db {

// For each block of the blob that holds the integer property `property`, the
// block's name (UTF-8; a column's name) and the value. What it cannot read
// it leaves out; it never reads outside the blob. jet3: names in codePage.
std::map<std::string, int> integerProperty(const std::vector<std::uint8_t>& blob,
                                           const std::string& property, bool jet3, int codePage);

}  // namespace dorvane::db
