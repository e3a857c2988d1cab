// An Access file as a sequence of pages, read on demand and checked against
// the file: a page number outside the file, a short read or a file that is
// not a whole number of pages is an AccessDamage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/db/access/access_format.h"
#include "platform/file/input_file.h"

namespace dorvane::db {

// What the reader raises for a file it cannot read: the message says what is
// wrong; the engine names the file and the table around it (error 3049).
class AccessDamage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the header page says of the file.
struct JetHeader {
  int version = 0;    // 0 Jet 3, 1 Jet 4, 2 and up ACE (3: Access 2010, ...)
  int codePage = 0;   // of Jet 3 text
  int sortOrder = 0;  // the database's collating order (language id)
};

class PageFile {
 public:
  // Opens the file at utf8Path and reads its header. Raises AccessDamage when
  // it cannot be opened, is no Jet 3, Jet 4 or ACE file, or is cut short.
  explicit PageFile(const std::string& utf8Path);

  const JetLayout& layout() const { return *layout_; }
  const JetHeader& header() const { return header_; }
  std::size_t pageSize() const { return layout_->pageSize; }
  std::uint32_t pageCount() const { return pageCount_; }
  bool jet3() const { return layout_->jet3; }

  // Reads page `page` into buf (resized to a page). Raises AccessDamage for a
  // page number outside the file or a failed read; `what` names what the page
  // was wanted for.
  void read(std::uint32_t page, std::vector<std::uint8_t>& buf, const char* what);

 private:
  file::InputFile in_;
  const JetLayout* layout_ = &kJet4Layout;
  JetHeader header_;
  std::uint32_t pageCount_ = 0;
};

// Throws AccessDamage with the message.
[[noreturn]] void damage(const std::string& message);

}  // namespace dorvane::db
