// IOleObject: what a container says to the control first (its site, its
// names, the size it gives it) and the verbs that activate and hide it.
#include <olectl.h>

#include "control/registration.h"
#include "dorvane_com.h"
#include "ocx/ole_control.h"

namespace dorvane::windows {

HRESULT OleControl::SetClientSite(IOleClientSite* site) {
  if (site == site_) return S_OK;
  if (site) site->AddRef();
  if (site_) site_->Release();
  site_ = site;
  // The site's ambients hold in design mode as before activation.
  if (site_) readAmbients();
  return S_OK;
}

HRESULT OleControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_;
  if (site_) site_->AddRef();
  return S_OK;
}

HRESULT OleControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT OleControl::Close(DWORD) {
  // Nothing is saved: the control has no state of its own.
  InPlaceDeactivate();
  if (adviseHolder_) adviseHolder_->SendOnClose();
  return S_OK;
}

HRESULT OleControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT OleControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT OleControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT OleControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT OleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT) {
  if (!site_ && activeSite) SetClientSite(activeSite);
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
      return activate(true);
    case OLEIVERB_INPLACEACTIVATE:
      return activate(false);
    case OLEIVERB_HIDE:
      UIDeactivate();
      if (face_.window()) ::ShowWindow(face_.window(), SW_HIDE);
      return S_OK;
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT OleControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (!verbs) return E_POINTER;
  return ::OleRegEnumVerbs(CLSID_ctlMessage, verbs);
}

HRESULT OleControl::Update() { return S_OK; }

HRESULT OleControl::IsUpToDate() { return S_OK; }

HRESULT OleControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_ctlMessage;
  return S_OK;
}

HRESULT OleControl::GetUserType(DWORD form, LPOLESTR* type) {
  if (!type) return E_POINTER;
  return ::OleRegGetUserType(CLSID_ctlMessage, form, type);
}

HRESULT OleControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (size->cx <= 0 || size->cy <= 0) return E_INVALIDARG;
  extent_ = *size;
  if (viewSink_) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
  return S_OK;
}

HRESULT OleControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

HRESULT OleControl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  if (!adviseHolder_) {
    HRESULT h = ::CreateOleAdviseHolder(&adviseHolder_);
    if (FAILED(h)) return h;
  }
  return adviseHolder_->Advise(sink, cookie);
}

HRESULT OleControl::Unadvise(DWORD cookie) {
  return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT OleControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  return adviseHolder_ ? adviseHolder_->EnumAdvise(advise) : S_OK;
}

HRESULT OleControl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  // The same status the registration writes, for every aspect.
  (void)aspect;
  *status = com::kMiscStatus;
  return S_OK;
}

HRESULT OleControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

}  // namespace dorvane::windows
