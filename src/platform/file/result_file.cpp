#include "platform/file/result_file.h"

#include <dorvane/runtime_error.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/file/interrupt.h"

namespace dorvane::file {

namespace {

namespace fs = std::filesystem;

// Links followed at most, as the kernel does.
constexpr int kMaxLinks = 40;

// The file that path names after symbolic links; st receives its lstat, or
// exists is false when nothing is there (a new result, or a dangling link).
std::string followLinks(const std::string& path, struct stat& st, bool& exists, int& error) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinks; ++hop) {
    if (::lstat(current.c_str(), &st) != 0) {
      exists = false;
      error = errno;
      return current;
    }
    if (!S_ISLNK(st.st_mode)) {
      exists = true;
      return current;
    }
    std::string link(4096, '\0');
    ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<size_t>(n) >= link.size()) {
      exists = false;
      error = n < 0 ? errno : ENAMETOOLONG;
      return current;
    }
    link.resize(static_cast<size_t>(n));
    fs::path next(link);
    current =
        next.is_absolute() ? next.string() : (fs::path(current).parent_path() / next).string();
  }
  exists = false;
  error = ELOOP;
  return current;
}

// A new name beside target for its temporary copy. The random part comes
// straight from the kernel: std::random_device first asks the processor
// what it offers, which a virtual machine answers slowly.
std::string temporaryName(const fs::path& dir, const std::string& leaf) {
  static std::atomic<unsigned> counter{0};
  unsigned random = 0;  // stays 0 if the kernel has none yet: the counter still differs
  (void)::getrandom(&random, sizeof random, GRND_NONBLOCK);
  return (dir / ("." + leaf + ".dorvane-" + std::to_string(::getpid()) + "-" +
                 std::to_string(counter++) + "-" + std::to_string(random) + ".tmp"))
      .string();
}

bool diskFull(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG; }

// While alive, SIGXFSZ stays pending instead of killing the process; a write
// past the limit then fails with EFBIG, and the signal it raised is taken
// back before the mask is restored.
class FileSizeSignalHeld {
 public:
  FileSizeSignalHeld() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~FileSizeSignalHeld() {
    const timespec now{0, 0};
    while (sigtimedwait(&set_, nullptr, &now) == SIGXFSZ) {
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t set_, old_;
};

// While alive, the interrupting signals wait, so a rename and the forgetting
// of its temporary file happen together.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~InterruptsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

ResultFile::ResultFile(const std::string& path, std::string kind)
    : path_(path), kind_(std::move(kind)) {
  if (path == "-") {
    target_ = "standard output";
    fd_ = STDOUT_FILENO;
    return;
  }
  struct stat st {};
  // A device or FIFO reached through links the kernel resolves itself
  // (/dev/stdout, /proc/self/fd/N) has no name of its own to follow to.
  if (::stat(path.c_str(), &st) == 0 &&
      (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode))) {
    target_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) fail("Cannot open", errno);
    ownsFd_ = true;
    return;
  }
  bool exists = false;
  int error = 0;
  target_ = followLinks(path, st, exists, error);
  if (!exists && error != ENOENT) fail("Cannot open", error);

  const fs::path target(target_);
  const std::string leaf = target.filename().string();
  if (leaf.empty() || leaf == "." || leaf == "..") {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ + "' names a folder");
  }
  if (exists && S_ISDIR(st.st_mode)) {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ + "' is a folder");
  }
  if (exists && S_ISSOCK(st.st_mode)) {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ + "' is a socket");
  }
  if (exists && !S_ISREG(st.st_mode)) {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ + "' is no file");
  }
  if (exists &&
      ((st.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)) {
    throw RuntimeError(err::kFileAccess, "The " + kind_ + " '" + path_ +
                                             "' is read-only: Permission denied; it was not "
                                             "replaced");
  }
  replaceMode_ = true;
  mode_ = exists ? (st.st_mode & 07777) : 0;
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";
  struct stat dirSt {};
  if (::stat(dir.c_str(), &dirSt) != 0) fail("Cannot write into the folder of", errno);
  if (!S_ISDIR(dirSt.st_mode)) {
    throw RuntimeError(err::kFileAccess,
                       "The folder of the " + kind_ + " '" + path_ + "' is not a folder");
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    temp_ = temporaryName(dir, leaf);
    InterruptsHeld held;  // the file and its slot come into being together
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) pendingSlot_ = rememberPendingFile(temp_);
    if (fd_ < 0 && errno != EEXIST) fail("Cannot create a temporary file beside", errno);
  }
  if (fd_ < 0) fail("Cannot create a temporary file beside", EEXIST);
  ownsFd_ = true;
}

ResultFile::~ResultFile() {
  close();
  if (replaceMode_ && !committed_ && !temp_.empty()) {
    InterruptsHeld held;
    ::unlink(temp_.c_str());
    forgetPendingFile(pendingSlot_);
  }
}

void ResultFile::close() {
  if (ownsFd_ && fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ownsFd_ = false;
}

void ResultFile::fail(const std::string& what, int error) const {
  if (diskFull(error)) {
    throw RuntimeError(err::kDiskFull, "Disk full writing the " + kind_ + " '" + path_ +
                                           "': " + std::strerror(error));
  }
  throw RuntimeError(err::kFileAccess,
                     what + " the " + kind_ + " '" + path_ + "': " + std::strerror(error));
}

void ResultFile::write(std::string_view bytes) {
  if (fd_ < 0) fail("Cannot write", EBADF);
  FileSizeSignalHeld held;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Cannot write", errno);
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void ResultFile::commit() {
  if (committed_) return;
  if (fd_ < 0) fail("Cannot write", EBADF);
  if (!replaceMode_) {
    // Straight into a device, FIFO or standard output: a pipe or terminal
    // cannot be synced, only a lost write counts.
    if (::fsync(fd_) != 0 && (errno == EIO || diskFull(errno))) fail("Cannot write", errno);
    close();
    committed_ = true;
    return;
  }
  if (mode_ != 0 && ::fchmod(fd_, mode_) != 0) fail("Cannot write", errno);
  // On a file system held in memory (tmpfs, such as /dev/shm) a sync makes
  // nothing more durable: the result and its folder are not synced there.
  struct statfs fsInfo {};
  const bool inMemory = ::fstatfs(fd_, &fsInfo) == 0 &&
                        (fsInfo.f_type == TMPFS_MAGIC || fsInfo.f_type == RAMFS_MAGIC);
  if (!inMemory && ::fsync(fd_) != 0) fail("Cannot write", errno);
  const int closed = ::close(fd_);
  const int closeError = errno;
  fd_ = -1;
  ownsFd_ = false;
  if (closed != 0) fail("Cannot write", closeError);
  {
    InterruptsHeld held;
    if (::rename(temp_.c_str(), target_.c_str()) != 0) fail("Cannot replace", errno);
    committed_ = true;
    forgetPendingFile(pendingSlot_, true);
  }
  if (inMemory) return;
  // The rename lasts only once the folder is on disk too.
  fs::path dir = fs::path(target_).parent_path();
  if (dir.empty()) dir = ".";
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

void writeResultFile(const std::string& path, std::string_view bytes, std::string kind) {
  ResultFile out(path, std::move(kind));
  out.write(bytes);
  out.commit();
}

void copyToResultFile(const std::string& from, const std::string& path, std::string kind) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    throw RuntimeError(err::kFileAccess, "Cannot read '" + from + "': " + std::strerror(errno));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{in};
  ResultFile out(path, std::move(kind));
  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      throw RuntimeError(err::kFileAccess, "Cannot read '" + from + "': " + std::strerror(errno));
    }
    if (n == 0) break;
    out.write(std::string_view(buf, static_cast<size_t>(n)));
  }
  out.commit();
}

}  // namespace dorvane::file
