// Interruptions on Windows: Ctrl+C, Ctrl+Break and the console's closing,
// through the console control handler (which runs on a thread of its own);
// paths kept as UTF-16.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file/interrupt_handlers.h"
#include "platform/text/utf.h"

namespace dorvane::file::detail {

namespace {

BOOL WINAPI onControl(DWORD event) {
  const char* name = event == CTRL_C_EVENT       ? "Ctrl+C"
                     : event == CTRL_BREAK_EVENT ? "Ctrl+Break"
                                                 : "the console's closing";
  const int status = event == CTRL_C_EVENT ? 130 : 143;
  if (interrupted(name, status)) ::ExitProcess(static_cast<UINT>(status));
  return TRUE;
}

}  // namespace

void installInterruptHandlers() { ::SetConsoleCtrlHandler(onControl, TRUE); }

void restoreInterruptHandlers() { ::SetConsoleCtrlHandler(onControl, FALSE); }

void* nativePathCopy(const std::string& utf8Path) {
  const std::u16string wide = text::fromUtf8(utf8Path);
  void* copy = std::malloc((wide.size() + 1) * sizeof(char16_t));
  if (copy) std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  return copy;
}

void removeNativePath(const void* path) noexcept {
  ::DeleteFileW(static_cast<const wchar_t*>(path));
}

// A console gets the text as UTF-16; a pipe or file gets the bytes.
void writeStderr(const char* s, std::size_t n) noexcept {
  HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  if (err == nullptr || err == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (::GetConsoleMode(err, &mode)) {
    try {
      const std::u16string wide = text::fromUtf8(std::string_view(s, n));
      ::WriteConsoleW(err, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      return;
    } catch (...) {
      // out of memory: the bytes as they are
    }
  }
  ::WriteFile(err, s, static_cast<DWORD>(n), &written, nullptr);
}

}  // namespace dorvane::file::detail
