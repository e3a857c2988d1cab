#include <dorvane/runtime_error.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sheet/automation/automation_dispatch.h"
#include "platform/text/utf.h"

namespace dorvane::sheet::automation {

namespace {

// The dispatch ids kept for one kind, by member name (and "member.argument"
// for named arguments).
struct KeptIds {
  std::mutex mutex;
  std::map<std::wstring, DISPID> ids;
};

KeptIds& keptIds(Kind kind) {
  static KeptIds kept[6];
  return kept[static_cast<int>(kind)];
}

std::string utf8(const wchar_t* s) {
  return text::toUtf8(std::u16string(reinterpret_cast<const char16_t*>(s)));
}

std::string hex(HRESULT h) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(h));
  return buf;
}

// Looks names up on d: the member, then its named arguments.
HRESULT lookUp(IDispatch* d, std::vector<LPOLESTR>& names, std::vector<DISPID>& ids) {
  ids.assign(names.size(), DISPID_UNKNOWN);
  return d->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                          LOCALE_USER_DEFAULT, ids.data());
}

}  // namespace

const char* kindName(Kind kind) {
  static const char* const names[] = {"Application", "Workbook", "Worksheet", "Range", "Comment"};
  return names[static_cast<int>(kind)];
}

void raiseFor(HRESULT h, const EXCEPINFO* info, Kind kind, const wchar_t* member) {
  const std::string what = std::string(kindName(kind)) + "." + utf8(member);
  if (h == DISP_E_EXCEPTION && info) {
    EXCEPINFO e = *info;
    if (e.pfnDeferredFillIn) e.pfnDeferredFillIn(&e);
    std::string description = e.bstrDescription ? utf8(e.bstrDescription) : std::string();
    int number = err::kSheetOperationFailed;
    if (HRESULT_FACILITY(e.scode) == FACILITY_CONTROL) {
      number = HRESULT_CODE(e.scode);
    } else if (e.wCode != 0) {
      number = e.wCode;
    }
    ::SysFreeString(e.bstrDescription);
    ::SysFreeString(e.bstrSource);
    ::SysFreeString(e.bstrHelpFile);
    if (description.empty()) description = "the spreadsheet application refused the call";
    throw RuntimeError(number, what + ": " + description);
  }
  switch (h) {
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
      throw RuntimeError(err::kNoSuchMember,
                         "Object doesn't support this property or method: " + what);
    case DISP_E_TYPEMISMATCH:
      throw RuntimeError(err::kTypeMismatch, "Type mismatch: an argument of " + what);
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):
      throw RuntimeError(err::kServerUnavailable, "The spreadsheet application went away during " +
                                                      what + " (" + hex(h) + ")");
    default:
      throw RuntimeError(err::kSheetOperationFailed,
                         what + " failed in the spreadsheet application (" + hex(h) + ")");
  }
}

Dispatch::Dispatch(const Dispatch& other) : kind_(other.kind_), d_(other.d_) {
  if (d_) d_->AddRef();
}

Dispatch& Dispatch::operator=(const Dispatch& other) {
  if (this != &other) {
    Dispatch copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Dispatch::Dispatch(Dispatch&& other) noexcept : kind_(other.kind_), d_(other.d_) {
  other.d_ = nullptr;
}

Dispatch& Dispatch::operator=(Dispatch&& other) noexcept {
  if (this != &other) {
    if (d_) d_->Release();
    kind_ = other.kind_;
    d_ = other.d_;
    other.d_ = nullptr;
  }
  return *this;
}

Dispatch::~Dispatch() {
  if (d_) d_->Release();
}

DISPID Dispatch::id(const wchar_t* member) const {
  KeptIds& kept = keptIds(kind_);
  {
    std::lock_guard<std::mutex> lock(kept.mutex);
    auto it = kept.ids.find(member);
    if (it != kept.ids.end()) return it->second;
  }
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member)};
  std::vector<DISPID> ids;
  const HRESULT h = lookUp(d_, names, ids);
  if (FAILED(h)) raiseFor(h, nullptr, kind_, member);
  std::lock_guard<std::mutex> lock(kept.mutex);
  kept.ids.emplace(member, ids[0]);
  return ids[0];
}

bool Dispatch::hasMember(const wchar_t* member) const {
  std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member)};
  std::vector<DISPID> ids;
  const HRESULT h = lookUp(d_, names, ids);
  if (h == DISP_E_UNKNOWNNAME || h == DISP_E_MEMBERNOTFOUND) return false;
  if (FAILED(h)) raiseFor(h, nullptr, kind_, member);
  return true;
}

OwnedVariant Dispatch::invoke(const wchar_t* member, WORD flags, DISPID id, VARIANT* args,
                              UINT count, DISPID* named, UINT namedCount) const {
  DISPPARAMS params{args, named, count, namedCount};
  OwnedVariant result;
  EXCEPINFO info{};
  UINT argError = 0;
  const HRESULT h = d_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                               flags == DISPATCH_PROPERTYPUT ? nullptr : &result, &info, &argError);
  if (FAILED(h)) raiseFor(h, &info, kind_, member);
  return result;
}

OwnedVariant Dispatch::get(const wchar_t* member, std::initializer_list<VARIANT> args) const {
  // DISPPARAMS lists positional arguments last to first.
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  return invoke(member, DISPATCH_PROPERTYGET, id(member), reversed.data(),
                static_cast<UINT>(reversed.size()), nullptr, 0);
}

void Dispatch::put(const wchar_t* member, const VARIANT& value) const {
  VARIANT arg = value;
  DISPID named = DISPID_PROPERTYPUT;
  invoke(member, DISPATCH_PROPERTYPUT, id(member), &arg, 1, &named, 1);
}

OwnedVariant Dispatch::call(const wchar_t* member, std::initializer_list<VARIANT> args) const {
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  return invoke(member, DISPATCH_METHOD, id(member), reversed.data(),
                static_cast<UINT>(reversed.size()), nullptr, 0);
}

OwnedVariant Dispatch::callNamed(const wchar_t* member, const wchar_t* argument,
                                 const VARIANT& value) const {
  const std::wstring key = std::wstring(member) + L"." + argument;
  KeptIds& kept = keptIds(kind_);
  DISPID ids[2] = {DISPID_UNKNOWN, DISPID_UNKNOWN};
  bool known = false;
  {
    std::lock_guard<std::mutex> lock(kept.mutex);
    auto m = kept.ids.find(member);
    auto a = kept.ids.find(key);
    if (m != kept.ids.end() && a != kept.ids.end()) {
      ids[0] = m->second;
      ids[1] = a->second;
      known = true;
    }
  }
  if (!known) {
    std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member), const_cast<LPOLESTR>(argument)};
    std::vector<DISPID> found;
    const HRESULT h = lookUp(d_, names, found);
    if (FAILED(h)) raiseFor(h, nullptr, kind_, member);
    ids[0] = found[0];
    ids[1] = found[1];
    std::lock_guard<std::mutex> lock(kept.mutex);
    kept.ids.emplace(member, ids[0]);
    kept.ids.emplace(key, ids[1]);
  }
  VARIANT arg = value;
  return invoke(member, DISPATCH_METHOD, ids[0], &arg, 1, &ids[1], 1);
}

Dispatch Dispatch::objectOf(Kind kind, OwnedVariant&& result, const wchar_t* member) {
  VARIANT* v = &result;
  if (V_VT(v) == VT_EMPTY || V_VT(v) == VT_NULL) return {};
  if (V_VT(v) == VT_DISPATCH) {
    IDispatch* d = V_DISPATCH(v);
    V_DISPATCH(v) = nullptr;  // taken over
    V_VT(v) = VT_EMPTY;
    return Dispatch(kind, d);
  }
  if (V_VT(v) == VT_UNKNOWN && V_UNKNOWN(v)) {
    IDispatch* d = nullptr;
    if (SUCCEEDED(V_UNKNOWN(v)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) {
      return Dispatch(kind, d);
    }
  }
  throw RuntimeError(err::kTypeMismatch, "Type mismatch: " + utf8(member) +
                                             " gave no object where a " + kindName(kind) +
                                             " was expected");
}

VARIANT longArg(long v) {
  VARIANT a;
  ::VariantInit(&a);
  V_VT(&a) = VT_I4;
  V_I4(&a) = v;
  return a;
}

VARIANT boolArg(bool v) {
  VARIANT a;
  ::VariantInit(&a);
  V_VT(&a) = VT_BOOL;
  V_BOOL(&a) = v ? VARIANT_TRUE : VARIANT_FALSE;
  return a;
}

VARIANT dispatchArg(IDispatch* d) {
  VARIANT a;
  ::VariantInit(&a);
  V_VT(&a) = VT_DISPATCH;
  V_DISPATCH(&a) = d;
  return a;
}

}  // namespace dorvane::sheet::automation
