// The connection point of the control's event interface __ctlMessage. The
// interface has no members, so no sink is ever called; a container still
// connects its sink (VB6 and Access do for every control) and disconnects it.
#pragma once

#include <ocidl.h>
#include <windows.h>

#include <vector>

namespace dorvane::windows {

class EventConnectionPoint final : public IConnectionPoint {
 public:
  // container: the control, held by a reference while the point is held by
  // anyone but the control.
  explicit EventConnectionPoint(IConnectionPointContainer* container);

  // The control goes: it no longer answers GetConnectionPointContainer,
  // and every sink is released.
  void detach();
  // Connects sink (asked for the event interface); CONNECT_E_CANNOTCONNECT
  // when it does not have it.
  HRESULT connect(IUnknown* sink, DWORD* cookie);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** c) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override;

 private:
  ~EventConnectionPoint();
  struct Sink {
    DWORD cookie;
    IUnknown* sink;
  };
  LONG refs_ = 1;  // the control's
  IConnectionPointContainer* container_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

}  // namespace dorvane::windows
