#include "ocx/ole_control.h"

#include <olectl.h>
#undef MessageBox

#include "control/sample_run.h"
#include "dorvane_com.h"
#include "ocx/ole_events.h"
#include "ocx/windows_message_box.h"

namespace dorvane::windows {

namespace {

// An ambient property of the container (its site's IDispatch), or VT_EMPTY.
VARIANT ambient(IOleClientSite* site, DISPID id) {
  VARIANT v;
  ::VariantInit(&v);
  IDispatch* d = nullptr;
  if (!site || FAILED(site->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) return v;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (FAILED(d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                       nullptr)))
    ::VariantInit(&v);
  d->Release();
  return v;
}

COLORREF ambientColor(IOleClientSite* site, DISPID id, COLORREF fallback) {
  VARIANT v = ambient(site, id);
  COLORREF color = fallback;
  if (V_VT(&v) != VT_EMPTY && SUCCEEDED(::VariantChangeType(&v, &v, 0, VT_I4)))
    ::OleTranslateColor(static_cast<OLE_COLOR>(V_I4(&v)), nullptr, &color);
  ::VariantClear(&v);
  return color;
}

}  // namespace

OleControl::OleControl()
    : backColor_(::GetSysColor(COLOR_BTNFACE)),
      foreColor_(::GetSysColor(COLOR_BTNTEXT)),
      face_([this] { clicked(); }) {}

OleControl::~OleControl() {
  face_.destroy();
  releaseSite();
  if (site_) site_->Release();
  if (adviseHolder_) adviseHolder_->Release();
  if (viewSink_) viewSink_->Release();
  if (font_) font_->Release();
  if (events_) events_->detach();
}

bool OleControl::oleInterface(REFIID iid, void** out) {
  void* p = nullptr;
  if (IsEqualIID(iid, IID_IOleObject)) {
    p = static_cast<IOleObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
    p = static_cast<IOleInPlaceObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
    p = static_cast<IOleInPlaceActiveObject*>(this);
  } else if (IsEqualIID(iid, IID_IOleControl)) {
    p = static_cast<IOleControl*>(this);
  } else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2)) {
    p = static_cast<IViewObject2*>(this);
  } else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit)) {
    p = static_cast<IPersistStreamInit*>(this);
  } else if (IsEqualIID(iid, IID_IPersistPropertyBag)) {
    p = static_cast<IPersistPropertyBag*>(this);
  } else if (IsEqualIID(iid, IID_IPersistStorage)) {
    p = static_cast<IPersistStorage*>(this);
  } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
    p = static_cast<IConnectionPointContainer*>(this);
  } else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)) {
    p = static_cast<IProvideClassInfo2*>(this);
  } else if (IsEqualIID(iid, IID_IQuickActivate)) {
    p = static_cast<IQuickActivate*>(this);
  } else {
    return false;
  }
  self()->AddRef();
  *out = p;
  return true;
}

void OleControl::readAmbients() {
  VARIANT mode = ambient(site_, DISPID_AMBIENT_USERMODE);
  // A container that does not say is in run mode.
  userMode_ = V_VT(&mode) != VT_BOOL || V_BOOL(&mode) != VARIANT_FALSE;
  ::VariantClear(&mode);
  backColor_ = ambientColor(site_, DISPID_AMBIENT_BACKCOLOR, ::GetSysColor(COLOR_BTNFACE));
  foreColor_ = ambientColor(site_, DISPID_AMBIENT_FORECOLOR, ::GetSysColor(COLOR_BTNTEXT));
  VARIANT font = ambient(site_, DISPID_AMBIENT_FONT);
  if ((V_VT(&font) == VT_DISPATCH || V_VT(&font) == VT_UNKNOWN) && V_UNKNOWN(&font)) {
    IFont* f = nullptr;
    if (SUCCEEDED(V_UNKNOWN(&font)->QueryInterface(IID_IFont, reinterpret_cast<void**>(&f)))) {
      if (font_) font_->Release();
      font_ = f;
    }
  }
  ::VariantClear(&font);
  HFONT h = nullptr;
  if (font_) font_->get_hFont(&h);
  face_.setLook(h, backColor_, foreColor_);
}

void OleControl::clicked() {
  // In design mode a click selects the control; it runs nothing.
  if (!userMode_) return;
  // A box of the sample run is owned by the form that holds the control.
  WindowsMessageBox box(::GetAncestor(face_.window(), GA_ROOT));
  runSample(box);
}

void OleControl::releaseSite() {
  if (frame_) frame_->Release();
  if (document_) document_->Release();
  if (inPlaceSite_) inPlaceSite_->Release();
  frame_ = nullptr;
  document_ = nullptr;
  inPlaceSite_ = nullptr;
  inPlaceActive_ = uiActive_ = false;
}

}  // namespace dorvane::windows
