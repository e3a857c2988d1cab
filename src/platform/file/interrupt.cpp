// The parts of interrupt.h every system shares: the pending temporary files,
// the message of a guard, the state of a watch. The handlers themselves are
// the system's (interrupt_handlers.h).
#include "platform/file/interrupt.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/file/interrupt_handlers.h"

namespace dorvane::file {

namespace {

constexpr int kSlots = 32;
std::atomic<void*> pending[kSlots];

// The message a guard's handler prints; written before the handlers are
// installed. It holds "<command>: interrupted by \x01: <what>\n".
char message[2048];
size_t messageLength = 0;
// Set once a result has been renamed into place under the guard.
std::atomic<bool> resultWritten{false};
constexpr char kAfterWrite[] = " after the result was written\n";

// Under a watch: what it does on an interruption, and what came.
std::atomic<bool> watching{false};
bool watchRemovesFiles = false;
void (*watchHook)(int) = nullptr;
std::atomic<int> watchStatus{0};
std::atomic<int> watchCount{0};

}  // namespace

namespace detail {

bool interrupted(const char* name, int status) noexcept {
  if (watching) {
    if (watchRemovesFiles) removePendingFiles();
    int expected = 0;
    watchStatus.compare_exchange_strong(expected, status);
    const int count = ++watchCount;
    if (watchHook) watchHook(count);
    return false;
  }
  removePendingFiles();
  const char* split = static_cast<const char*>(std::memchr(message, '\x01', messageLength));
  if (split) {
    writeStderr(message, static_cast<size_t>(split - message));
    writeStderr(name, std::strlen(name));
    if (resultWritten) {
      writeStderr(kAfterWrite, sizeof kAfterWrite - 1);
    } else {
      writeStderr(split + 1, messageLength - static_cast<size_t>(split + 1 - message));
    }
  }
  return true;
}

}  // namespace detail

InterruptGuard::InterruptGuard(const std::string& command, const std::string& what) {
  std::string text = command + ": interrupted by \x01: " + what + "\n";
  resultWritten = false;
  messageLength = std::min(text.size(), sizeof message);
  std::memcpy(message, text.data(), messageLength);
  watching = false;
  detail::installInterruptHandlers();
}

InterruptGuard::~InterruptGuard() { detail::restoreInterruptHandlers(); }

InterruptWatch::InterruptWatch(bool removeFiles, void (*onInterrupt)(int count)) {
  watchRemovesFiles = removeFiles;
  watchHook = onInterrupt;
  watchStatus = 0;
  watchCount = 0;
  watching = true;
  detail::installInterruptHandlers();
}

InterruptWatch::~InterruptWatch() {
  detail::restoreInterruptHandlers();
  watching = false;
}

int InterruptWatch::status() noexcept { return watchStatus; }

int rememberPendingFile(const std::string& path) {
  void* copy = detail::nativePathCopy(path);
  if (!copy) return -1;
  for (int i = 0; i < kSlots; ++i) {
    void* empty = nullptr;
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
    if (const void* path = slot.load()) detail::removeNativePath(path);
  }
}

}  // namespace dorvane::file
