// dorvane register | unregister | sample, and the version shown by --version.
#include <dorvane/component.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"
#include "control/library_locator.h"
#include "control/sample_run.h"

namespace dorvane::cli {

namespace {

int registration(const Args& args, bool add) {
  const char* verb = add ? "register" : "unregister";
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::printf(
        "Usage: dorvane %s [LIBRARY]\n\n"
        "%s the component library Dorvane.ocx (default: the one found beside this\n"
        "program or installed) in the registry %s\n"
        "(set DORVANE_REGISTRY to use another file).\n",
        verb, add ? "Registers" : "Unregisters", com::registryPath().c_str());
    return kExitOk;
  }
  if (args.size() > 1) {
    std::fprintf(stderr, "dorvane %s: one LIBRARY at most\n", verb);
    return kExitUsage;
  }
  std::string library = args.empty() ? com::locateLibrary() : args[0];
  if (library.empty()) {
    std::fprintf(stderr, "dorvane %s: no Dorvane.ocx found; name it\n", verb);
    return kExitUsage;
  }
  std::string reason;
  int h =
      com::callLibraryEntry(library, add ? "DllRegisterServer" : "DllUnregisterServer", &reason);
  if (!com::succeeded(h)) {
    std::fprintf(stderr, "dorvane %s: %s failed (0x%08X)%s%s\n", verb, library.c_str(),
                 static_cast<unsigned>(h), reason.empty() ? "" : ": ", reason.c_str());
    return kExitFailed;
  }
  std::printf("%s %s in %s\n", add ? "Registered" : "Unregistered", library.c_str(),
              com::registryPath().c_str());
  return kExitOk;
}

}  // namespace

int registerCommand(const Args& args) { return registration(args, true); }

int unregisterCommand(const Args& args) { return registration(args, false); }

int sampleCommand(const Args& args) {
  if (!args.empty()) {
    std::printf(
        "Usage: dorvane sample\n\n"
        "The control's sample run: creates a ctlMessage by its ProgID and merges\n"
        "sampleweb.htm into sampleweb1.htm against samplekiv.sqlite, all in the\n"
        "sample folder %s\n"
        "(DORVANE_SAMPLE_DIR chooses another). The first run puts the sample files\n"
        "there. Registers Dorvane.ocx first when it is not registered.\n",
        sampleFolder().c_str());
    return args[0] == "--help" || args[0] == "-h" ? kExitOk : kExitUsage;
  }
  com::ComPtr<com::IDispatch> probe;
  if (com::CreateObject(u"Dorvane.ctlMessage", probe) == com::CO_E_CLASSSTRING) {
    if (int status = registerCommand({}); status != kExitOk) return status;
  }
  probe.reset();
  ConsoleMessageBox box;
  if (!runSample(box)) return kExitFailed;
  std::printf("%s\n", (std::filesystem::path(sampleFolder()) / "sampleweb1.htm").string().c_str());
  return kExitOk;
}

int versionCommand() {
  std::printf("dorvane 1.00\n");
  std::string library = com::locateLibrary();
  if (library.empty()) {
    std::printf("Dorvane.ocx: not found\n");
    return kExitOk;
  }
  std::string reason;
  std::string info = com::libraryVersionInfo(library, &reason);
  std::printf("%s\n%s", library.c_str(), info.empty() ? (reason + "\n").c_str() : info.c_str());
  return kExitOk;
}

}  // namespace dorvane::cli
