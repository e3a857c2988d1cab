// Wine's (or Windows') own ATL as the container of the control, loaded at
// run time: atl.dll's "AtlAxWin" window class, and atl100.dll's
// AtlAxCreateControlEx and AtlAxGetControl. Shared by the control's tests
// and its benchmark.
#pragma once

#include <windows.h>

namespace atl_host {

using WinInit = BOOL(WINAPI*)();
using CreateControlEx = HRESULT(WINAPI*)(LPCOLESTR, HWND, IStream*, IUnknown**, IUnknown**, REFIID,
                                         IUnknown*);
using GetControl = HRESULT(WINAPI*)(HWND, IUnknown**);

struct Atl {
  WinInit winInit = nullptr;                  // atl.dll
  CreateControlEx createControlEx = nullptr;  // atl100.dll
  GetControl getControl = nullptr;            // atl100.dll
};

template <class F>
F entry(const wchar_t* dll, const char* name) {
  HMODULE m = ::LoadLibraryW(dll);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(m, name))) : nullptr;
}

// The entries, and the "AtlAxWin" class registered (false when any is
// missing).
inline bool load(Atl& atl) {
  atl.winInit = entry<WinInit>(L"atl.dll", "AtlAxWinInit");
  atl.createControlEx = entry<CreateControlEx>(L"atl100.dll", "AtlAxCreateControlEx");
  atl.getControl = entry<GetControl>(L"atl100.dll", "AtlAxGetControl");
  return atl.winInit && atl.createControlEx && atl.getControl && atl.winInit();
}

// A visible top-level window to hold controls, as a form does.
inline HWND makeForm(int width, int height) {
  static const wchar_t* kClass = [] {
    WNDCLASSW c{};
    c.lpfnWndProc = ::DefWindowProcW;
    c.hInstance = ::GetModuleHandleW(nullptr);
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    c.lpszClassName = L"DorvaneTestForm";
    ::RegisterClassW(&c);
    return L"DorvaneTestForm";
  }();
  HWND form = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_CONTROLPARENT, kClass, L"Form1",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, width, height, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::UpdateWindow(form);
  return form;
}

// Dispatches the messages waiting for up to ms milliseconds.
inline void pump(DWORD ms) {
  const DWORD until = ::GetTickCount() + ms;
  do {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
    if (ms) ::Sleep(5);
  } while (static_cast<LONG>(until - ::GetTickCount()) > 0);
}

}  // namespace atl_host
