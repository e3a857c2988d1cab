// The exports of Dorvane.ocx (dorvane_ocx.def): self-registration for the
// machine (regsvr32) or the current user (regsvr32 /n /i:user, DllInstall),
// the class factory of ctlMessage, and the unload check.
#include <ocidl.h>
#include <olectl.h>
#include <windows.h>

#include "dorvane_com.h"
#include "ocx/com_registration.h"
#include "ocx/control_face.h"
#include "ocx/ctl_message_com.h"
#include "ocx/ocx_module.h"

namespace dorvane::windows {

namespace {

class CtlMessageFactory final : public IClassFactory {
 public:
  CtlMessageFactory() { objectCreated(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      AddRef();
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ::InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    CtlMessageCom* object = CtlMessageCom::create();
    const HRESULT h = object->QueryInterface(iid, out);
    object->Release();
    return h;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    lockServer(lock != FALSE);
    return S_OK;
  }

 private:
  ~CtlMessageFactory() { objectDestroyed(); }
  LONG refs_ = 1;
};

// "user" (any case) asks for the current user's registration.
RegistrationScope scopeOf(PCWSTR commandLine) {
  return commandLine && ::lstrcmpiW(commandLine, L"user") == 0 ? RegistrationScope::User
                                                               : RegistrationScope::Machine;
}

}  // namespace

}  // namespace dorvane::windows

using namespace dorvane::windows;

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    setModule(instance);
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH) {
    ControlFace::unregisterClass();
  }
  return TRUE;
}

STDAPI DllRegisterServer() { return registerServer(RegistrationScope::Machine); }

STDAPI DllUnregisterServer() { return unregisterServer(RegistrationScope::Machine); }

STDAPI DllInstall(BOOL install, PCWSTR commandLine) {
  const RegistrationScope scope = scopeOf(commandLine);
  return install ? registerServer(scope) : unregisterServer(scope);
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_ctlMessage)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new CtlMessageFactory();
  const HRESULT h = factory->QueryInterface(iid, out);
  factory->Release();
  return h;
}

STDAPI DllCanUnloadNow() { return canUnload() ? S_OK : S_FALSE; }
}
