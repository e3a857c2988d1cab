// In-place activation: the face's window inside the container's window
// (IOleInPlaceObject), the keys the container hands to the active control
// (IOleInPlaceActiveObject), and the container's ambient properties
// (IOleControl).
#include <olectl.h>

#include "ocx/ole_control.h"

namespace dorvane::windows {

namespace {

// Pixels of the screen to HIMETRIC (0.01 mm).
SIZEL himetric(const RECT& r) {
  HDC screen = ::GetDC(nullptr);
  const int x = ::GetDeviceCaps(screen, LOGPIXELSX), y = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return {::MulDiv(r.right - r.left, 2540, x), ::MulDiv(r.bottom - r.top, 2540, y)};
}

}  // namespace

HRESULT OleControl::activate(bool uiActivate) {
  if (!site_) return E_UNEXPECTED;
  if (!inPlaceActive_) {
    IOleInPlaceSite* s = nullptr;
    if (FAILED(site_->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&s))))
      return OLEOBJ_S_CANNOT_DOVERB_NOW;
    if (s->CanInPlaceActivate() != S_OK) {
      s->Release();
      return OLEOBJ_S_CANNOT_DOVERB_NOW;
    }
    inPlaceSite_ = s;
    inPlaceActive_ = true;
    s->OnInPlaceActivate();
    HWND parent = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO frame{};
    frame.cb = sizeof frame;
    if (FAILED(s->GetWindow(&parent)) ||
        FAILED(s->GetWindowContext(&frame_, &document_, &position, &clip, &frame)) ||
        !face_.create(parent, position)) {
      InPlaceDeactivate();
      return E_FAIL;
    }
    face_.place(position, clip);
    HFONT font = nullptr;
    if (font_) font_->get_hFont(&font);
    face_.setLook(font, backColor_, foreColor_);
    site_->ShowObject();
  }
  ::ShowWindow(face_.window(), SW_SHOW);
  if (uiActivate && !uiActive_) {
    uiActive_ = true;
    inPlaceSite_->OnUIActivate();
    ::SetFocus(face_.button());
    IOleInPlaceActiveObject* active = this;
    if (frame_) {
      frame_->SetActiveObject(active, nullptr);
      frame_->SetBorderSpace(nullptr);
    }
    if (document_) {
      document_->SetActiveObject(active, nullptr);
      document_->SetBorderSpace(nullptr);
    }
  }
  return S_OK;
}

HRESULT OleControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = face_.window();
  return *window ? S_OK : E_FAIL;
}

HRESULT OleControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT OleControl::InPlaceDeactivate() {
  if (!inPlaceActive_) return S_OK;
  UIDeactivate();
  face_.destroy();
  IOleInPlaceSite* s = inPlaceSite_;
  if (s) s->AddRef();
  releaseSite();
  if (s) {
    s->OnInPlaceDeactivate();
    s->Release();
  }
  return S_OK;
}

HRESULT OleControl::UIDeactivate() {
  if (!uiActive_) return S_OK;
  uiActive_ = false;
  if (frame_) frame_->SetActiveObject(nullptr, nullptr);
  if (document_) document_->SetActiveObject(nullptr, nullptr);
  if (inPlaceSite_) inPlaceSite_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT OleControl::SetObjectRects(LPCRECT position, LPCRECT clip) {
  if (!position || !clip) return E_POINTER;
  if (!inPlaceActive_) return OLE_E_NOT_INPLACEACTIVE;
  // The face recomposes: the button follows the window's new size.
  face_.place(*position, *clip);
  extent_ = himetric(*position);
  return S_OK;
}

HRESULT OleControl::ReactivateAndUndo() { return E_NOTIMPL; }

HRESULT OleControl::TranslateAccelerator(LPMSG msg) {
  if (!msg) return E_POINTER;
  // Enter on the focused button presses it, as Space does by itself; Tab
  // and the rest are the container's.
  if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && face_.button() &&
      msg->hwnd == face_.button()) {
    ::SendMessageW(face_.button(), BM_CLICK, 0, 0);
    return S_OK;
  }
  return S_FALSE;
}

HRESULT OleControl::OnFrameWindowActivate(BOOL) { return S_OK; }

HRESULT OleControl::OnDocWindowActivate(BOOL) { return S_OK; }

HRESULT OleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }

HRESULT OleControl::EnableModeless(BOOL) { return S_OK; }

HRESULT OleControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  // No mnemonics; Enter belongs to the button while it has the focus.
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = CTRLINFO_EATS_RETURN;
  return S_OK;
}

HRESULT OleControl::OnMnemonic(MSG*) { return S_OK; }

HRESULT OleControl::OnAmbientPropertyChange(DISPID) {
  readAmbients();
  return S_OK;
}

HRESULT OleControl::FreezeEvents(BOOL) { return S_OK; }

}  // namespace dorvane::windows
