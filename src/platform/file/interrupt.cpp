#include "platform/file/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace dorvane::file {

namespace {

constexpr int kSlots = 32;
std::atomic<char*> pending[kSlots];

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

// The message the handler prints; written before the handlers are installed.
char message[2048];
size_t messageLength = 0;
// Set once a result has been renamed into place under the guard.
std::atomic<bool> resultWritten{false};
constexpr char kAfterWrite[] = " after the result was written\n";

void put(const char* s, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(STDERR_FILENO, s, n);
    if (w <= 0) return;
    s += w;
    n -= static_cast<size_t>(w);
  }
}

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

extern "C" void onInterrupt(int sig) {
  removePendingFiles();
  // message holds "<command>: interrupted by " and ": <what>\n" around the name.
  const char* split = static_cast<const char*>(std::memchr(message, '\x01', messageLength));
  if (split) {
    put(message, static_cast<size_t>(split - message));
    const char* name = signalName(sig);
    put(name, std::strlen(name));
    if (resultWritten) {
      put(kAfterWrite, sizeof kAfterWrite - 1);
    } else {
      put(split + 1, messageLength - static_cast<size_t>(split + 1 - message));
    }
  }
  ::_exit(128 + sig);
}

struct sigaction before[kSignalCount];
struct sigaction fileSizeBefore;

}  // namespace

InterruptGuard::InterruptGuard(const std::string& command, const std::string& what) {
  std::string text = command + ": interrupted by \x01: " + what + "\n";
  resultWritten = false;
  messageLength = std::min(text.size(), sizeof message);
  std::memcpy(message, text.data(), messageLength);

  struct sigaction sa {};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  for (int s : kSignals) sigaddset(&sa.sa_mask, s);
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &sa, &before[i]);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGXFSZ, &ignore, &fileSizeBefore);
}

InterruptGuard::~InterruptGuard() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &before[i], nullptr);
  sigaction(SIGXFSZ, &fileSizeBefore, nullptr);
}

int rememberPendingFile(const std::string& path) {
  char* copy = ::strdup(path.c_str());
  if (!copy) return -1;
  for (int i = 0; i < kSlots; ++i) {
    char* empty = nullptr;
    if (pending[i].compare_exchange_strong(empty, copy)) return i;
  }
  std::free(copy);
  return -1;
}

void forgetPendingFile(int slot, bool renamed) {
  if (renamed) resultWritten = true;
  if (slot < 0 || slot >= kSlots) return;
  std::free(pending[slot].exchange(nullptr));
}

void removePendingFiles() noexcept {
  for (auto& slot : pending) {
    if (const char* path = slot.load()) ::unlink(path);
  }
}

}  // namespace dorvane::file
