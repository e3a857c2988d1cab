#include <windows.h>

#include "platform/file/file_identity.h"
#include "platform/text/utf.h"

namespace dorvane::file {

FileKind identifyFile(const std::string& utf8Path, FileIdentity& out) {
  if (utf8Path.empty()) return FileKind::Missing;
  const std::u16string wide = text::fromUtf8(utf8Path);
  // Opened for its attributes only: any sharing, folders too.
  HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FileKind::Missing;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
  const DWORD type = ::GetFileType(h);
  ::CloseHandle(h);
  if (!ok) return FileKind::Missing;
  if (type != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return FileKind::Other;
  out.device = info.dwVolumeSerialNumber;
  out.index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  out.size =
      static_cast<std::int64_t>((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  const std::uint64_t ticks = (std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                              info.ftLastWriteTime.dwLowDateTime;
  out.modifiedNs = static_cast<std::int64_t>(ticks) * 100;  // 100 ns ticks since 1601
  return FileKind::Regular;
}

}  // namespace dorvane::file
