// Ending a command cleanly on Ctrl+C, Ctrl+Break or the console's closing:
// the console control handler removes the pending temporary files, prints
// the message of interrupt.h and ends the process with 130 (Ctrl+C) or 143.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file/interrupt.h"
#include "platform/text/utf.h"

namespace dorvane::file {

namespace {

constexpr int kSlots = 32;
std::atomic<wchar_t*> pending[kSlots];

char message[2048];
size_t messageLength = 0;
std::atomic<bool> resultWritten{false};

BOOL WINAPI onControl(DWORD event) {
  removePendingFiles();
  const char* name = event == CTRL_C_EVENT       ? "Ctrl+C"
                     : event == CTRL_BREAK_EVENT ? "Ctrl+Break"
                                                 : "the console's closing";
  const char* split = static_cast<const char*>(std::memchr(message, '\x01', messageLength));
  if (split) {
    std::fwrite(message, 1, static_cast<size_t>(split - message), stderr);
    std::fputs(name, stderr);
    if (resultWritten) {
      std::fputs(" after the result was written\n", stderr);
    } else {
      std::fwrite(split + 1, 1, messageLength - static_cast<size_t>(split + 1 - message), stderr);
    }
    std::fflush(stderr);
  }
  ::ExitProcess(event == CTRL_C_EVENT ? 130 : 143);
  return TRUE;
}

}  // namespace

InterruptGuard::InterruptGuard(const std::string& command, const std::string& what) {
  std::string text = command + ": interrupted by \x01: " + what + "\n";
  resultWritten = false;
  messageLength = std::min(text.size(), sizeof message);
  std::memcpy(message, text.data(), messageLength);
  ::SetConsoleCtrlHandler(onControl, TRUE);
}

InterruptGuard::~InterruptGuard() { ::SetConsoleCtrlHandler(onControl, FALSE); }

int rememberPendingFile(const std::string& path) {
  const std::u16string wide = text::fromUtf8(path);
  auto* copy = static_cast<wchar_t*>(std::malloc((wide.size() + 1) * sizeof(wchar_t)));
  if (!copy) return -1;
  std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  for (int i = 0; i < kSlots; ++i) {
    wchar_t* empty = nullptr;
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
    if (const wchar_t* path = slot.load()) ::DeleteFileW(path);
  }
}

}  // namespace dorvane::file
