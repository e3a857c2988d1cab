#include <windows.h>

#include <cstring>

#include "platform/file/file_identity.h"
#include "platform/text/utf.h"

namespace dorvane::file {

namespace {

// FileIdInfo: the volume's 64-bit serial number and the file's 128-bit id,
// from Windows 8 on (the build targets Windows 7, whose headers leave it out).
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdInfo {
  ULONGLONG volumeSerialNumber;
  BYTE fileId[16];
};

std::int64_t ticksToNs(std::uint64_t ticks) { return static_cast<std::int64_t>(ticks) * 100; }

// The identity by the information classes, which need nothing from the
// volume's driver beyond the file itself (GetFileInformationByHandle asks
// the volume for its serial number, a round trip of its own on every call).
bool byInformationClasses(HANDLE h, FileIdentity& out, bool& folder) {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
  FileIdInfo id{};
  if (!::GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) ||
      !::GetFileInformationByHandleEx(h, FileStandardInfo, &standard, sizeof standard) ||
      !::GetFileInformationByHandleEx(h, kFileIdInfo, &id, sizeof id))
    return false;
  folder = standard.Directory || (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  std::uint64_t low = 0, high = 0;
  std::memcpy(&low, id.fileId, 8);
  std::memcpy(&high, id.fileId + 8, 8);
  out.device = id.volumeSerialNumber;
  out.index = low ^ high;  // NTFS ids fit the low half; a 128-bit one is folded
  out.size = standard.EndOfFile.QuadPart;
  out.modifiedNs = ticksToNs(static_cast<std::uint64_t>(basic.LastWriteTime.QuadPart));
  return true;
}

// Windows 7: the handle information of old.
bool byHandleInformation(HANDLE h, FileIdentity& out, bool& folder) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(h, &info)) return false;
  folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
  out.device = info.dwVolumeSerialNumber;
  out.index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  out.size =
      static_cast<std::int64_t>((std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  out.modifiedNs = ticksToNs((std::uint64_t(info.ftLastWriteTime.dwHighDateTime) << 32) |
                             info.ftLastWriteTime.dwLowDateTime);
  return true;
}

}  // namespace

FileKind identifyFile(const std::string& utf8Path, FileIdentity& out) {
  if (utf8Path.empty()) return FileKind::Missing;
  const std::u16string wide = text::fromUtf8(utf8Path);
  // Opened for its attributes only: any sharing, folders too.
  HANDLE h = ::CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FileKind::Missing;
  FileIdentity seen;
  bool folder = false;
  const bool ok = byInformationClasses(h, seen, folder) || byHandleInformation(h, seen, folder);
  const DWORD type = ::GetFileType(h);
  ::CloseHandle(h);
  if (!ok) return FileKind::Missing;
  if (type != FILE_TYPE_DISK || folder) return FileKind::Other;
  out = seen;
  return FileKind::Regular;
}

}  // namespace dorvane::file
