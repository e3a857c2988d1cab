#include <windows.h>

#include "platform/file/input_file.h"
#include "platform/file/system_message.h"
#include "platform/text/utf.h"

namespace dorvane::file {

namespace {
HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

InputFile::~InputFile() {
  if (owned_ && handleOf(handle_) != INVALID_HANDLE_VALUE) ::CloseHandle(handleOf(handle_));
}

InputFile::Status InputFile::open(const std::string& utf8Path) {
  if (utf8Path == "-") {
    handle_ = reinterpret_cast<std::intptr_t>(::GetStdHandle(STD_INPUT_HANDLE));
    return Status::Ok;
  }
  const std::u16string wide = text::fromUtf8(utf8Path);
  const auto* name = reinterpret_cast<const wchar_t*>(wide.c_str());
  // Others may read, write or delete the file meanwhile, as with a POSIX open.
  HANDLE h =
      ::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD e = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Status::Folder;
    error_ = systemMessage(e);
    return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? Status::Missing
                                                                  : Status::Failed;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  owned_ = true;
  return Status::Ok;
}

std::int64_t InputFile::regularSize() const {
  LARGE_INTEGER size{};
  if (::GetFileType(handleOf(handle_)) != FILE_TYPE_DISK ||
      !::GetFileSizeEx(handleOf(handle_), &size))
    return -1;
  return size.QuadPart;
}

long long InputFile::read(char* buf, std::size_t n) {
  DWORD got = 0;
  const DWORD want = n > 0x40000000 ? 0x40000000 : static_cast<DWORD>(n);
  if (!::ReadFile(handleOf(handle_), buf, want, &got, nullptr)) {
    const DWORD e = ::GetLastError();
    if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return 0;  // the writer is gone
    error_ = systemMessage(e);
    return -1;
  }
  return got;
}

long long InputFile::readAt(std::int64_t offset, char* buf, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    OVERLAPPED at{};
    const std::uint64_t where = static_cast<std::uint64_t>(offset) + done;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    const std::size_t left = n - done;
    const DWORD want = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!::ReadFile(handleOf(handle_), buf + done, want, &got, &at)) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_HANDLE_EOF) break;
      error_ = systemMessage(e);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<long long>(done);
}

}  // namespace dorvane::file
