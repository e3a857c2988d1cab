// Writing a result file: the one place where the system puts a result on disk.
//
// Every result — a merged page, a workbook, a report — is written through
// ResultFile, which applies the same rules to the path it is given:
//   - "-" is standard output: the bytes go straight there;
//   - a symbolic link (or a chain of them) is followed: its final target is
//     replaced and the link stays a link pointing where it pointed;
//   - an existing result that is no regular file (a character or block
//     device, a FIFO) is written straight into: no temporary file, no rename;
//     a socket or a folder is refused;
//   - an existing regular result that this process may not write (no write
//     permission bit, or no access for this user) is refused: nothing is
//     written, the file stays as it was;
//   - otherwise the bytes go to a new temporary file in the target's folder,
//     which on commit() is synced, given the old result's permissions,
//     renamed over the target, and the folder synced: an existing result is
//     replaced whole or, on any failure, left exactly as it was. (On a file
//     system held in memory, tmpfs or ramfs, nothing is synced: it would
//     make nothing more durable.)
// The temporary file is removed when the object goes without commit(), and
// when SIGINT, SIGTERM or SIGHUP end the process under an InterruptGuard
// (platform/file/interrupt.h). A write past the file-size limit (ulimit -f)
// fails with 61 instead of killing the process.
//
// Errors (RuntimeError, the description names the file and the system's
// reason): 75 the result cannot be created, opened, written or renamed (a
// missing folder, a read-only result, a folder or socket in its place, no
// permission); 61 the disk or the file-size limit is full (ENOSPC, EDQUOT,
// EFBIG).
//
// Not thread-safe; one object per result. Different results may be written
// from different threads at the same time.
#pragma once

#include <string>
#include <string_view>

namespace dorvane::file {

class ResultFile {
 public:
  // Checks the path and opens where the bytes go (see above). kind names the
  // result in error descriptions ("result file", "workbook").
  explicit ResultFile(const std::string& path, std::string kind = "result file");
  // Without commit(): removes the temporary file, the old result stays.
  ~ResultFile();
  ResultFile(const ResultFile&) = delete;
  ResultFile& operator=(const ResultFile&) = delete;

  // Appends bytes. Raises 61 or 75.
  void write(std::string_view bytes);
  // Makes the result durable and, for a replaced file, renames it into place.
  // Raises 61 or 75; after a failure the old result is as it was.
  void commit();

  // The file that is being replaced or written into (after links).
  const std::string& target() const { return target_; }

 private:
  [[noreturn]] void fail(const std::string& what, int error) const;
  void close();

  std::string path_;  // as given
  std::string kind_;
  std::string target_;  // after links
  std::string temp_;    // the temporary file; empty when written straight into
  int fd_ = -1;
  bool ownsFd_ = false;
  unsigned mode_ = 0;  // permissions of the replaced result
  bool replaceMode_ = false;
  int pendingSlot_ = -1;
  bool committed_ = false;
};

// Writes bytes as the result file path (the rules above) in one go.
void writeResultFile(const std::string& path, std::string_view bytes,
                     std::string kind = "result file");

// Copies the file at from as the result file path (the rules above). Raises
// 75 when from cannot be read.
void copyToResultFile(const std::string& from, const std::string& path,
                      std::string kind = "result file");

}  // namespace dorvane::file
