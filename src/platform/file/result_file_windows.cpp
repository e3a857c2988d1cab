// Result files on Windows, by the rules of result_file.h in Windows terms:
// the bytes go to a new temporary file beside the result, which commit()
// flushes to disk, gives the old result's attributes and puts in place with
// MoveFileExW (MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH): one step
// that leaves nothing else behind. (ReplaceFileW would keep the old file's
// security too, but makes a temporary file of its own, which Wine leaves
// behind when the replacement fails.) A read-only result is refused before
// anything is written; a result another program holds open (a sharing
// violation) is refused at the replacement, and the old file stays whole.
// Paths are UTF-16.
#include <dorvane/runtime_error.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <filesystem>

#include "platform/file/input_file.h"
#include "platform/file/interrupt.h"
#include "platform/file/result_file.h"
#include "platform/file/system_message.h"
#include "platform/text/utf.h"

namespace dorvane::file {

namespace {

namespace fs = std::filesystem;

std::wstring widePath(const std::string& utf8) {
  const std::u16string w = text::fromUtf8(utf8);
  return std::wstring(w.begin(), w.end());
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

bool diskFull(DWORD e) { return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL; }
bool inUse(DWORD e) {
  return e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED;
}

// A new name beside the result for its temporary copy.
std::string temporaryName(const fs::path& dir, const std::string& leaf) {
  static std::atomic<unsigned> counter{0};
  const std::string name = "." + leaf + ".dorvane-" + std::to_string(::GetCurrentProcessId()) +
                           "-" + std::to_string(counter++) + "-" +
                           std::to_string(::GetTickCount64()) + ".tmp";
  return text::toUtf8((dir / fs::path(text::fromUtf8(name))).u16string());
}

}  // namespace

ResultFile::ResultFile(const std::string& path, std::string kind)
    : path_(path), kind_(std::move(kind)) {
  if (path == "-") {
    target_ = "standard output";
    fd_ = 1;
    return;
  }
  target_ = path;
  const fs::path target(text::fromUtf8(path));
  const std::string leaf = text::toUtf8(target.filename().u16string());
  if (leaf.empty() || leaf == "." || leaf == "..") {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ + "' names a folder");
  }
  const DWORD attributes = ::GetFileAttributesW(widePath(path).c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ + "' is a folder");
  }
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ +
                                             "' is read-only: Permission denied; it was not "
                                             "replaced");
  }
  replaceMode_ = true;
  mode_ = exists ? attributes : 0;  // the attributes the new result takes over
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  const DWORD dirAttributes = ::GetFileAttributesW(dir.wstring().c_str());
  if (dirAttributes == INVALID_FILE_ATTRIBUTES)
    fail("Cannot write into the folder of", ::GetLastError());
  if (!(dirAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw RuntimeError(err::kFileAccess,
                       "The folder of the " + kind_ + " '" + path_ + "' is not a folder");
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = temporaryName(dir, leaf);
    HANDLE h = ::CreateFileW(widePath(temp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS)
        fail("Cannot create a temporary file beside", e);
      continue;
    }
    fd_ = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), 0);
    if (fd_ < 0) {
      ::CloseHandle(h);
      fail("Cannot create a temporary file beside", ERROR_TOO_MANY_OPEN_FILES);
    }
    pendingSlot_ = rememberPendingFile(temp_);
  }
  if (fd_ < 0) fail("Cannot create a temporary file beside", ERROR_FILE_EXISTS);
  ownsFd_ = true;
}

ResultFile::~ResultFile() {
  close();
  if (replaceMode_ && !committed_ && !temp_.empty()) {
    ::DeleteFileW(widePath(temp_).c_str());
    forgetPendingFile(pendingSlot_);
  }
}

void ResultFile::close() {
  if (ownsFd_ && fd_ >= 0) ::_close(fd_);
  fd_ = -1;
  ownsFd_ = false;
}

void ResultFile::fail(const std::string& what, int error) const {
  const auto e = static_cast<DWORD>(error);
  if (diskFull(e)) {
    throw RuntimeError(err::kDiskFull,
                       "Disk full writing the " + kind_ + " '" + path_ + "': " + systemMessage(e));
  }
  throw RuntimeError(err::kFileAccess,
                     what + " the " + kind_ + " '" + path_ + "': " + systemMessage(e));
}

void ResultFile::write(std::string_view bytes) {
  if (fd_ < 0) fail("Cannot write", ERROR_INVALID_HANDLE);
  HANDLE h = fd_ == 1 && !ownsFd_ ? ::GetStdHandle(STD_OUTPUT_HANDLE) : handleOf(fd_);
  while (!bytes.empty()) {
    const DWORD want = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    DWORD done = 0;
    if (!::WriteFile(h, bytes.data(), want, &done, nullptr)) fail("Cannot write", ::GetLastError());
    bytes.remove_prefix(done);
  }
}

void ResultFile::commit() {
  if (committed_) return;
  if (fd_ < 0) fail("Cannot write", ERROR_INVALID_HANDLE);
  if (!replaceMode_) {
    committed_ = true;
    return;
  }
  if (!::FlushFileBuffers(handleOf(fd_))) fail("Cannot write", ::GetLastError());
  close();
  const std::wstring from = widePath(temp_), to = widePath(target_);
  if (mode_ != 0) ::SetFileAttributesW(from.c_str(), mode_);
  const bool placed = ::MoveFileExW(from.c_str(), to.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  const DWORD error = placed ? 0 : ::GetLastError();
  if (!placed) {
    if (inUse(error)) {
      throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ +
                                               "' is in use by another program (" +
                                               systemMessage(error) + "); it was not replaced");
    }
    fail("Cannot replace", static_cast<int>(error));
  }
  committed_ = true;
  forgetPendingFile(pendingSlot_, true);
}

void writeResultFile(const std::string& path, std::string_view bytes, std::string kind) {
  ResultFile out(path, std::move(kind));
  out.write(bytes);
  out.commit();
}

void copyToResultFile(const std::string& from, const std::string& path, std::string kind) {
  InputFile in;
  if (in.open(from) != InputFile::Status::Ok) {
    throw RuntimeError(err::kFileAccess, "Cannot read '" + from + "': " + in.error());
  }
  ResultFile out(path, std::move(kind));
  char buf[1 << 16];
  for (;;) {
    const long long n = in.read(buf, sizeof buf);
    if (n < 0) throw RuntimeError(err::kFileAccess, "Cannot read '" + from + "': " + in.error());
    if (n == 0) break;
    out.write(std::string_view(buf, static_cast<size_t>(n)));
  }
  out.commit();
}

}  // namespace dorvane::file
