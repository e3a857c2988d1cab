// What the engine's per-thread caches know a database file by: its identity
// on disk (the volume and the file's number there, which stand for its
// canonical path without resolving it) and its size and modification time,
// which tell whether it changed since it was opened. One implementation per
// system: file_identity.cpp (POSIX stat) and file_identity_windows.cpp
// (the file's handle information; paths as UTF-16).
#pragma once

#include <cstdint>
#include <string>

namespace dorvane::file {

struct FileIdentity {
  std::uint64_t device = 0;     // st_dev; the volume serial number on Windows
  std::uint64_t index = 0;      // st_ino; the file index on Windows
  std::int64_t size = 0;        // bytes
  std::int64_t modifiedNs = 0;  // last write, nanoseconds since the system's epoch
};

enum class FileKind { Missing, Regular, Other };

// Looks at the file utf8Path names (links followed). Missing when nothing
// can be found there (out is then untouched); Other for a folder, device or
// pipe; Regular with out filled for a plain file.
FileKind identifyFile(const std::string& utf8Path, FileIdentity& out);

}  // namespace dorvane::file
