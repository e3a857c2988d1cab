#include "platform/sheet/ooxml/ooxml_package.h"

#include <dorvane/runtime_error.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <vector>

#include "platform/file/utf8_path.h"
#include "platform/sheet/ooxml/zip_api.h"

namespace dorvane::sheet::ooxml {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& file, const std::string& cause) {
  throw RuntimeError(err::kFileAccess, "The workbook " + file + " cannot be read: " + cause);
}

// The first bytes of the file, to tell what it is when libzip refuses it.
std::string head(const std::string& path, std::size_t n) {
  std::ifstream in(file::pathOf(path), std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace

Package::Package(std::string path) : path_(std::move(path)) {
  std::error_code ec;
  if (!fs::is_regular_file(file::pathOf(path_), ec)) {
    throw RuntimeError(err::kNoSuchFile, "The workbook " + path_ + " does not exist");
  }
  const std::uint64_t size = fs::file_size(file::pathOf(path_), ec);
  if (head(path_, 8) == std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
    fail(path_,
         "it is an OLE compound file, not a zip package: a workbook protected by a password "
         "(encrypted) or one in the old binary format; save it unprotected as .xlsx or .xlsm");
  }
  int error = 0;
  zip_ = libzip().zip_open(path_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!zip_ && error == ZIP_ER_INCONS) {
    // Spreadsheet applications and unzip read such a package by its central
    // directory; so does libzip without the check. libzip checks each entry's
    // CRC when the entry is read whole, so damaged data is still refused.
    consistent_ = false;
    zip_ = libzip().zip_open(path_.c_str(), ZIP_RDONLY, &error);
  }
  if (!zip_) {
    zip_error_t ze;
    libzip().zip_error_init_with_code(&ze, error);
    const std::string why = libzip().zip_error_strerror(&ze);
    libzip().zip_error_fini(&ze);
    fail(path_, "it is no intact zip package (" + why + ")");
  }
  budget_ = kInflateFloor + kInflateRatio * size;
  const zip_int64_t n = libzip().zip_get_num_entries(zip_, 0);
  std::set<std::string> seen;
  for (zip_int64_t i = 0; i < n; ++i) {
    zip_stat_t st;
    if (libzip().zip_stat_index(zip_, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    // Without the consistency check libzip lets two entries share a name;
    // which one is the part is then anybody's guess.
    if (st.name && !seen.insert(st.name).second) {
      const std::string entry = st.name;
      libzip().zip_discard(zip_);
      zip_ = nullptr;
      fail(path_, "it is no intact zip package (two entries are named " + entry + ")");
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
      // st.name belongs to the archive: copy it before the archive goes.
      const std::string entry = st.name ? st.name : "?";
      libzip().zip_discard(zip_);
      zip_ = nullptr;
      fail(path_, "its entry " + entry + " is encrypted");
    }
  }
}

Package::~Package() {
  if (zip_) libzip().zip_discard(zip_);
}

bool Package::has(const std::string& name) const {
  return libzip().zip_name_locate(zip_, name.c_str(), 0) >= 0;
}

std::vector<std::string> Package::names() const {
  std::vector<std::string> out;
  const zip_int64_t n = libzip().zip_get_num_entries(zip_, 0);
  for (zip_int64_t i = 0; i < n; ++i) {
    const char* name = libzip().zip_get_name(zip_, static_cast<zip_uint64_t>(i), 0);
    if (name) out.emplace_back(name);
  }
  return out;
}

std::optional<std::string> Package::read(const std::string& name, bool optional) {
  const zip_int64_t index = libzip().zip_name_locate(zip_, name.c_str(), 0);
  if (index < 0) {
    if (optional) return std::nullopt;
    fail(path_, "the part " + name + " is missing");
  }
  zip_stat_t st;
  libzip().zip_stat_init(&st);
  libzip().zip_stat_index(zip_, static_cast<zip_uint64_t>(index), 0, &st);
  if ((st.valid & ZIP_STAT_SIZE) && st.size > budget_) {
    fail(path_, "the part " + name +
                    " would inflate past a sane size for a file of this size "
                    "(a zip bomb or a damaged package)");
  }
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> file(
      libzip().zip_fopen_index(zip_, static_cast<zip_uint64_t>(index), 0), libzip().zip_fclose);
  if (!file)
    fail(path_, "the part " + name + " cannot be opened (" + libzip().zip_strerror(zip_) + ")");
  std::string data;
  if (st.valid & ZIP_STAT_SIZE) data.reserve(static_cast<std::size_t>(st.size));
  std::array<char, 65536> buf;
  for (;;) {
    const zip_int64_t got = libzip().zip_fread(file.get(), buf.data(), buf.size());
    if (got < 0) {
      fail(path_,
           "the part " + name + " is damaged (" + libzip().zip_file_strerror(file.get()) + ")");
    }
    if (got == 0) break;
    if (static_cast<std::uint64_t>(got) > budget_) {
      fail(path_, "the part " + name +
                      " inflates past a sane size for a file of this size "
                      "(a zip bomb or a damaged package)");
    }
    budget_ -= static_cast<std::uint64_t>(got);
    data.append(buf.data(), static_cast<std::size_t>(got));
  }
  return data;
}

void Package::writeCopy(const std::string& target,
                        const std::map<std::string, std::optional<std::string>>& changes) const {
  std::error_code ec;
  fs::copy_file(file::pathOf(path_), file::pathOf(target), fs::copy_options::overwrite_existing,
                ec);
  if (ec) {
    throw RuntimeError(err::kFileAccess, "Cannot write " + target + ": " + ec.message());
  }
  int error = 0;
  zip_t* out = libzip().zip_open(target.c_str(), 0, &error);
  auto refuse = [&](const std::string& what) {
    const std::string why = out ? libzip().zip_strerror(out) : "cannot open the copy";
    if (out) libzip().zip_discard(out);
    throw RuntimeError(err::kFileAccess, "Cannot write " + target + ": " + what + " (" + why + ")");
  };
  if (!out) refuse("the copy of the package");
  if (!consistent_ && changes.empty() && libzip().zip_get_num_entries(out, 0) > 0) {
    // libzip leaves an unchanged archive as it is; touching an entry's
    // modification time (to what it was) makes it write every header anew
    // from the central directory, the entries' data copied as they are.
    zip_stat_t st;
    if (libzip().zip_stat_index(out, 0, 0, &st) != 0 || !(st.valid & ZIP_STAT_MTIME) ||
        libzip().zip_file_set_mtime(out, 0, st.mtime, 0) != 0)
      refuse("the headers of the package");
  }
  for (const auto& [name, data] : changes) {
    const zip_int64_t index = libzip().zip_name_locate(out, name.c_str(), 0);
    if (!data) {
      if (index >= 0 && libzip().zip_delete(out, static_cast<zip_uint64_t>(index)) != 0)
        refuse(name);
      continue;
    }
    zip_source_t* src = libzip().zip_source_buffer(out, data->data(), data->size(), 0);
    if (!src) refuse(name);
    zip_int64_t at = index;
    if (index >= 0) {
      if (libzip().zip_file_replace(out, static_cast<zip_uint64_t>(index), src, 0) != 0) {
        libzip().zip_source_free(src);
        refuse(name);
      }
    } else {
      at = libzip().zip_file_add(out, name.c_str(), src, ZIP_FL_ENC_UTF_8);
      if (at < 0) {
        libzip().zip_source_free(src);
        refuse(name);
      }
    }
    // Deflate at level 6. Asked as "the default method" (which is deflate):
    // libzip forgets the level asked with ZIP_CM_DEFLATE for an entry that
    // was deflated already, and deflates it at level 9, ten times slower on
    // a worksheet's repetitive XML for a part as large within 0.2 %.
    libzip().zip_set_file_compression(out, static_cast<zip_uint64_t>(at), ZIP_CM_DEFAULT, 6);
  }
  if (libzip().zip_close(out) != 0) refuse("the package");
}

}  // namespace dorvane::sheet::ooxml
