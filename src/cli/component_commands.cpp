// dorvane register | unregister | sample, and the version shown by --version.
#include <dorvane/component.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "control/library_locator.h"
#include "control/sample_run.h"

namespace dorvane::cli {

namespace {

std::string registrationHelp(bool add) {
  return std::string("Usage: dorvane ") + (add ? "register" : "unregister") + " [LIBRARY]\n\n" +
         (add ? "Registers" : "Unregisters") +
         " the component library Dorvane.ocx (default: the one found beside this\n"
         "program or installed) in the registry " +
         com::registryPath() +
         "\n"
         "(set DORVANE_REGISTRY to use another file).\n";
}

std::string sampleHelp() {
  return "Usage: dorvane sample\n\n"
         "The control's sample run: creates a ctlMessage by its ProgID and merges\n"
         "sampleweb.htm into sampleweb1.htm against samplekiv.sqlite, all in the\n"
         "sample folder " +
         sampleFolder() +
         "\n"
         "(DORVANE_SAMPLE_DIR chooses another). The first run puts the sample files\n"
         "there. Registers Dorvane.ocx first when it is not registered.\n";
}

int registration(const std::vector<std::string>& args, bool add) {
  const char* verb = add ? "register" : "unregister";
  if (args.size() > 1) return usage(verb, "one LIBRARY at most", registrationHelp(add).c_str());
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

int runSampleCommand(const std::vector<std::string>& args) {
  if (!args.empty()) return usage("sample", "it takes no arguments", sampleHelp().c_str());
  com::ComPtr<com::IDispatch> probe;
  if (com::CreateObject(u"Dorvane.ctlMessage", probe) == com::CO_E_CLASSSTRING) {
    if (int status = registration({}, true); status != kExitOk) return status;
  }
  probe.reset();
  ConsoleMessageBox box;
  if (!runSample(box)) return kExitFailed;
  std::printf("%s\n", (std::filesystem::path(sampleFolder()) / "sampleweb1.htm").string().c_str());
  return kExitOk;
}

Command registrationCommand(CLI::App& dorvane, bool add) {
  auto args = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = addCommand(
      dorvane, add ? "register" : "unregister", [add] { return registrationHelp(add); },
      args.get());
  return {cmd, [args, add] { return registration(*args, add); }};
}

}  // namespace

Command registerCommand(CLI::App& dorvane) { return registrationCommand(dorvane, true); }

Command unregisterCommand(CLI::App& dorvane) { return registrationCommand(dorvane, false); }

Command sampleCommand(CLI::App& dorvane) {
  auto args = std::make_shared<std::vector<std::string>>();
  CLI::App* cmd = addCommand(dorvane, "sample", sampleHelp, args.get());
  return {cmd, [args] { return runSampleCommand(*args); }};
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
