#include "platform/loaded_library.h"

#include <dlfcn.h>

namespace dorvane {

LoadedLibrary::LoadedLibrary(const char* soname) : soname_(soname) {
  handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = ::dlerror();
    failure_ = e ? e : std::string(soname) + " cannot be loaded";
  }
}

void* LoadedLibrary::find(const char* name) {
  if (!handle_) return nullptr;
  void* f = ::dlsym(handle_, name);
  if (!f && failure_.empty()) failure_ = std::string(soname_) + " has no " + name;
  return f;
}

}  // namespace dorvane
