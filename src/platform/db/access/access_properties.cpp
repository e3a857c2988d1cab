#include "platform/db/access/access_properties.h"

#include <cstring>

#include "platform/db/access/access_format.h"
#include "platform/db/access/access_values.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
constexpr std::uint16_t kNames = 0x80;

std::string nameAt(const std::uint8_t* p, std::size_t n, bool jet3, int codePage) {
  return text::toUtf8(jet3 ? decodeJet3Text(p, n, codePage) : decodeJet4Text(p, n));
}
}  // namespace

std::map<std::string, int> integerProperty(const std::vector<std::uint8_t>& blob,
                                           const std::string& property, bool jet3, int codePage) {
  std::map<std::string, int> out;
  const std::size_t size = blob.size();
  if (size < 4 || (std::memcmp(blob.data(), "KKD", 4) != 0 && std::memcmp(blob.data(), "MR2", 4)))
    return out;
  const std::uint8_t* b = blob.data();
  std::vector<std::string> names;
  for (std::size_t pos = 4; pos + 6 <= size;) {
    const std::size_t length = load32(b + pos);
    const std::uint16_t type = load16(b + pos + 4);
    if (length < 6 || length > size - pos) break;
    const std::size_t end = pos + length;
    std::size_t at = pos + 6;
    if (type == kNames) {
      names.clear();
      while (at + 2 <= end) {
        const std::size_t n = load16(b + at);
        if (n > end - at - 2) break;
        names.push_back(nameAt(b + at + 2, n, jet3, codePage));
        at += 2 + n;
      }
    } else if (type <= 2 && at + 6 <= end) {
      // A block: its length, its name, then entries of a 16-bit length, a
      // flag byte, a type byte, a name index, a value length and the value.
      const std::size_t nameLength = load16(b + at + 4);
      at += 6;
      if (nameLength > end - at) break;
      const std::string block = nameAt(b + at, nameLength, jet3, codePage);
      at += nameLength;
      while (at + 8 <= end) {
        const std::size_t entry = load16(b + at);
        const std::size_t name = load16(b + at + 4), valueSize = load16(b + at + 6);
        if (entry < 8 || entry > end - at || valueSize > entry - 8) break;
        if (name < names.size() && names[name] == property && valueSize >= 1 && valueSize <= 4) {
          std::uint32_t v = 0;
          for (std::size_t i = 0; i < valueSize; ++i)
            v |= static_cast<std::uint32_t>(b[at + 8 + i]) << (8 * i);
          out[block] = static_cast<std::int32_t>(v);
        }
        at += entry;
      }
    }
    pos = end;
  }
  return out;
}

}  // namespace dorvane::db
