// Persistence: a container saves and loads its controls with the form, the
// sheet or the page. The control keeps no state of its own between calls
// and stores none: InitNew and Load read nothing, Save writes nothing, and
// the control is never dirty.
#include "dorvane_com.h"
#include "ocx/ole_control.h"

namespace dorvane::windows {

HRESULT OleControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_ctlMessage;
  return S_OK;
}

HRESULT OleControl::IsDirty() { return S_FALSE; }

HRESULT OleControl::InitNew() { return S_OK; }

HRESULT OleControl::Load(LPSTREAM stream) { return stream ? S_OK : E_POINTER; }

HRESULT OleControl::Save(LPSTREAM stream, BOOL) { return stream ? S_OK : E_POINTER; }

HRESULT OleControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT OleControl::Load(IPropertyBag* bag, IErrorLog*) { return bag ? S_OK : E_POINTER; }

HRESULT OleControl::Save(IPropertyBag* bag, BOOL, BOOL) { return bag ? S_OK : E_POINTER; }

HRESULT OleControl::InitNew(IStorage* storage) { return storage ? S_OK : E_POINTER; }

HRESULT OleControl::Load(IStorage* storage) { return storage ? S_OK : E_POINTER; }

HRESULT OleControl::Save(IStorage* storage, BOOL) { return storage ? S_OK : E_POINTER; }

HRESULT OleControl::SaveCompleted(IStorage*) { return S_OK; }

HRESULT OleControl::HandsOffStorage() { return S_OK; }

}  // namespace dorvane::windows
