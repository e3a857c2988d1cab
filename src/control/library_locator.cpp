#include "control/library_locator.h"

#include <dlfcn.h>
#include <dorvane/component.h>
#include <dorvane/ocx_exports.h>
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "control/install_layout.h"
#include "control/registry.h"
#include "control/type_library.h"

namespace dorvane::com {

namespace fs = std::filesystem;

namespace {

// dlopen with the reason of a failure. RTLD_NOW binds every symbol at once,
// for entry points that run the library; RTLD_LAZY binds only what is called.
void* open(const std::string& path, std::string* reason, int binding = RTLD_NOW) {
  std::error_code ec;
  std::string full = fs::absolute(path, ec).string();
  void* h = ::dlopen(full.c_str(), binding | RTLD_LOCAL);
  if (!h && reason) {
    const char* e = ::dlerror();
    *reason = "Cannot load '" + path + "': " + (e ? e : "unknown error");
  }
  return h;
}

// One section of a 64-bit ELF file as read from the file: readable is false
// when the file is no whole ELF file (too short, another format, an offset
// or size beyond its end); text holds the section's bytes up to its first
// NUL, when there is such a section.
struct SectionRead {
  bool readable = false;
  std::optional<std::string> text;
};

SectionRead elfSection(const std::string& path, std::string_view name) {
  struct File {
    int fd;
    ~File() {
      if (fd >= 0) ::close(fd);
    }
  } file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st {};
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return {};
  const auto fileSize = static_cast<std::uint64_t>(st.st_size);
  auto read = [&](std::uint64_t offset, void* to, std::uint64_t size) {
    if (offset > fileSize || size > fileSize - offset) return false;
    return ::pread(file.fd, to, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
  };
  Elf64_Ehdr header{};
  if (!read(0, &header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 ||
      header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_shentsize != sizeof(Elf64_Shdr) ||
      header.e_shstrndx >= header.e_shnum) {
    return {};
  }
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!read(header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) return {};
  const Elf64_Shdr& names = sections[header.e_shstrndx];
  std::string nameTable(names.sh_size, '\0');
  if (!read(names.sh_offset, nameTable.data(), nameTable.size())) return {};
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_type == SHT_NOBITS || s.sh_name >= nameTable.size()) continue;
    if (std::string_view(nameTable.c_str() + s.sh_name) != name) continue;
    std::string bytes(s.sh_size, '\0');
    if (!read(s.sh_offset, bytes.data(), bytes.size())) return {};
    bytes.resize(std::strlen(bytes.c_str()));
    return {true, std::move(bytes)};
  }
  return {true, std::nullopt};
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
  // Read as data, as Windows reads a version resource: nothing of the library
  // runs, and a damaged file is never loaded.
  SectionRead section = elfSection(path, ".dorvane_version");
  if (section.text) return *section.text;
  if (!section.readable) {
    if (reason) *reason = "'" + path + "' is not a whole library";
    return {};
  }
  // A library without the section: its entry point says.
  void* h = open(path, reason, RTLD_LAZY);
  if (!h) return {};
  auto info = reinterpret_cast<decltype(&DorvaneVersionInfo)>(::dlsym(h, "DorvaneVersionInfo"));
  std::string text = info ? info() : "";
  if (!info && reason) *reason = "'" + path + "' carries no version data";
  ::dlclose(h);
  return text;
}

}  // namespace dorvane::com
