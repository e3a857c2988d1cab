#include "control/library_locator.h"

#include <dlfcn.h>
#include <dorvane/component.h>
#include <dorvane/ocx_exports.h>

#include <filesystem>

#include "control/install_layout.h"
#include "control/registry.h"
#include "control/type_library.h"

namespace dorvane::com {

namespace fs = std::filesystem;

namespace {

// dlopen with the reason of a failure.
void* open(const std::string& path, std::string* reason) {
  std::error_code ec;
  std::string full = fs::absolute(path, ec).string();
  void* h = ::dlopen(full.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h && reason) {
    const char* e = ::dlerror();
    *reason = "Cannot load '" + path + "': " + (e ? e : "unknown error");
  }
  return h;
}

}  // namespace

std::string locateLibrary() {
  try {
    Registry r = Registry::load(registryPath());
    auto p = r.value("HKEY_CLASSES_ROOT\\CLSID\\" + typelib::kClsidCtlMessage.toString() +
                     "\\InprocServer32");
    std::error_code ec;
    if (p && fs::exists(*p, ec)) return *p;
  } catch (const std::exception&) {
    // An unreadable registry: look elsewhere.
  }
  std::error_code ec;
  for (std::string candidate : {
           installedBesideProgram("Dorvane.ocx").string(),
#ifdef DORVANE_BIN_TO_LIBDIR
           installedBesideProgram(DORVANE_BIN_TO_LIBDIR "/Dorvane.ocx").string(),
#endif
#ifdef DORVANE_BUILD_LIBRARY
           std::string(DORVANE_BUILD_LIBRARY),
#endif
#ifdef DORVANE_INSTALLED_LIBRARY
           std::string(DORVANE_INSTALLED_LIBRARY),
#endif
       }) {
    if (!candidate.empty() && fs::exists(candidate, ec)) return candidate;
  }
  return {};
}

int callLibraryEntry(const std::string& path, const char* name, std::string* reason) {
  void* h = open(path, reason);
  if (!h) return E_FAIL;
  using Entry = HRESULT (*)();
  auto entry = reinterpret_cast<Entry>(::dlsym(h, name));
  if (!entry) {
    if (reason) *reason = "'" + path + "' has no entry point " + name;
    ::dlclose(h);
    return E_FAIL;
  }
  HRESULT result = entry();
  ::dlclose(h);
  return result;
}

std::string libraryVersionInfo(const std::string& path, std::string* reason) {
  void* h = open(path, reason);
  if (!h) return {};
  auto info = reinterpret_cast<decltype(&DorvaneVersionInfo)>(::dlsym(h, "DorvaneVersionInfo"));
  std::string text = info ? info() : "";
  if (!info && reason) *reason = "'" + path + "' carries no version data";
  ::dlclose(h);
  return text;
}

}  // namespace dorvane::com
