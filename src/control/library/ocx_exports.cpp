// The exports of Dorvane.ocx: self-registration, the class factory, and the
// unload check. Built into the library only.
#include <dlfcn.h>
#include <dorvane/ocx_exports.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "control/ctl_message_object.h"
#include "control/registration.h"
#include "control/registry.h"
#include "control/type_library.h"

using namespace dorvane::com;

// The library's version data, as the Windows build's version resource holds
// it. It has a section of its own, so that it can be read from the file
// without loading the library (dorvane --version).
extern "C" __attribute__((section(".dorvane_version"), used)) const char kDorvaneVersionInfo[] =
    "CompanyName=Dorvane\n"
    "FileDescription=Dorvane.ocx: the ctlMessage control\n"
    "FileVersion=1.00\n"
    "ProductName=Dorvane\n"
    "ProductVersion=1.00\n"
    "OriginalFilename=Dorvane.ocx\n"
    "OLESelfRegister=\n"
    "Language=0x0411\n";

namespace {

// The absolute path of this library, as the registry records it.
std::string libraryPath() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  return ::realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
}

HRESULT updateRegistry(bool add) {
  try {
    const std::string path = libraryPath();
    if (add && path.empty()) return SELFREG_E_CLASS;
    Registry::update(registryPath(), [&](Registry& r) {
      if (add) {
        registerLibrary(r, path);
      } else {
        unregisterLibrary(r);
      }
    });
    return S_OK;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Dorvane.ocx: %s\n", e.what());
    return SELFREG_E_CLASS;
  }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) HRESULT DllRegisterServer(void) {
  return updateRegistry(true);
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer(void) {
  return updateRegistry(false);
}

__attribute__((visibility("default"))) HRESULT DllGetClassObject(const Guid* clsid, const Guid* iid,
                                                                 void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!clsid || !iid) return E_INVALIDARG;
  if (!(*clsid == dorvane::typelib::kClsidCtlMessage)) return CLASS_E_CLASSNOTAVAILABLE;
  CtlMessageFactory* factory = CtlMessageFactory::create();
  HRESULT h = factory->QueryInterface(*iid, out);
  factory->Release();
  return h;
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow(void) {
  return liveObjects() == 0 && serverLocks() == 0 ? S_OK : S_FALSE;
}

__attribute__((visibility("default"))) void DorvaneSetDefaultMessageBox(dorvane::MessageBox* box) {
  dorvane::setDefaultMessageBox(box);
}

__attribute__((visibility("default"))) const char* DorvaneVersionInfo(void) {
  return kDorvaneVersionInfo;
}
}
