#include "platform/file/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dorvane::file {

InputFile::~InputFile() {
  if (owned_ && handle_ >= 0) ::close(static_cast<int>(handle_));
}

InputFile::Status InputFile::open(const std::string& utf8Path) {
  if (utf8Path == "-") {
    handle_ = STDIN_FILENO;
  } else {
    int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error_ = std::strerror(errno);
      return errno == ENOENT ? Status::Missing : Status::Failed;
    }
    handle_ = fd;
    owned_ = true;
  }
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0) {
    error_ = std::strerror(errno);
    return Status::Failed;
  }
  return S_ISDIR(st.st_mode) ? Status::Folder : Status::Ok;
}

std::int64_t InputFile::regularSize() const {
  struct stat st {};
  if (::fstat(static_cast<int>(handle_), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<std::int64_t>(st.st_size);
}

long long InputFile::read(char* buf, std::size_t n) {
  for (;;) {
    ssize_t got = ::read(static_cast<int>(handle_), buf, n);
    if (got >= 0) return got;
    if (errno == EINTR) continue;
    error_ = std::strerror(errno);
    return -1;
  }
}

long long InputFile::readAt(std::int64_t offset, char* buf, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(static_cast<int>(handle_), buf + done, n - done,
                          static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error_ = std::strerror(errno);
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<long long>(done);
}

}  // namespace dorvane::file
