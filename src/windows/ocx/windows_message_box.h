// The message box of the controls this library creates: "error" with an OK
// button (MessageBoxW), owned by the host's active window or the form given,
// waiting until it is closed. In a process without an interactive desktop (a service, a web
// server) nobody could close it: there the text and its reason go to the
// debug output (OutputDebugStringW) and the Application event log, and the
// pass goes on at once.
#pragma once

#include <dorvane/message_box.h>

namespace dorvane::windows {

class WindowsMessageBox : public dorvane::MessageBox {
 public:
  // owner: the window that owns the box (a form); null for the host's
  // active window.
  explicit WindowsMessageBox(void* owner = nullptr) : owner_(owner) {}
  void show(const std::u16string& text, const std::string& reason) override;

 private:
  void* owner_;  // an HWND
};

// True when the process's window station is the interactive one (visible).
bool hasInteractiveDesktop();

}  // namespace dorvane::windows
