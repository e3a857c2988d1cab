#include "platform/db/access/access_page_file.h"

#include "platform/db/access/access_header.h"

namespace dorvane::db {

void damage(const std::string& message) { throw AccessDamage(message); }

PageFile::PageFile(const std::string& utf8Path) {
  if (in_.open(utf8Path) != file::InputFile::Status::Ok)
    damage(in_.error().empty() ? "it cannot be opened"
                               : "it cannot be opened (" + in_.error() + ")");
  const std::int64_t size = in_.regularSize();
  if (size < 0) damage("it is no regular file");
  std::uint8_t first[256] = {};
  if (in_.readAt(0, reinterpret_cast<char*>(first), sizeof first) !=
      static_cast<long long>(sizeof first))
    damage("it is shorter than its header (truncated)");
  header_ = readJetHeader(first, sizeof first);
  if (header_.version < 0) damage("it is no Jet 3, Jet 4 or ACE file");
  layout_ = header_.version == 0 ? &kJet3Layout : &kJet4Layout;
  const auto page = static_cast<std::int64_t>(layout_->pageSize);
  if (size < 3 * page) damage("it is shorter than three pages (truncated)");
  if (size % page != 0)
    damage("its size is not a whole number of " + std::to_string(page) + "-byte pages (truncated)");
  if (size / page > 0xFFFFFF) damage("it has more pages than a page number can name");
  pageCount_ = static_cast<std::uint32_t>(size / page);
}

void PageFile::read(std::uint32_t page, std::vector<std::uint8_t>& buf, const char* what) {
  if (page == 0 || page >= pageCount_)
    damage(std::string("the ") + what + " points to page " + std::to_string(page) +
           ", outside the file's " + std::to_string(pageCount_) + " pages");
  const std::size_t size = layout_->pageSize;
  buf.resize(size);
  if (in_.readAt(static_cast<std::int64_t>(page) * static_cast<std::int64_t>(size),
                 reinterpret_cast<char*>(buf.data()), size) != static_cast<long long>(size))
    damage("page " + std::to_string(page) + " (the " + what + ") cannot be read");
}

}  // namespace dorvane::db
