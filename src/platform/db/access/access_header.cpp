#include "platform/db/access/access_header.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace dorvane::db {

namespace {

constexpr std::size_t kEncodedStart = 0x18;
constexpr std::uint32_t kHeaderKey = 0x6b39dac7;
constexpr std::size_t kPasswordOffset = 0x42;
constexpr std::size_t kCreatedOffset = 0x72;

// RC4 over data in place with a 4-byte key.
void rc4(std::uint8_t* data, std::size_t n, std::uint32_t keyValue) {
  std::uint8_t key[4];
  std::memcpy(key, &keyValue, 4);  // little-endian, as the file stores it
  std::array<std::uint8_t, 256> s;
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (std::size_t k = 0, i = 0, j = 0; k < n; ++k) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[k] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

}  // namespace

bool hasDatabasePassword(const std::uint8_t* header, std::size_t size, FileFormat format) {
  const bool jet3 = format == FileFormat::Jet3;
  const std::size_t encoded = jet3 ? 126 : 128;
  const std::size_t passwordSize = jet3 ? 20 : 40;
  if (size < kEncodedStart + encoded) return false;
  // Access never writes the encoded block as zeros: such a header is damage
  // (reading the file says so), not a password.
  if (std::all_of(header + kEncodedStart, header + kEncodedStart + encoded,
                  [](std::uint8_t b) { return b == 0; }))
    return false;
  std::uint8_t plain[kEncodedStart + 128];
  std::memcpy(plain, header, kEncodedStart + encoded);
  rc4(plain + kEncodedStart, encoded, kHeaderKey);
  std::uint8_t mask[4] = {0, 0, 0, 0};
  if (!jet3) {
    double created;
    std::memcpy(&created, plain + kCreatedOffset, 8);
    if (std::isfinite(created) && std::fabs(created) < 2147483647.0) {
      std::int32_t days = static_cast<std::int32_t>(created);
      std::memcpy(mask, &days, 4);
    }
  }
  for (std::size_t i = 0; i < passwordSize; ++i)
    if ((plain[kPasswordOffset + i] ^ mask[i % 4]) != 0) return true;
  return false;
}

JetHeader readJetHeader(const std::uint8_t* header, std::size_t size) {
  JetHeader h;
  h.version = -1;
  constexpr std::size_t kVersionAt = 0x14, kCodePageAt = 0x3C;
  constexpr int kLastKnownVersion = 0x06;  // Access 2019
  const FileFormat format = detectFormat(header, size);
  if (size < kEncodedStart + 128 || header[0] != 0 ||
      (format != FileFormat::Jet3 && format != FileFormat::Jet4 && format != FileFormat::Ace))
    return h;
  const int version = header[kVersionAt];
  if (version > kLastKnownVersion || (version == 0) != (format == FileFormat::Jet3)) return h;
  std::uint8_t plain[kEncodedStart + 128];
  std::memcpy(plain, header, sizeof plain);
  rc4(plain + kEncodedStart, version == 0 ? 126 : 128, kHeaderKey);
  h.version = version;
  h.codePage = plain[kCodePageAt] | (plain[kCodePageAt + 1] << 8);
  const std::size_t sortAt = version == 0 ? 0x3A : 0x6E;
  h.sortOrder = plain[sortAt] | (plain[sortAt + 1] << 8);
  return h;
}

}  // namespace dorvane::db
