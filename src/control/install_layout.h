// Where the installed files are, found from the running program's own folder:
// an installed tree works wherever it was put (any --prefix, a package
// unpacked under another root, a tree moved after installing).
#pragma once

#include <filesystem>
#include <string_view>

namespace dorvane {

// The folder holding the running program (from /proc/self/exe), or an empty
// path when it cannot be read.
std::filesystem::path programFolder();

// relative (a path relative to the installation's program folder, such as
// "../lib/Dorvane.ocx") resolved against programFolder() and normalised; an
// empty path when the program folder is unknown. The file need not exist.
std::filesystem::path installedBesideProgram(std::string_view relative);

}  // namespace dorvane
