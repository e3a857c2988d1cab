#include "ocx/control_face.h"

#include "ocx/ocx_module.h"

namespace dorvane::windows {

namespace {

constexpr wchar_t kClassName[] = L"DorvaneCtlMessageFace";
constexpr int kButtonId = 1;

}  // namespace

bool ControlFace::registerClass() {
  WNDCLASSEXW c{};
  if (::GetClassInfoExW(module(), kClassName, &c)) return true;
  c.cbSize = sizeof c;
  c.lpfnWndProc = &ControlFace::procedure;
  c.hInstance = module();
  c.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  c.lpszClassName = kClassName;
  return ::RegisterClassExW(&c) != 0;
}

void ControlFace::unregisterClass() { ::UnregisterClassW(kClassName, module()); }

bool ControlFace::create(HWND parent, const RECT& position) {
  if (window_) return true;
  if (!registerClass()) return false;
  window_ = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"ctlMessage",
                              WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                              position.left, position.top, position.right - position.left,
                              position.bottom - position.top, parent, nullptr, module(), this);
  if (!window_) return false;
  button_ =
      ::CreateWindowExW(0, L"BUTTON", kCaption, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                        0, 0, position.right - position.left, position.bottom - position.top,
                        window_, reinterpret_cast<HMENU>(kButtonId), module(), nullptr);
  if (!button_) {
    destroy();
    return false;
  }
  return true;
}

void ControlFace::destroy() {
  if (window_) ::DestroyWindow(window_);  // the button goes with it
  window_ = button_ = nullptr;
  if (backBrush_) ::DeleteObject(backBrush_);
  backBrush_ = nullptr;
}

void ControlFace::place(const RECT& position, const RECT& clip) {
  if (!window_) return;
  const int width = position.right - position.left, height = position.bottom - position.top;
  ::MoveWindow(window_, position.left, position.top, width, height, TRUE);
  RECT shown;
  if (::IntersectRect(&shown, &position, &clip) && !::EqualRect(&shown, &position)) {
    ::OffsetRect(&shown, -position.left, -position.top);
    ::SetWindowRgn(window_, ::CreateRectRgnIndirect(&shown), TRUE);  // the window owns it
  } else {
    ::SetWindowRgn(window_, nullptr, TRUE);
  }
}

void ControlFace::setLook(HFONT font, COLORREF back, COLORREF fore) {
  back_ = back;
  fore_ = fore;
  if (backBrush_) ::DeleteObject(backBrush_);
  backBrush_ = ::CreateSolidBrush(back);
  if (button_) {
    ::SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ::InvalidateRect(window_, nullptr, TRUE);
  }
}

void ControlFace::paint(HDC dc, const RECT& bounds, HFONT font, COLORREF back, COLORREF fore) {
  HBRUSH brush = ::CreateSolidBrush(back);
  ::FillRect(dc, &bounds, brush);
  ::DeleteObject(brush);
  RECT edge = bounds;
  ::DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT | BF_ADJUST);
  HGDIOBJ oldFont = ::SelectObject(dc, font ? font : ::GetStockObject(DEFAULT_GUI_FONT));
  const int oldMode = ::SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = ::SetTextColor(dc, fore);
  ::DrawTextW(dc, kCaption, -1, &edge, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  ::SetTextColor(dc, oldColor);
  ::SetBkMode(dc, oldMode);
  ::SelectObject(dc, oldFont);
}

LRESULT CALLBACK ControlFace::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* face = static_cast<ControlFace*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(face));
  }
  auto* face = reinterpret_cast<ControlFace*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!face) return ::DefWindowProcW(window, message, w, l);
  switch (message) {
    case WM_SIZE:
      // The button covers the face at every size.
      if (face->button_) ::MoveWindow(face->button_, 0, 0, LOWORD(l), HIWORD(l), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (face->button_) ::SetFocus(face->button_);
      return 0;
    case WM_COMMAND:
      if (LOWORD(w) == kButtonId && HIWORD(w) == BN_CLICKED && face->onClick_) face->onClick_();
      return 0;
    case WM_CTLCOLORBTN:
      if (face->backBrush_) return reinterpret_cast<LRESULT>(face->backBrush_);
      break;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
  }
  return ::DefWindowProcW(window, message, w, l);
}

}  // namespace dorvane::windows
