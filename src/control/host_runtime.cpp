// The host side of the component runtime: the registry path, CreateObject,
// library loading and unloading, and calls by name.
#include <dlfcn.h>
#include <dorvane/component.h>
#include <dorvane/ocx_exports.h>

#include <cstdlib>
#include <map>
#include <mutex>

#include "control/registry.h"
#include "platform/text/utf.h"

namespace dorvane::com {

namespace {

constexpr char kRoot[] = "HKEY_CLASSES_ROOT\\";

struct LoadedLibrary {
  void* handle = nullptr;
  decltype(&DllGetClassObject) getClassObject = nullptr;
  decltype(&DllCanUnloadNow) canUnloadNow = nullptr;
};

std::mutex& librariesMutex() {
  static std::mutex m;
  return m;
}

std::map<std::string, LoadedLibrary>& libraries() {
  static std::map<std::string, LoadedLibrary> loaded;
  return loaded;
}

MessageBox*& hostBox() {
  static MessageBox* box = nullptr;
  return box;
}

MessageBox* hostMessageBox() { return hostBox(); }

void say(std::string* reason, const std::string& text) {
  if (reason) *reason = text;
}

// Loads (once) the library at path; nullptr with reason on failure.
const LoadedLibrary* load(const std::string& path, std::string* reason) {
  std::lock_guard<std::mutex> lock(librariesMutex());
  auto it = libraries().find(path);
  if (it != libraries().end()) return &it->second;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* e = ::dlerror();
    say(reason, "Cannot load the component library '" + path + "': " + (e ? e : "unknown error"));
    return nullptr;
  }
  LoadedLibrary lib;
  lib.handle = handle;
  lib.getClassObject =
      reinterpret_cast<decltype(&DllGetClassObject)>(::dlsym(handle, "DllGetClassObject"));
  lib.canUnloadNow =
      reinterpret_cast<decltype(&DllCanUnloadNow)>(::dlsym(handle, "DllCanUnloadNow"));
  if (!lib.getClassObject) {
    ::dlclose(handle);
    say(reason, "'" + path + "' is no component library (it has no DllGetClassObject)");
    return nullptr;
  }
  // A host with a message box of its own (a window) lends it to the library.
  using SetBox = decltype(&DorvaneSetDefaultMessageBox);
  if (auto set = reinterpret_cast<SetBox>(::dlsym(handle, "DorvaneSetDefaultMessageBox")))
    set(hostMessageBox());
  return &libraries().emplace(path, lib).first->second;
}

std::string hex(HRESULT h) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(h));
  return buf;
}

}  // namespace

void SetHostMessageBox(MessageBox* box) {
  hostBox() = box;
  setDefaultMessageBox(box);
}

std::string registryPath() {
  if (const char* p = std::getenv("DORVANE_REGISTRY"); p && *p) return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
    return std::string(x) + "/dorvane/registry";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + "/.config/dorvane/registry";
}

HRESULT CreateObject(const std::u16string& progIdText, ComPtr<IDispatch>& out,
                     std::string* reason) {
  out.reset();
  const std::string progId = text::toUtf8(progIdText);
  Registry registry;
  try {
    registry = Registry::load(registryPath());
  } catch (const std::exception& e) {
    say(reason, e.what());
    return REGDB_E_CLASSNOTREG;
  }
  auto clsidText = registry.value(kRoot + progId + "\\CLSID");
  if (!clsidText) {
    say(reason, "No class is registered as '" + progId + "' in " + registryPath());
    return CO_E_CLASSSTRING;
  }
  auto clsid = Guid::parse(*clsidText);
  if (!clsid) {
    say(reason, "The class id '" + *clsidText + "' of '" + progId + "' is malformed");
    return CO_E_CLASSSTRING;
  }
  auto path =
      registry.value(kRoot + std::string("CLSID\\") + clsid->toString() + "\\InprocServer32");
  if (!path || path->empty()) {
    say(reason, "The class " + clsid->toString() + " has no in-process server registered");
    return REGDB_E_CLASSNOTREG;
  }
  const LoadedLibrary* lib = load(*path, reason);
  if (!lib) return CO_E_DLLNOTFOUND;

  ComPtr<IClassFactory> factory;
  HRESULT h = lib->getClassObject(&*clsid, &IID_IClassFactory, factory.out());
  if (!succeeded(h)) {
    say(reason,
        "'" + *path + "' has no class factory for " + clsid->toString() + " (" + hex(h) + ")");
    return h;
  }
  h = factory->CreateInstance(nullptr, IID_IDispatch, out.out());
  if (!succeeded(h)) say(reason, "Creating '" + progId + "' failed (" + hex(h) + ")");
  return h;
}

void FreeUnusedLibraries() {
  std::lock_guard<std::mutex> lock(librariesMutex());
  for (auto it = libraries().begin(); it != libraries().end();) {
    if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
      ::dlclose(it->second.handle);
      it = libraries().erase(it);
    } else {
      ++it;
    }
  }
}

HRESULT CallByName(IDispatch& object, const std::u16string& name, std::uint16_t kind,
                   std::vector<Variant>& args, Variant* result, std::string* reason) {
  DISPID id = 0;
  HRESULT h = object.GetIDsOfNames(name, &id);
  if (!succeeded(h)) {
    say(reason, "The object has no member '" + text::toUtf8(name) + "' (" + hex(h) + ")");
    return h;
  }
  ExcepInfo excep;
  h = object.Invoke(id, kind, args, result, &excep);
  if (h == DISP_E_EXCEPTION) {
    say(reason, text::toUtf8(name) + " raised error " + std::to_string(excep.number) + ": " +
                    excep.description);
  } else if (!succeeded(h)) {
    say(reason, "Calling '" + text::toUtf8(name) + "' failed (" + hex(h) + ")");
  }
  return h;
}

}  // namespace dorvane::com
