// The registry entries of the library Dorvane.ocx: the type library, its two
// interfaces and the control class ctlMessage with its ProgID.
#pragma once

#include <string>
#include <vector>

#include "control/registry.h"

namespace dorvane::com {

struct RegistryEntry {
  std::string key;
  std::string name;  // "" for the default value
  std::string value;
};

// The control's miscellaneous status: recompose on resize, can't link
// inside, inside-out, activate when visible, set client site first.
inline constexpr unsigned kMiscStatus = 0x20191;
// The toolbox bitmap's resource number.
inline constexpr int kToolboxBitmapResource = 30000;

// Every key with its values, in the order they are written, for the library
// at libraryPath (an absolute path). An entry with an empty name and an empty
// value stands for a key that holds no value (the control flag, a category).
// platform names the type library's system key: "win32", or "win64" for the
// 64-bit library on Windows.
std::vector<RegistryEntry> registrationEntries(const std::string& libraryPath,
                                               const std::string& platform = "win32");

// Every key registration creates, deepest first (the order of removal).
std::vector<std::string> registrationKeys(const std::string& platform = "win32");

// Writes the entries into r.
void registerLibrary(Registry& r, const std::string& libraryPath);
// Removes exactly the keys registerLibrary writes.
void unregisterLibrary(Registry& r);

// The file of a bitmap resource shipped beside the library:
// "<dir>/Dorvane.<resource>.bmp".
std::string resourceBitmapPath(const std::string& libraryPath, int resource);

}  // namespace dorvane::com
