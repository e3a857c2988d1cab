#include "ocx/windows_message_box.h"

#include <windows.h>
#undef MessageBox

#include "platform/text/utf.h"

namespace dorvane::windows {

namespace {

std::wstring wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// The event log source: the library's name, no message file of its own.
void reportEvent(const std::wstring& line) {
  HANDLE source = ::RegisterEventSourceW(nullptr, L"Dorvane");
  if (!source) return;
  const wchar_t* strings[] = {line.c_str()};
  ::ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
}

}  // namespace

bool hasInteractiveDesktop() {
  HWINSTA station = ::GetProcessWindowStation();
  if (!station) return false;
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (!::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void WindowsMessageBox::show(const std::u16string& text, const std::string& reason) {
  if (!hasInteractiveDesktop()) {
    std::wstring line = L"Dorvane.ocx: " + wide(text);
    if (!reason.empty()) line += L": " + wide(text::fromUtf8(reason));
    ::OutputDebugStringW((line + L"\n").c_str());
    reportEvent(line);
    return;
  }
  // Owned by the host's active window (a form, an office), like the box of a
  // control on it; no title, help or context of its own.
  ::MessageBoxW(owner_ ? static_cast<HWND>(owner_) : ::GetActiveWindow(), wide(text).c_str(), L"",
                MB_OK);
}

}  // namespace dorvane::windows
