// dorvane register | unregister | sample, and --version, on Windows: the
// library's own entry points (DllRegisterServer, DllUnregisterServer,
// DllInstall for --user) and the control created by its ProgID through COM.
#include <windows.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "control/install_layout.h"
#include "platform/text/utf.h"

namespace dorvane::cli {

namespace fs = std::filesystem;

namespace {

std::wstring wide(const std::string& utf8) {
  const std::u16string w = text::fromUtf8(utf8);
  return std::wstring(w.begin(), w.end());
}

std::string utf8(const std::wstring& w) { return text::toUtf8(std::u16string(w.begin(), w.end())); }

// Dorvane.ocx beside this program.
std::string besideProgram() {
  const fs::path p = programFolder() / "Dorvane.ocx";
  std::error_code ec;
  return fs::exists(p, ec) ? utf8(p.wstring()) : std::string();
}

std::string registrationHelp(bool add) {
  return std::string("Usage: dorvane ") + (add ? "register" : "unregister") +
         " [--user] [LIBRARY]\n\n" + (add ? "Registers" : "Unregisters") +
         " the component library Dorvane.ocx (default: the one beside this\n"
         "program) in the Windows registry, as regsvr32 does; --user for the current\n"
         "user only (HKEY_CURRENT_USER\\Software\\Classes), as regsvr32 /n /i:user.\n";
}

int registration(const std::vector<std::string>& args, bool user, bool add) {
  const char* verb = add ? "register" : "unregister";
  if (args.size() > 1) return usage(verb, "one LIBRARY at most", registrationHelp(add).c_str());
  const std::string library = args.empty() ? besideProgram() : args[0];
  if (library.empty()) {
    std::fprintf(stderr, "dorvane %s: no Dorvane.ocx found; name it\n", verb);
    return kExitUsage;
  }
  HMODULE h = ::LoadLibraryExW(wide(library).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!h) {
    std::fprintf(stderr, "dorvane %s: cannot load %s (error %lu)\n", verb, library.c_str(),
                 ::GetLastError());
    return kExitFailed;
  }
  HRESULT result = E_FAIL;
  if (user) {
    using Install = HRESULT(WINAPI*)(BOOL, PCWSTR);
    if (auto entry =
            reinterpret_cast<Install>(reinterpret_cast<void*>(::GetProcAddress(h, "DllInstall"))))
      result = entry(add, L"user");
  } else {
    using Entry = HRESULT(WINAPI*)();
    if (auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(
            ::GetProcAddress(h, add ? "DllRegisterServer" : "DllUnregisterServer"))))
      result = entry();
  }
  ::FreeLibrary(h);
  if (FAILED(result)) {
    std::fprintf(stderr, "dorvane %s: %s failed (0x%08lX)\n", verb, library.c_str(),
                 static_cast<unsigned long>(result));
    return kExitFailed;
  }
  std::printf("%s %s%s\n", add ? "Registered" : "Unregistered", library.c_str(),
              user ? " for the current user" : "");
  return kExitOk;
}

Command registrationCommand(CLI::App& dorvane, bool add) {
  auto args = std::make_shared<std::vector<std::string>>();
  auto user = std::make_shared<bool>(false);
  CLI::App* cmd = addCommand(
      dorvane, add ? "register" : "unregister", [add] { return registrationHelp(add); },
      args.get());
  cmd->add_flag("--user", *user);
  return {cmd, [args, user, add] { return registration(*args, *user, add); }};
}

}  // namespace

Command registerCommand(CLI::App& dorvane) { return registrationCommand(dorvane, true); }

Command unregisterCommand(CLI::App& dorvane) { return registrationCommand(dorvane, false); }

Command sampleCommand(CLI::App& dorvane);

int versionCommand() {
  std::printf("dorvane 1.00\n");
  const std::string library = besideProgram();
  if (library.empty()) {
    std::printf("Dorvane.ocx: not found\n");
    return kExitOk;
  }
  std::printf("%s\n", library.c_str());
  const std::wstring path = wide(library);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<char> data(size);
  if (size == 0 || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return kExitOk;
  for (const wchar_t* name :
       {L"FileDescription", L"FileVersion", L"ProductVersion", L"OLESelfRegister"}) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    if (::VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
      std::printf("%s=%s\n", utf8(name).c_str(),
                  utf8(std::wstring(value, length ? length - 1 : 0)).c_str());
  }
  std::printf("Language=0x0411\n");
  return kExitOk;
}

}  // namespace dorvane::cli
