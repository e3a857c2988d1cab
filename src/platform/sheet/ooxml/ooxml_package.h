// The zip package of a workbook file: bounded reading of its entries, and a
// copy of it in which only chosen entries change.
//
// Every entry not named in a change is copied with its compressed bytes as
// they were. Reading is bounded: all entries read from one package together
// may inflate to at most kInflateFloor plus kInflateRatio times the file's
// size, so a zip bomb ends in an error instead of filling memory.
//
// The central directory is what counts: a package whose local headers
// disagree with it (sizes left out, a data descriptor flagged but absent) is
// read as the directory says, each entry's CRC checked as it is read, and
// written back with headers that agree with the directory.
#pragma once

#include <zip.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::sheet::ooxml {

inline constexpr std::uint64_t kInflateFloor = 64ull << 20;
inline constexpr std::uint64_t kInflateRatio = 100;

class Package {
 public:
  // Opens the package at path read-only. Raises 53 when it does not exist
  // and 75 naming the file and the cause when it is no zip package (an
  // encrypted workbook is an OLE compound file), is damaged or encrypted.
  explicit Package(std::string path);
  ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  const std::string& path() const { return path_; }
  // Whether the entry name (without a leading "/") exists.
  bool has(const std::string& name) const;
  // The inflated bytes of the entry; raises 75 when it is missing (unless
  // optional, then nothing), damaged, or past the inflation bound.
  std::optional<std::string> read(const std::string& name, bool optional = false);
  // Every entry's name, in the package's order.
  std::vector<std::string> names() const;

  // Writes a copy of the package to target in which each change replaces (or
  // adds) an entry, or with nothing removes it. Raises 75 when the copy cannot
  // be written; target may then be left behind and the caller removes it.
  void writeCopy(const std::string& target,
                 const std::map<std::string, std::optional<std::string>>& changes) const;

 private:
  std::string path_;
  zip_t* zip_ = nullptr;
  std::uint64_t budget_ = 0;  // bytes reads may still inflate to
  bool consistent_ = true;    // local headers agree with the central directory
};

}  // namespace dorvane::sheet::ooxml
