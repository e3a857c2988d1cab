// Interruptions on a POSIX system: SIGINT, SIGTERM and SIGHUP, with SIGXFSZ
// ignored while the handlers are installed; paths kept as UTF-8.
#include "platform/file/interrupt_handlers.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace dorvane::file::detail {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

struct sigaction before[kSignalCount];
struct sigaction fileSizeBefore;

const char* signalName(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "SIGHUP";
  }
}

extern "C" void onInterruptSignal(int sig) {
  if (interrupted(signalName(sig), 128 + sig)) ::_exit(128 + sig);
}

}  // namespace

void installInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = onInterruptSignal;
  sigemptyset(&sa.sa_mask);
  for (int s : kSignals) sigaddset(&sa.sa_mask, s);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &sa, &before[i]);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &fileSizeBefore);
}

void restoreInterruptHandlers() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &before[i], nullptr);
  sigaction(SIGXFSZ, &fileSizeBefore, nullptr);
}

void* nativePathCopy(const std::string& utf8Path) { return ::strdup(utf8Path.c_str()); }

void removeNativePath(const void* path) noexcept { ::unlink(static_cast<const char*>(path)); }

void writeStderr(const char* s, std::size_t n) noexcept {
  while (n > 0) {
    ssize_t w = ::write(STDERR_FILENO, s, n);
    if (w <= 0) return;
    s += w;
    n -= static_cast<std::size_t>(w);
  }
}

}  // namespace dorvane::file::detail
