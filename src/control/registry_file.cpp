// The registry file of the POSIX component runtime: loading it, and changing
// it under an exclusive lock with an atomic replacement (registry.h).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "control/registry.h"

namespace dorvane::com {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
  throw std::runtime_error(what + " '" + path + "': " + std::strerror(errno));
}

// An exclusive lock on path + ".lock" for the life of the object.
class FileLock {
 public:
  explicit FileLock(const std::string& registry) {
    std::string lockPath = registry + ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) fail("Cannot open the registry lock", lockPath);
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) fail("Cannot lock the registry", lockPath);
    }
  }
  ~FileLock() { ::close(fd_); }  // closing releases the lock
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

Registry Registry::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT || !std::filesystem::exists(path)) return Registry();
    fail("Cannot read the registry", path);
  }
  std::ostringstream s;
  s << in.rdbuf();
  return parse(s.str());
}

void Registry::update(const std::string& path, const std::function<void(Registry&)>& edit) {
  std::filesystem::path p(path);
  std::error_code ec;
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
  FileLock lock(path);
  Registry r = load(path);
  edit(r);
  if (r.empty()) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail("Cannot remove the registry", path);
    return;
  }
  std::string tmp = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << r.serialize();
    out.flush();
    if (!out) fail("Cannot write the registry", tmp);
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    fail("Cannot replace the registry", path);
  }
}

}  // namespace dorvane::com
