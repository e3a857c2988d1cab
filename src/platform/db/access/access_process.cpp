#include "platform/db/access/access_process.h"

#include <dorvane/runtime_error.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/db/access/access_mdbtools.h"
#include "platform/db/access/access_wire.h"
#include "platform/text/code_page.h"

#if defined(__SANITIZE_ADDRESS__)
#define DORVANE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DORVANE_ASAN 1
#endif
#endif

namespace dorvane::db {

namespace {

constexpr int kStallSeconds = 10;                     // no data for this long: a hang
constexpr rlim_t kBaseCpuSeconds = 10;                // plus one second per 2 MB of file
constexpr std::size_t kBaseStreamBytes = 256u << 20;  // plus 32 bytes per byte of file

// The child: reads the table and writes the stream to fd, then ends without
// running this process's exit handlers.
[[noreturn]] void runChild(int fd, const std::string& path, const std::string& table,
                           off_t fileSize) {
  int devnull = ::open("/dev/null", O_RDWR);
  if (devnull >= 0) {  // mdbtools prints warnings; they are not ours to show
    ::dup2(devnull, 1);
    ::dup2(devnull, 2);
  }
  rlimit cpu{kBaseCpuSeconds + static_cast<rlim_t>(fileSize >> 21),
             kBaseCpuSeconds + static_cast<rlim_t>(fileSize >> 21) + 1};
  ::setrlimit(RLIMIT_CPU, &cpu);
#ifndef DORVANE_ASAN
  rlimit as{rlim_t{3} << 30, rlim_t{3} << 30};
  ::setrlimit(RLIMIT_AS, &as);
#endif
  WireWriter writer([fd](const std::uint8_t* p, std::size_t n) {
    while (n > 0) {
      ssize_t w = ::write(fd, p, n);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ::_exit(3);  // the engine stopped listening
      p += w;
      n -= static_cast<std::size_t>(w);
    }
  });
  try {
    readAccessTableWithMdbtools(path, table, writer);
    writer.end();
  } catch (const std::exception& e) {
    writer.error(e.what());
  } catch (...) {
    writer.error("an unknown failure of the reader");
  }
  ::_exit(0);
}

class Child {
 public:
  explicit Child(pid_t pid) : pid_(pid) {}
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      reap();
    }
  }
  // Waits for the child to end; returns its wait status.
  int reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_;
};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void damaged(const std::string& path, const std::string& table,
                          const std::string& why) {
  throw RuntimeError(
      err::kCannotOpenDatabase,
      "Cannot read table '" + table + "' of the Access file '" + path + "': " + why + ".");
}

std::string describe(int status) {
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    if (sig == SIGXCPU) return "reading it took too long (the file is probably damaged)";
    return std::string("the reader crashed on it (") + strsignal(sig) +
           "; the file is probably damaged)";
  }
  return "the reader failed on it (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
}

// Reads the table from the child.
void readFromChild(const std::string& path, const std::string& table, const struct stat& st,
                   TableSink& sink);

}  // namespace

void readAccessTableIsolated(const std::string& path, const std::string& table, TableSink& sink) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    throw RuntimeError(err::kFileNotFound, "Could not find file '" + path + "'.");
  }
  readFromChild(path, table, st, sink);
}

namespace {

// Raised by a first try whose child sent nothing before the stall time-out.
struct StalledAtStart {};

void readFromChildOnce(const std::string& path, const std::string& table, const struct stat& st,
                       TableSink& sink, bool firstTry) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) damaged(path, table, std::string("pipe: ") + strerror(errno));
  Fd readEnd(fds[0]);
  const pid_t parent = ::getpid();
  pid_t pid;
  {
    // The child opens converters: no other thread may be inside iconv_open.
    std::lock_guard<std::mutex> setup(text::iconvSetupMutex());
    pid = ::fork();
  }
  if (pid < 0) {
    ::close(fds[1]);
    damaged(path, table, std::string("fork: ") + strerror(errno));
  }
  if (pid == 0) {
    // The reader never outlives the thread that waits for it, even when the
    // process dies without unwinding (it would keep the parent's pipes open).
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(1);
    ::close(fds[0]);
    runChild(fds[1], path, table, st.st_size);
  }
  ::close(fds[1]);
  Child child(pid);

  std::size_t received = 0;
  auto read = [&](std::uint8_t* buf, std::size_t size) -> std::size_t {
    for (;;) {
      pollfd p{readEnd.get(), POLLIN, 0};
      int r = ::poll(&p, 1, kStallSeconds * 1000);
      if (r < 0 && errno == EINTR) continue;
      if (r == 0 && received == 0 && firstTry) throw StalledAtStart{};
      if (r == 0) damaged(path, table, "the reader stalled on it (the file is probably damaged)");
      ssize_t n = ::read(readEnd.get(), buf, size);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) received += static_cast<std::size_t>(n);
      return n < 0 ? 0 : static_cast<std::size_t>(n);
    }
  };
  std::size_t maxBytes = kBaseStreamBytes + 32 * static_cast<std::size_t>(st.st_size);
  WireReader reader(read, maxBytes);
  try {
    reader.run(sink);
  } catch (const WireError& e) {
    if (e.reported()) damaged(path, table, e.what());
    ::kill(pid, SIGKILL);  // a child that is still sending has gone astray
    int status = child.reap();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) damaged(path, table, e.what());
    damaged(path, table, describe(status));
  }
  int status = child.reap();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) damaged(path, table, describe(status));
}

// A child that sends nothing at all in the stall time has most likely not
// started reading (a lock it inherited from the fork held for ever): it is
// ended and the table read once more. The sink has received nothing then.
void readFromChild(const std::string& path, const std::string& table, const struct stat& st,
                   TableSink& sink) {
  try {
    readFromChildOnce(path, table, st, sink, true);
  } catch (const StalledAtStart&) {
    readFromChildOnce(path, table, st, sink, false);
  }
}

}  // namespace

}  // namespace dorvane::db
