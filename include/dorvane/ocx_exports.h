// The entry points of the Dorvane.ocx library, with C linkage.
#pragma once

#include <dorvane/component.h>
#include <dorvane/message_box.h>

extern "C" {

// Writes the registry entries of the type library and of the class ctlMessage.
dorvane::com::HRESULT DllRegisterServer(void);
// Removes exactly the entries DllRegisterServer writes.
dorvane::com::HRESULT DllUnregisterServer(void);
// The class factory of ctlMessage (clsid) as interface iid.
dorvane::com::HRESULT DllGetClassObject(const dorvane::com::Guid* clsid,
                                        const dorvane::com::Guid* iid, void** out);
// S_OK when no object of the library is alive and no lock is held, else S_FALSE.
dorvane::com::HRESULT DllCanUnloadNow(void);
// Makes box the message box of the controls this library creates from now
// on (a GUI host passes its dialog box); null restores the console box.
void DorvaneSetDefaultMessageBox(dorvane::MessageBox* box);
// The library's version data as "Name=value" lines (FileVersion, ProductVersion,
// OLESelfRegister, Language, ...). Static storage.
const char* DorvaneVersionInfo(void);
}
