#include "platform/db/access/access_page_file.h"

#include <filesystem>

#include "platform/db/access/access_header.h"

namespace dorvane::db {

void damage(const std::string& message) { throw AccessDamage(message); }

namespace {
std::filesystem::path pathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
}  // namespace

PageFile::PageFile(const std::string& utf8Path) {
  std::error_code ec;
  const std::filesystem::path path = pathOf(utf8Path);
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) damage("it cannot be opened (" + ec.message() + ")");
  in_.open(path, std::ios::binary);
  if (!in_) damage("it cannot be opened");
  std::uint8_t first[256] = {};
  in_.read(reinterpret_cast<char*>(first), sizeof first);
  if (in_.gcount() != static_cast<std::streamsize>(sizeof first))
    damage("it is shorter than its header (truncated)");
  header_ = readJetHeader(first, sizeof first);
  if (header_.version < 0) damage("it is no Jet 3, Jet 4 or ACE file");
  layout_ = header_.version == 0 ? &kJet3Layout : &kJet4Layout;
  const std::size_t page = layout_->pageSize;
  if (size < 3 * page) damage("it is shorter than three pages (truncated)");
  if (size % page != 0)
    damage("its size is not a whole number of " + std::to_string(page) + "-byte pages (truncated)");
  if (size / page > 0xFFFFFFu) damage("it has more pages than a page number can name");
  pageCount_ = static_cast<std::uint32_t>(size / page);
}

void PageFile::read(std::uint32_t page, std::vector<std::uint8_t>& buf, const char* what) {
  if (page == 0 || page >= pageCount_)
    damage(std::string("the ") + what + " points to page " + std::to_string(page) +
           ", outside the file's " + std::to_string(pageCount_) + " pages");
  const std::size_t size = layout_->pageSize;
  buf.resize(size);
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(page) * static_cast<std::streamoff>(size));
  in_.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(size));
  if (in_.gcount() != static_cast<std::streamsize>(size))
    damage("page " + std::to_string(page) + " (the " + what + ") cannot be read");
}

}  // namespace dorvane::db
