// Finding the Calc backend: the module dorvane-calc.so, loaded once, on the
// first merge that needs Calc.
#include "platform/sheet/calc/calc_backend.h"

#include <dlfcn.h>
#include <dorvane/runtime_error.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/file/result_file.h"

namespace dorvane::sheet::calc {

namespace fs = std::filesystem;

namespace {

std::atomic<Backend*> current{nullptr};

#ifdef DORVANE_HAVE_UNO
constexpr char kModule[] = "dorvane-calc.so";

// Where the module may stand: beside the file holding this code (the
// program, Dorvane.ocx, dorvane-serve.so) and beside the program, each
// as a build tree has it (all in one folder) and as an installed tree has it
// (LIBDIR/dorvane, seen from LIBDIR or from BINDIR).
std::vector<fs::path> candidates() {
  std::vector<fs::path> folders;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&backend), &info) && info.dli_fname &&
      fs::path(info.dli_fname).is_absolute()) {
    folders.push_back(fs::path(info.dli_fname).parent_path());
  }
  std::error_code ec;
  if (auto program = fs::read_symlink("/proc/self/exe", ec); !ec) {
    folders.push_back(program.parent_path());
  }
  std::vector<fs::path> paths;
  for (const auto& f : folders) {
    for (const fs::path& p :
         {f / kModule, f / "dorvane" / kModule,
          (f / DORVANE_BIN_TO_LIBDIR / "dorvane" / kModule).lexically_normal()}) {
      if (std::find(paths.begin(), paths.end(), p) == paths.end()) paths.push_back(p);
    }
  }
  return paths;
}

// Loads the module and asks it for its backend; the module stays loaded.
Backend* load() {
  std::string why;
  for (const auto& path : candidates()) {
    std::error_code ec;
    if (!fs::exists(path, ec)) continue;
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* e = ::dlerror();
      why += std::string(why.empty() ? "" : "; ") + (e ? e : path.string());
      continue;
    }
    using Entry = Backend* (*)();
    if (auto entry = reinterpret_cast<Entry>(::dlsym(h, "dorvane_calc_backend"))) {
      if (Backend* b = entry()) return b;
    }
    why += std::string(why.empty() ? "" : "; ") + path.string() + " has no backend";
  }
  throw RuntimeError(err::kCannotCreateObject,
                     "The LibreOffice Calc support of Dorvane cannot be loaded: " +
                         (why.empty() ? std::string(kModule) + " was not found" : why));
}
#endif

}  // namespace

Backend& backend() {
  if (Backend* b = current.load(std::memory_order_acquire)) return *b;
#ifdef DORVANE_HAVE_UNO
  static std::mutex loading;
  std::lock_guard<std::mutex> lock(loading);
  if (!current.load()) current.store(load(), std::memory_order_release);
  return *current.load();
#else
  throw RuntimeError(err::kCannotCreateObject,
                     "This build of Dorvane has no LibreOffice Calc support (install "
                     "libreoffice-calc and libreoffice-dev and rebuild)");
#endif
}

void useBackend(Backend& b) { current.store(&b, std::memory_order_release); }

void killPrivateCalcsFromSignal() {
  if (Backend* b = current.load()) b->killAllFromSignal();
}

const char* exportFilterFor(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
  if (ext == ".xlsx") return "Calc MS Excel 2007 XML";
  if (ext == ".ods") return "calc8";
  if (ext == ".xls") return "MS Excel 97";
  return nullptr;
}

void saveAs(PrivateCalc& calc, const std::string& path) {
  // By the result file rules: an existing workbook is replaced whole or left
  // as it was, a link is kept, a read-only workbook refused.
  file::copyToResultFile(calc.store(path), path, "workbook");
}

}  // namespace dorvane::sheet::calc
