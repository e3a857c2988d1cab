#include <windows.h>

#include "platform/loaded_library.h"

namespace dorvane {

LoadedLibrary::LoadedLibrary(const char* soname) : soname_(soname) {
  handle_ = reinterpret_cast<void*>(::LoadLibraryA(soname));
  if (!handle_) failure_ = std::string(soname) + " cannot be loaded";
}

void* LoadedLibrary::find(const char* name) {
  if (!handle_) return nullptr;
  void* f = reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
  if (!f && failure_.empty()) failure_ = std::string(soname_) + " has no " + name;
  return f;
}

}  // namespace dorvane
