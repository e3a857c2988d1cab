#include "ocx/ocx_module.h"

#include <atomic>

#include "dorvane_com.h"

namespace dorvane::windows {

namespace {
HMODULE gModule = nullptr;
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};
}  // namespace

HMODULE module() { return gModule; }
void setModule(HMODULE m) { gModule = m; }

std::wstring modulePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(gModule, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.resize(buf.size() * 2);
  }
}

void objectCreated() { ++gObjects; }
void objectDestroyed() { --gObjects; }
void lockServer(bool lock) {
  if (lock) {
    ++gLocks;
  } else {
    --gLocks;
  }
}
bool canUnload() { return gObjects == 0 && gLocks == 0; }

ITypeInfo* typeInfoOf(REFGUID guid) {
  ITypeLib* library = nullptr;
  if (FAILED(::LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, &library))) return nullptr;
  ITypeInfo* info = nullptr;
  library->GetTypeInfoOfGuid(guid, &info);
  library->Release();
  return info;
}

ITypeInfo* ctlMessageTypeInfo() { return typeInfoOf(IID__ctlMessage); }

}  // namespace dorvane::windows
