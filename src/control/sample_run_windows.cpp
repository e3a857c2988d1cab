// The sample run on Windows: the fixed sample folder that the installer
// fills, and a ctlMessage created through COM by its ProgID, called late
// bound (IDispatch by name), as a host's CreateObject would.
#include <ole2.h>
#include <windows.h>
#undef MessageBox

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "control/sample_run.h"
#include "platform/text/utf.h"

namespace dorvane {

namespace fs = std::filesystem;

namespace {

// Public Documents: on drive C, the same path in every language of Windows,
// and every user of the machine may write there. 32-bit and 64-bit hosts
// share it.
constexpr wchar_t kFolder[] = L"C:\\Users\\Public\\Documents\\Dorvane\\Sample";
constexpr const wchar_t* kFiles[] = {L"sampleweb.htm", L"sampleweb1.htm", L"samplekiv.sqlite"};

std::string utf8(const std::wstring& w) { return text::toUtf8(std::u16string(w.begin(), w.end())); }

// "what: the system's text for h (0x…)".
std::string failure(const std::string& what, HRESULT h) {
  wchar_t* text = nullptr;
  ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(h), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = text ? text : L"";
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r'))
    message.pop_back();
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(h));
  return what + ": " + (message.empty() ? "" : utf8(message) + " ") + "(" + code + ")";
}

// Creates the control by ProgID and calls ocxwebKiv(page, result, database,
// "") by name. An empty text when the call was made, else the reason.
std::string callSample(const std::wstring& folder) {
  CLSID clsid;
  HRESULT h = ::CLSIDFromProgID(L"Dorvane.ctlMessage", &clsid);
  if (FAILED(h)) return failure("Dorvane.ctlMessage is not registered", h);
  IDispatch* control = nullptr;
  h = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&control));
  if (FAILED(h)) return failure("Cannot create Dorvane.ctlMessage", h);
  LPOLESTR name = const_cast<LPOLESTR>(L"ocxwebKiv");
  DISPID id = DISPID_UNKNOWN;
  h = control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  std::string reason;
  if (FAILED(h)) {
    reason = failure("ocxwebKiv is not a member of Dorvane.ctlMessage", h);
  } else {
    // The arguments go last first: kivdb2loc "", kivdbloc, saveFile, readFile.
    VARIANT args[4];
    const std::wstring texts[4] = {L"", folder + L"\\" + kFiles[2], folder + L"\\" + kFiles[1],
                                   folder + L"\\" + kFiles[0]};
    for (int i = 0; i < 4; ++i) {
      ::VariantInit(&args[i]);
      V_VT(&args[i]) = VT_BSTR;
      V_BSTR(&args[i]) = ::SysAllocString(texts[i].c_str());
    }
    DISPPARAMS params{args, nullptr, 4, 0};
    VARIANT result;  // kept, never read
    ::VariantInit(&result);
    EXCEPINFO excep{};
    h = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                        &excep, nullptr);
    if (FAILED(h)) {
      reason = failure("ocxwebKiv failed", h == DISP_E_EXCEPTION ? excep.scode : h);
      if (excep.bstrDescription)
        reason +=
            ": " + utf8(std::wstring(excep.bstrDescription, ::SysStringLen(excep.bstrDescription)));
    }
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrHelpFile);
    ::VariantClear(&result);
    for (VARIANT& a : args) ::VariantClear(&a);
  }
  control->Release();
  return reason;
}

}  // namespace

std::string sampleFolder() { return utf8(kFolder); }

bool prepareSampleFolder(std::string* reason) {
  // The installer puts the sample there; the run only checks.
  std::error_code ec;
  if (!fs::is_directory(fs::path(kFolder), ec)) {
    if (reason)
      *reason = "The sample folder " + utf8(kFolder) +
                " does not exist: the Dorvane installer puts the sample there";
    return false;
  }
  for (const wchar_t* file : {kFiles[0], kFiles[2]}) {
    if (!fs::is_regular_file(fs::path(kFolder) / file, ec)) {
      if (reason) *reason = "The sample file " + utf8(file) + " is missing in " + utf8(kFolder);
      return false;
    }
  }
  return true;
}

bool runSample(MessageBox& box) {
  std::string reason;
  if (prepareSampleFolder(&reason)) {
    // On the caller's thread; a thread without COM gets an apartment for the run.
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    reason = callSample(kFolder);
    if (SUCCEEDED(init)) ::CoUninitialize();
  }
  if (reason.empty()) return true;
  box.show(text::fromUtf8(reason), reason);
  return false;
}

}  // namespace dorvane
