// Test support: a private registry and sample folder for component tests,
// with the library registered in it for the life of the object.
#pragma once

#include <dlfcn.h>
#include <dorvane/ocx_exports.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "support/temp_db.h"

namespace dorvane::testing {

class ComponentEnvironment {
 public:
  ComponentEnvironment() {
    setenv("DORVANE_REGISTRY", dir_.file("registry").c_str(), 1);
    setenv("DORVANE_SAMPLE_DIR", dir_.file("sample").c_str(), 1);
    setenv("DORVANE_SAMPLE_SOURCE", DORVANE_SOURCE_DIR "/samples", 1);
    library_ = dlopen(DORVANE_OCX, RTLD_NOW | RTLD_LOCAL);
    if (!library_) throw std::runtime_error(dlerror());
  }
  ~ComponentEnvironment() {
    dlclose(library_);
    unsetenv("DORVANE_REGISTRY");
    unsetenv("DORVANE_SAMPLE_DIR");
    unsetenv("DORVANE_SAMPLE_SOURCE");
  }
  template <class F>
  F entry(const char* name) const {
    return reinterpret_cast<F>(dlsym(library_, name));
  }
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  void* library_ = nullptr;
};

}  // namespace dorvane::testing
