#include "control/registration.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "control/type_library.h"

namespace dorvane::com {

namespace {
constexpr char kRoot[] = "HKEY_CLASSES_ROOT\\";
// The automation marshaller serves every dual and dispatch interface.
constexpr char kOleAutomationProxy[] = "{00020424-0000-0000-C000-000000000046}";

std::string clsidKey() {
  return std::string(kRoot) + "CLSID\\" + typelib::kClsidCtlMessage.toString();
}
std::string typeLibKey() { return std::string(kRoot) + "TypeLib\\" + typelib::kLibId.toString(); }
std::string versionText() {
  return std::to_string(typelib::kMajorVersion) + "." + std::to_string(typelib::kMinorVersion);
}
// A type library's version where the registry names it: hexadecimal, as
// LoadRegTypeLib and the hosts' reference lists read it (26.0 is "1a.0").
std::string hexVersionText() {
  char text[16];
  std::snprintf(text, sizeof text, "%x.%x", unsigned{typelib::kMajorVersion},
                unsigned{typelib::kMinorVersion});
  return text;
}
std::string interfaceKey(const Guid& g) {
  return std::string(kRoot) + "Interface\\" + g.toString();
}
}  // namespace

std::vector<RegistryEntry> registrationEntries(const std::string& libraryPath,
                                               const std::string& platform) {
  const std::string clsid = clsidKey();
  const std::string lib = typeLibKey() + "\\" + hexVersionText();
  const std::string progId = std::string(kRoot) + typelib::kProgId;
  const std::string libId = typelib::kLibId.toString();
  std::vector<RegistryEntry> e = {
      // The type library.
      {lib, "", "Dorvane"},
      {lib + "\\0\\" + platform, "", libraryPath},
      {lib + "\\FLAGS", "", "2"},  // the library holds a control
      {lib + "\\HELPDIR", "", std::filesystem::path(libraryPath).parent_path().string()},
  };
  for (const auto& [name, guid] : {std::pair{"_ctlMessage", typelib::kIidCtlMessage},
                                   std::pair{"__ctlMessage", typelib::kDiidCtlMessageEvents}}) {
    const std::string k = interfaceKey(guid);
    e.push_back({k, "", name});
    e.push_back({k + "\\ProxyStubClsid", "", kOleAutomationProxy});
    e.push_back({k + "\\ProxyStubClsid32", "", kOleAutomationProxy});
    e.push_back({k + "\\TypeLib", "", libId});
    e.push_back({k + "\\TypeLib", "Version", hexVersionText()});
  }
  const std::vector<RegistryEntry> cls = {
      // The class.
      {clsid, "", "ctlMessage"},
      {clsid + "\\InprocServer32", "", libraryPath},
      {clsid + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {clsid + "\\ProgID", "", typelib::kProgId},
      {clsid + "\\VersionIndependentProgID", "", typelib::kProgId},
      {clsid + "\\Control", "", ""},
      {clsid + "\\MiscStatus", "", "0"},
      {clsid + "\\MiscStatus\\1", "", std::to_string(kMiscStatus)},
      {clsid + "\\ToolboxBitmap32", "",
       libraryPath + ", " + std::to_string(kToolboxBitmapResource)},
      {clsid + "\\TypeLib", "", libId},
      {clsid + "\\Version", "", versionText()},
      // The ProgID, both ways.
      {progId, "", "ctlMessage"},
      {progId + "\\CLSID", "", typelib::kClsidCtlMessage.toString()},
  };
  e.insert(e.end(), cls.begin(), cls.end());
  return e;
}

std::vector<std::string> registrationKeys(const std::string& platform) {
  std::vector<std::string> keys;
  for (const auto& entry : registrationEntries("", platform)) {
    if (std::find(keys.begin(), keys.end(), entry.key) == keys.end()) keys.push_back(entry.key);
  }
  // Parents the entries name: removed too, as nothing else lives under them.
  keys.push_back(typeLibKey());
  std::sort(keys.begin(), keys.end(), [](const std::string& a, const std::string& b) {
    return a.size() > b.size();  // deeper keys first
  });
  return keys;
}

void registerLibrary(Registry& r, const std::string& libraryPath) {
  for (const auto& entry : registrationEntries(libraryPath)) {
    if (entry.name.empty() && entry.value.empty()) {
      r.addKey(entry.key);
    } else {
      r.setValue(entry.key, entry.name, entry.value);
    }
  }
}

void unregisterLibrary(Registry& r) {
  for (const auto& key : registrationKeys()) r.removeKey(key);
}

std::string resourceBitmapPath(const std::string& libraryPath, int resource) {
  return (std::filesystem::path(libraryPath).parent_path() /
          ("Dorvane." + std::to_string(resource) + ".bmp"))
      .string();
}

}  // namespace dorvane::com
