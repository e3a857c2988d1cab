// Text form of GUIDs.
#include <dorvane/component.h>

#include <cstdio>
#include <cstring>

namespace dorvane::com {

std::string Guid::toString() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1, data2,
                data3, data4[0], data4[1], data4[2], data4[3], data4[4], data4[5], data4[6],
                data4[7]);
  return buf;
}

std::optional<Guid> Guid::parse(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  std::string hex;
  for (size_t i = 0; i < text.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (text[i] == '-')) return std::nullopt;
    if (!dash) {
      if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
      hex.push_back(text[i]);
    }
  }
  auto field = [&](size_t pos, size_t len) {
    return static_cast<std::uint32_t>(std::stoul(hex.substr(pos, len), nullptr, 16));
  };
  Guid g{};
  g.data1 = field(0, 8);
  g.data2 = static_cast<std::uint16_t>(field(8, 4));
  g.data3 = static_cast<std::uint16_t>(field(12, 4));
  for (int i = 0; i < 8; ++i) g.data4[i] = static_cast<std::uint8_t>(field(16 + 2 * i, 2));
  return g;
}

bool operator==(const Guid& a, const Guid& b) {
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
         std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

}  // namespace dorvane::com
