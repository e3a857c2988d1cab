#include "page/page_file.h"

#include <dorvane/runtime_error.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <random>

#include "platform/text/code_page.h"
#include "platform/text/utf.h"

namespace dorvane::page {

namespace {

std::string reason() { return std::strerror(errno); }

// Closes a file descriptor when the object goes.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded.
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Removes the temporary file unless it was renamed into place.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!kept_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  void keep() { kept_ = true; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool kept_ = false;
};

[[noreturn]] void fail(const std::string& what, const std::string& path) {
  throw RuntimeError(err::kFileAccess, what + " '" + path + "': " + reason());
}

// A new name in dir for the temporary copy of the file called name.
std::string temporaryName(const std::filesystem::path& dir, const std::string& name) {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937 random{std::random_device{}()};
  std::string leaf = "." + name + ".dorvane-" + std::to_string(::getpid()) + "-" +
                     std::to_string(counter++) + "-" + std::to_string(random()) + ".tmp";
  return (dir / leaf).string();
}

}  // namespace

std::u16string loadPage(const std::u16string& readFile, int codePage) {
  const std::string path = text::toUtf8(readFile);
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) {
      throw RuntimeError(err::kNoSuchFile, "The page file '" + path + "' does not exist");
    }
    fail("Cannot open the page file", path);
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) fail("Cannot read the page file", path);
  if (S_ISDIR(st.st_mode)) {
    throw RuntimeError(err::kFileAccess, "The page file '" + path + "' is a folder");
  }
  std::string bytes;
  try {
    if (S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(fd.get(), buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        fail("Cannot read the page file", path);
      }
      if (n == 0) break;
      bytes.append(buf, static_cast<size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    throw RuntimeError(err::kOutOfMemory, "The page file '" + path + "' does not fit in memory");
  }
  fd.close();
  return text::decodeCodePage(bytes, codePage);
}

void savePage(const std::u16string& saveFile, const std::u16string& text, int codePage) {
  const std::string path = text::toUtf8(saveFile);
  std::string bytes = text::encodeCodePage(text, codePage);
  bytes += "\r\n";

  const std::filesystem::path target(path);
  std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") {
    throw RuntimeError(err::kFileAccess, "The result file '" + path + "' names a folder");
  }
  std::filesystem::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  struct stat dirSt {};
  if (::stat(dir.c_str(), &dirSt) != 0)
    fail("Cannot write the result file into the folder of", path);
  if (!S_ISDIR(dirSt.st_mode)) {
    throw RuntimeError(err::kFileAccess,
                       "The folder of the result file '" + path + "' is not a folder");
  }

  int raw = -1;
  std::string tempPath;
  for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
    tempPath = temporaryName(dir, name);
    raw = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (raw < 0 && errno != EEXIST) fail("Cannot create a temporary file beside", path);
  }
  if (raw < 0) fail("Cannot create a temporary file beside", path);
  Fd fd(raw);
  TempFile temp(tempPath);

  // A replaced result keeps its permissions.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) {
    if (S_ISDIR(old.st_mode)) {
      throw RuntimeError(err::kFileAccess, "The result file '" + path + "' is a folder");
    }
    if (S_ISREG(old.st_mode)) ::fchmod(fd.get(), old.st_mode & 07777);
  }

  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd.get(), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write the result file", path);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::fsync(fd.get()) != 0) fail("Cannot write the result file", path);
  if (!fd.close()) fail("Cannot write the result file", path);
  if (::rename(temp.path().c_str(), path.c_str()) != 0)
    fail("Cannot replace the result file", path);
  temp.keep();
}

}  // namespace dorvane::page
