#include "serve/token_check.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

namespace dorvane::serve {

std::string sha256Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

bool tokenMatches(const std::string& token, const std::vector<std::string>& hashes) {
  const std::string hash = sha256Hex(token);
  bool match = false;
  for (const auto& h : hashes) {
    if (h.size() == hash.size() && CRYPTO_memcmp(h.data(), hash.data(), hash.size()) == 0) {
      match = true;
    }
  }
  return match;
}

}  // namespace dorvane::serve
