#include "ocx/com_registration.h"

#include <olectl.h>

#include <algorithm>
#include <string>

#include "control/registration.h"
#include "ocx/ocx_module.h"
#include "platform/text/utf.h"

namespace dorvane::windows {

namespace {

constexpr char kClassesRoot[] = "HKEY_CLASSES_ROOT\\";
// The type library's system key, and the registry view of this library's
// bitness: on 64-bit Windows a 32-bit library registers in the 32-bit view
// (WOW6432Node), where 32-bit hosts look, and each bitness may be
// registered beside the other.
constexpr bool k64 = sizeof(void*) == 8;
constexpr const char* kPlatform = k64 ? "win64" : "win32";
constexpr REGSAM kView = k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = k64 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::wstring wide(const std::string& utf8) {
  const std::u16string w = text::fromUtf8(utf8);
  return std::wstring(w.begin(), w.end());
}

// The registry key and subkey path for a key written "HKEY_CLASSES_ROOT\...".
HKEY rootOf(RegistrationScope scope) {
  return scope == RegistrationScope::Machine ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}
std::wstring subkeyOf(RegistrationScope scope, const std::string& key) {
  std::string rest = key.rfind(kClassesRoot, 0) == 0 ? key.substr(sizeof kClassesRoot - 1) : key;
  if (scope == RegistrationScope::User) rest = "Software\\Classes\\" + rest;
  return wide(rest);
}

// Keys the two views share: all but the classes and interfaces, which each
// view has its own of (the ProgID and the type library are one for both).
bool sharedKey(const std::string& key) {
  return key.rfind("HKEY_CLASSES_ROOT\\CLSID\\", 0) != 0 &&
         key.rfind("HKEY_CLASSES_ROOT\\Interface\\", 0) != 0;
}

// True when the library of the other bitness is registered in scope: the
// other view's class names another file (where a registry has one view for
// both, as for the user's classes under Wine, it names this one).
bool otherBitnessRegistered(RegistrationScope scope) {
  const auto entries = com::registrationEntries("", kPlatform);
  const auto server = std::find_if(entries.begin(), entries.end(), [](const auto& e) {
    return e.key.size() > 15 && e.key.compare(e.key.size() - 15, 15, "\\InprocServer32") == 0;
  });
  if (server == entries.end()) return false;
  HKEY k = nullptr;
  if (::RegOpenKeyExW(rootOf(scope), subkeyOf(scope, server->key).c_str(), 0,
                      KEY_QUERY_VALUE | kOtherView, &k) != ERROR_SUCCESS)
    return false;
  std::wstring path(MAX_PATH * 4, L'\0');
  DWORD bytes = static_cast<DWORD>(path.size() * sizeof(wchar_t));
  const LONG status = ::RegQueryValueExW(k, nullptr, nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(path.data()), &bytes);
  ::RegCloseKey(k);
  if (status != ERROR_SUCCESS) return true;  // a class of the other view all the same
  path.resize(::wcsnlen(path.c_str(), bytes / sizeof(wchar_t)));
  return ::lstrcmpiW(path.c_str(), modulePath().c_str()) != 0;
}

}  // namespace

HRESULT registerServer(RegistrationScope scope) {
  const std::wstring module = modulePath();
  const std::string path = text::toUtf8(std::u16string(module.begin(), module.end()));
  if (path.empty()) return SELFREG_E_CLASS;
  // The entries as the control's registration data lists them.
  for (const auto& key : com::registrationEntries(path, kPlatform)) {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(rootOf(scope), subkeyOf(scope, key.key).c_str(), 0, nullptr, 0,
                          KEY_WRITE | kView, nullptr, &k, nullptr) != ERROR_SUCCESS) {
      unregisterServer(scope);
      return SELFREG_E_CLASS;
    }
    LONG status = ERROR_SUCCESS;
    if (!key.name.empty() || !key.value.empty()) {
      const std::wstring name = wide(key.name), value = wide(key.value);
      status = ::RegSetValueExW(k, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    ::RegCloseKey(k);
    if (status != ERROR_SUCCESS) {
      unregisterServer(scope);
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

HRESULT unregisterServer(RegistrationScope scope) {
  HRESULT result = S_OK;
  // While the other bitness stays registered, the keys both views share stay
  // too, but for this bitness's own entry of the type library.
  const bool keepShared = otherBitnessRegistered(scope);
  const std::string ownLibraryEntry = std::string("\\0\\") + kPlatform;
  // Deepest first: each key is empty of subkeys when its turn comes. The
  // keys between an entry and its folder (the type library's locale key "0")
  // were made by registration too: they go once they are empty, up to the
  // key of the class, type library or interface itself.
  for (const auto& key : com::registrationKeys(kPlatform)) {
    if (keepShared && sharedKey(key) &&
        (key.size() < ownLibraryEntry.size() ||
         key.compare(key.size() - ownLibraryEntry.size(), std::string::npos, ownLibraryEntry) != 0))
      continue;
    std::string k = key;
    for (bool first = true;; first = false) {
      const std::wstring sub = subkeyOf(scope, k);
      LONG status = ::RegDeleteKeyExW(rootOf(scope), sub.c_str(), kView, 0);
      if (first && status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND &&
          status != ERROR_ACCESS_DENIED)
        result = SELFREG_E_CLASS;
      const size_t cut = k.rfind('\\');
      if (cut == std::string::npos) break;
      k = k.substr(0, cut);
      // Stop at the folders every class, library and interface shares.
      if (std::count(k.begin(), k.end(), '\\') < 2) break;
    }
  }
  return result;
}

}  // namespace dorvane::windows
