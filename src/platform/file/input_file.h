// Reading a file from its first byte (a page file, a database's header) or
// at an offset (the pages of an Access file).
// One implementation per system: input_file.cpp (POSIX descriptors) and
// input_file_windows.cpp (handles; paths as UTF-16, so any file name works).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dorvane::file {

class InputFile {
 public:
  enum class Status { Ok, Missing, Folder, Failed };

  InputFile() = default;
  // Closes what open() opened (standard input stays open).
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens the file at utf8Path ("-": standard input) for reading. Missing
  // when nothing of that name exists, Folder for a folder, Failed with
  // error() set for anything else.
  Status open(const std::string& utf8Path);
  // The size in bytes of an open regular file; -1 for a device or pipe.
  std::int64_t regularSize() const;
  // Reads up to n bytes into buf: the count, 0 at the end, -1 on a failure
  // (error() then says why).
  long long read(char* buf, std::size_t n);
  // Reads up to n bytes at byte offset of a regular file into buf: the count
  // (short only at the end of the file), -1 on a failure. Not to be mixed
  // with read(): where read() goes on from afterwards differs by system.
  long long readAt(std::int64_t offset, char* buf, std::size_t n);
  // The system's reason for the last failure.
  const std::string& error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;
  bool owned_ = false;
  std::string error_;
};

}  // namespace dorvane::file
