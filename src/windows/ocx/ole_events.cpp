// The control's events and class, as containers ask for them:
// IConnectionPointContainer with the one point of __ctlMessage,
// IProvideClassInfo2, and IQuickActivate (one call in place of the site,
// the ambients, the sinks and the miscellaneous status).
#include "ocx/ole_events.h"

#include <olectl.h>

#include <algorithm>

#include "control/registration.h"
#include "dorvane_com.h"
#include "ocx/ocx_module.h"
#include "ocx/ole_control.h"

namespace dorvane::windows {

// ---- the connection point --------------------------------------------------------

EventConnectionPoint::EventConnectionPoint(IConnectionPointContainer* container)
    : container_(container) {
  objectCreated();
}

EventConnectionPoint::~EventConnectionPoint() {
  for (const Sink& s : sinks_) s.sink->Release();
  objectDestroyed();
}

void EventConnectionPoint::detach() {
  container_ = nullptr;
  for (const Sink& s : sinks_) s.sink->Release();
  sinks_.clear();
  Release();
}

HRESULT EventConnectionPoint::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
    AddRef();
    *out = static_cast<IConnectionPoint*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG EventConnectionPoint::AddRef() { return ::InterlockedIncrement(&refs_); }

ULONG EventConnectionPoint::Release() {
  const LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT EventConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = DIID___ctlMessage;
  return S_OK;
}

HRESULT EventConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** c) {
  if (!c) return E_POINTER;
  *c = container_;
  if (!container_) return E_UNEXPECTED;
  container_->AddRef();
  return S_OK;
}

HRESULT EventConnectionPoint::connect(IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  IUnknown* events = nullptr;
  if (FAILED(sink->QueryInterface(DIID___ctlMessage, reinterpret_cast<void**>(&events))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&events))))
    return CONNECT_E_CANNOTCONNECT;
  *cookie = nextCookie_++;
  sinks_.push_back({*cookie, events});
  return S_OK;
}

HRESULT EventConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  return connect(sink, cookie);
}

HRESULT EventConnectionPoint::Unadvise(DWORD cookie) {
  auto s = std::find_if(sinks_.begin(), sinks_.end(),
                        [cookie](const Sink& x) { return x.cookie == cookie; });
  if (s == sinks_.end()) return CONNECT_E_NOCONNECTION;
  IUnknown* sink = s->sink;
  sinks_.erase(s);
  sink->Release();
  return S_OK;
}

HRESULT EventConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

// ---- IConnectionPointContainer ----------------------------------------------------

HRESULT OleControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT OleControl::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(iid, DIID___ctlMessage)) return CONNECT_E_NOCONNECTION;
  if (!events_) events_ = new EventConnectionPoint(this);
  events_->AddRef();
  *point = events_;
  return S_OK;
}

// ---- IProvideClassInfo2 -------------------------------------------------------------

HRESULT OleControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = typeInfoOf(CLSID_ctlMessage);
  return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

HRESULT OleControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = DIID___ctlMessage;
  return S_OK;
}

// ---- IQuickActivate -------------------------------------------------------------------

HRESULT OleControl::QuickActivate(QACONTAINER* container, QACONTROL* control) {
  if (!container || !control) return E_POINTER;
  if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL))
    return E_INVALIDARG;
  // The ambients come in the structure: the site's IDispatch is not asked.
  HRESULT h = SetClientSite(container->pClientSite);
  if (FAILED(h)) return h;
  userMode_ = (container->dwAmbientFlags & QACONTAINER_USERMODE) != 0;
  ::OleTranslateColor(container->colorBack, nullptr, &backColor_);
  ::OleTranslateColor(container->colorFore, nullptr, &foreColor_);
  if (container->pFont) {
    if (font_) font_->Release();
    font_ = container->pFont;
    font_->AddRef();
  }
  HFONT font = nullptr;
  if (font_) font_->get_hFont(&font);
  face_.setLook(font, backColor_, foreColor_);
  if (container->pAdviseSink) SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
  const ULONG size = control->cbSize;
  *control = QACONTROL{};
  control->cbSize = size;
  control->dwMiscStatus = com::kMiscStatus;
  control->dwViewStatus = VIEWSTATUS_OPAQUE;
  if (container->pUnkEventSink) {
    IConnectionPoint* point = nullptr;
    FindConnectionPoint(DIID___ctlMessage, &point);
    events_->connect(container->pUnkEventSink, &control->dwEventCookie);
    point->Release();
  }
  return S_OK;
}

HRESULT OleControl::SetContentExtent(LPSIZEL size) { return SetExtent(DVASPECT_CONTENT, size); }

HRESULT OleControl::GetContentExtent(LPSIZEL size) {
  return static_cast<IOleObject*>(this)->GetExtent(DVASPECT_CONTENT, size);
}

}  // namespace dorvane::windows
