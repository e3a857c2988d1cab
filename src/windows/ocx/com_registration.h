// Writing and removing the registry entries of Dorvane.ocx (control/
// registration.h) in the system registry: for the machine under
// HKEY_CLASSES_ROOT, or for the current user under HKCU\Software\Classes.
#pragma once

#include <windows.h>

namespace dorvane::windows {

enum class RegistrationScope { Machine, User };

// Writes every entry for the library at its own path. SELFREG_E_CLASS when
// a key or value cannot be written (what was written is removed again).
HRESULT registerServer(RegistrationScope scope);
// Removes exactly the keys registerServer writes; S_OK when none were there.
HRESULT unregisterServer(RegistrationScope scope);

}  // namespace dorvane::windows
