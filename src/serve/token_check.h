// Bearer tokens: the configuration keeps only their SHA-256 hashes.
#pragma once

#include <string>
#include <vector>

namespace dorvane::serve {

// Lower-case hex SHA-256 of text.
std::string sha256Hex(const std::string& text);

// Whether token's hash is one of hashes. Every hash is compared, each in
// constant time, so the time taken says nothing about which one matched or
// how much of it did.
bool tokenMatches(const std::string& token, const std::vector<std::string>& hashes);

}  // namespace dorvane::serve
