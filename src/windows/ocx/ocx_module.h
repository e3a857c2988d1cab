// The library Dorvane.ocx as a module of the process that loaded it: its
// handle and path, the counts of live objects and server locks behind
// DllCanUnloadNow, and its own type library.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string>

namespace dorvane::windows {

// The library's module handle (set by DllMain).
HMODULE module();
void setModule(HMODULE m);
// The library's full path.
std::wstring modulePath();

// Objects of the library alive (the control objects, the class factory and
// the wrappers of held objects) and server locks (IClassFactory::LockServer).
void objectCreated();
void objectDestroyed();
void lockServer(bool lock);
// True when neither objects nor locks remain.
bool canUnload();

// The type information of guid (_ctlMessage, the class ctlMessage) from the
// library's type library resource, with a reference for the caller, or null
// when it cannot be read.
ITypeInfo* typeInfoOf(REFGUID guid);
ITypeInfo* ctlMessageTypeInfo();

}  // namespace dorvane::windows
