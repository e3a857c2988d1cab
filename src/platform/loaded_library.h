// A shared library loaded by its soname on first use and never unloaded:
// for a library that only some merges need, so that no other start maps it.
#pragma once

#include <dorvane/runtime_error.h>

#include <string>

namespace dorvane {

class LoadedLibrary {
 public:
  // Loads soname (dlopen); a failure is kept in failure().
  explicit LoadedLibrary(const char* soname);

  // Points fn at the library's function name; a missing one is a failure.
  template <typename F>
  void bind(F*& fn, const char* name) {
    fn = reinterpret_cast<F*>(find(name));
  }

  // Empty when the library and every bound name were found, else the first
  // reason (the loader's message, or the missing name).
  const std::string& failure() const { return failure_; }

  // The table of calls of the library soname, made once by bindAll(library,
  // table) (thread-safe) and kept. Raises errorNumber with failed and the
  // reason when the library or one of its calls is missing.
  template <typename Table, typename BindAll>
  static const Table& table(const char* soname, BindAll bindAll, int errorNumber,
                            const char* failed) {
    static std::string why;
    static const Table calls = [&] {
      LoadedLibrary library(soname);
      Table t;
      bindAll(library, t);
      why = library.failure();
      return t;
    }();
    if (!why.empty()) throw RuntimeError(errorNumber, failed + why);
    return calls;
  }

 private:
  void* find(const char* name);

  const char* soname_;
  void* handle_ = nullptr;
  std::string failure_;
};

}  // namespace dorvane
