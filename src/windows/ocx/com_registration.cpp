#include "ocx/com_registration.h"

#include <olectl.h>

#include <string>

#include "control/registration.h"
#include "ocx/ocx_module.h"
#include "platform/text/utf.h"

namespace dorvane::windows {

namespace {

constexpr char kClassesRoot[] = "HKEY_CLASSES_ROOT\\";
// The type library's system key: this library is 64-bit.
constexpr const char* kPlatform = sizeof(void*) == 8 ? "win64" : "win32";

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

}  // namespace

HRESULT registerServer(RegistrationScope scope) {
  const std::wstring module = modulePath();
  const std::string path = text::toUtf8(std::u16string(module.begin(), module.end()));
  if (path.empty()) return SELFREG_E_CLASS;
  // The entries as the control's registration data lists them.
  for (const auto& key : com::registrationEntries(path, kPlatform)) {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(rootOf(scope), subkeyOf(scope, key.key).c_str(), 0, nullptr, 0, KEY_WRITE,
                          nullptr, &k, nullptr) != ERROR_SUCCESS) {
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
  // Deepest first: each key is empty of subkeys when its turn comes.
  for (const auto& key : com::registrationKeys(kPlatform)) {
    const LONG status = ::RegDeleteKeyW(rootOf(scope), subkeyOf(scope, key).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = SELFREG_E_CLASS;
  }
  return result;
}

}  // namespace dorvane::windows
