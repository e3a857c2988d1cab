#include "ocx/ctl_message_com.h"

#include <dorvane/runtime_error.h>
#include <dorvane/sheet.h>
#include <windows.h>
#undef MessageBox

#include <new>
#include <optional>
#include <vector>

#include "control/member_access.h"
#include "ocx/control_names.h"
#include "ocx/held_object.h"
#include "ocx/ocx_module.h"
#include "ocx/windows_message_box.h"
#include "platform/text/utf.h"

namespace dorvane::windows {

namespace {

using namespace members;

std::u16string fromBstr(BSTR b) {
  return b ? std::u16string(reinterpret_cast<const char16_t*>(b), ::SysStringLen(b))
           : std::u16string();
}

BSTR toBstr(const std::u16string& s) {
  return ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(s.data()),
                             static_cast<UINT>(s.size()));
}

std::wstring wide(const std::string& utf8) {
  const std::u16string w = text::fromUtf8(utf8);
  return std::wstring(w.begin(), w.end());
}

// A run-time error of the control for the caller: the error object of this
// thread (IErrorInfo) holds the description; the HRESULT carries the number
// in the control facility, as automation hosts read it (VBScript and VBA
// show it as Err.Number).
HRESULT raise(int number, const std::string& description) {
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(::CreateErrorInfo(&create))) {
    create->SetGUID(IID__ctlMessage);
    create->SetSource(const_cast<LPOLESTR>(L"Dorvane.ctlMessage"));
    std::wstring d = wide(description);
    create->SetDescription(d.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      ::SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number & 0xFFFF);
}

// Runs a call of the control; its run-time errors become COM errors.
template <class F>
HRESULT guarded(F&& call) {
  try {
    call();
    return S_OK;
  } catch (const RuntimeError& e) {
    return raise(e.number(), e.description());
  } catch (const std::bad_alloc&) {
    return raise(err::kOutOfMemory, "Out of memory");
  } catch (const std::exception& e) {
    return raise(51, std::string("Internal error: ") + e.what());
  }
}

// The text of a string argument as hosts pass it: a BSTR, a BSTR by
// reference, a VARIANT by reference (a script's variable), or any value that
// converts to text. Null and objects are a type mismatch.
HRESULT argumentText(const VARIANT& argument, std::u16string& out) {
  const VARIANT* v = &argument;
  while (V_VT(v) == (VT_VARIANT | VT_BYREF) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
  switch (V_VT(v)) {
    case VT_BSTR:
      out = fromBstr(V_BSTR(v));
      return S_OK;
    case VT_BSTR | VT_BYREF:
      out = V_BSTRREF(v) ? fromBstr(*V_BSTRREF(v)) : std::u16string();
      return S_OK;
    case VT_NULL:
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_ERROR:
      return DISP_E_TYPEMISMATCH;
    default:
      break;
  }
  VARIANT converted;
  ::VariantInit(&converted);
  HRESULT h = ::VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_BSTR);
  if (FAILED(h)) return DISP_E_TYPEMISMATCH;
  out = fromBstr(V_BSTR(&converted));
  ::VariantClear(&converted);
  return S_OK;
}

// The member's value for the caller: an object in its wrapper, a number as
// Integer or Long, a text as a BSTR.
HRESULT toVariant(const Variant& v, VARIANT* out) {
  ::VariantInit(out);
  switch (v.type()) {
    case VarType::Object:
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = wrapHeldObject(v.asObject());
      return S_OK;
    case VarType::Integer:
      V_VT(out) = VT_I2;
      V_I2(out) = static_cast<SHORT>(v.asInt());
      return S_OK;
    case VarType::Long:
      V_VT(out) = VT_I4;
      V_I4(out) = static_cast<LONG>(v.asInt());
      return S_OK;
    default:
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = toBstr(v.asString());
      return V_BSTR(out) ? S_OK : E_OUTOFMEMORY;
  }
}

HRESULT putObjectMember(ctlMessage& c, DISPID id, IDispatch* value) {
  std::shared_ptr<Object> held;
  if (!unwrapHeldObject(value, held)) return DISP_E_TYPEMISMATCH;
  switch (putObject(c, id, std::move(held))) {
    case members::Outcome::Done:
      return S_OK;
    case members::Outcome::NoMember:
      return DISP_E_MEMBERNOTFOUND;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

CtlMessageCom* CtlMessageCom::create() { return new CtlMessageCom(); }

CtlMessageCom::CtlMessageCom() {
  objectCreated();
  control_.setMessageBox(std::make_shared<WindowsMessageBox>());
  // Pages in the system's ANSI code page.
  control_.setCodePage(static_cast<int>(::GetACP()));
}

CtlMessageCom::~CtlMessageCom() {
  if (typeInfo_) typeInfo_->Release();
  objectDestroyed();
}

HRESULT CtlMessageCom::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, IID__ctlMessage)) {
    *out = static_cast<_ctlMessage*>(this);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *out = static_cast<ISupportErrorInfo*>(this);
  } else if (oleInterface(iid, out)) {
    return S_OK;
  } else {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CtlMessageCom::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

ULONG CtlMessageCom::Release() {
  const LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT CtlMessageCom::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID__ctlMessage) ? S_OK : S_FALSE;
}

HRESULT CtlMessageCom::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT CtlMessageCom::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = ctlMessageTypeInfo();
  return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

HRESULT CtlMessageCom::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  ids[0] = idOfName(names[0]);
  HRESULT h = ids[0] != DISPID_UNKNOWN ? S_OK : DISP_E_UNKNOWNNAME;
  // Named arguments are not taken.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    h = DISP_E_UNKNOWNNAME;
  }
  return h;
}

// The type library binds the name, case-blind. It holds the Japanese
// method names in code page 932 and the system reads them in its ANSI code
// page: where that is another, the library does not know 明細型 and
// WEB明細型 as UTF-16, and the control's own table binds them. A name the
// library binds to no member of the control (IDispatch's own) is unknown.
DISPID CtlMessageCom::idOfName(LPOLESTR name) {
  if (!name) return DISPID_UNKNOWN;
  if (!typeInfo_) typeInfo_ = ctlMessageTypeInfo();
  MEMBERID id = MEMBERID_NIL;
  if (typeInfo_ && SUCCEEDED(typeInfo_->GetIDsOfNames(&name, 1, &id)))
    return memberWithId(id) ? id : DISPID_UNKNOWN;
  const auto m = memberNamed(std::u16string(reinterpret_cast<const char16_t*>(name)));
  return m ? m->id : DISPID_UNKNOWN;
}

HRESULT CtlMessageCom::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT* argError) {
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (!params) params = &none;
  const auto m = memberWithId(id);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  ::SetErrorInfo(0, nullptr);
  HRESULT h;
  if (m->kind == MemberKind::Method) {
    if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
    if (params->cNamedArgs > 0) return DISP_E_NONAMEDARGS;
    h = invokeMethod(id, params, result, argError);
  } else if (flags & DISPATCH_PROPERTYGET) {
    if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    h = getProperty(id, result);
  } else {
    const bool byRef = flags & DISPATCH_PROPERTYPUTREF;
    if (!(flags & DISPATCH_PROPERTYPUT) && !byRef) return DISP_E_MEMBERNOTFOUND;
    // Objects are put by reference, values by value.
    if (byRef != (m->kind == MemberKind::ObjectProperty)) return DISP_E_MEMBERNOTFOUND;
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    h = putProperty(id, byRef, params->rgvarg[0]);
  }
  if (HRESULT_FACILITY(h) == FACILITY_CONTROL && FAILED(h)) {
    // A run-time error of the control: its number and description.
    if (excep) {
      *excep = EXCEPINFO{};
      excep->scode = h;
      IErrorInfo* info = nullptr;
      if (::GetErrorInfo(0, &info) == S_OK && info) {
        info->GetSource(&excep->bstrSource);
        info->GetDescription(&excep->bstrDescription);
        info->Release();
      }
    }
    return DISP_E_EXCEPTION;
  }
  return h;
}

HRESULT CtlMessageCom::invokeMethod(DISPID id, DISPPARAMS* params, VARIANT* result,
                                    UINT* argError) {
  const auto m = memberWithId(id);
  if (!m || params->cArgs != m->parameterCount) return DISP_E_BADPARAMCOUNT;
  // The arguments come last first.
  static const char* const kNames[][4] = {{"kivdbloc", "kivdb2loc"},
                                          {"readFile", "saveFile", "kivdbloc", "kivdb2loc"}};
  std::u16string s[4];
  for (UINT i = 0; i < params->cArgs; ++i) {
    const UINT at = params->cArgs - 1 - i;
    if (FAILED(argumentText(params->rgvarg[at], s[i]))) {
      if (argError) *argError = at;
      const char* method = id == kOcxKiv ? "ocxKiv" : "ocxwebKiv";
      const char* name = kNames[id == kOcxKiv ? 0 : 1][i];
      return raise(err::kTypeMismatch, std::string("Type mismatch: the argument ") + name + " of " +
                                           method +
                                           " must be a text (not Null, an object or an error)");
    }
  }
  if (result) ::VariantInit(result);
  const std::vector<std::u16string> texts(s, s + params->cArgs);
  HRESULT h = DISP_E_MEMBERNOTFOUND;
  const HRESULT trapped = guarded([&] {
    if (call(control_, id, texts) == members::Outcome::Done) h = S_OK;
  });
  return FAILED(trapped) ? trapped : h;
}

HRESULT CtlMessageCom::getProperty(DISPID id, VARIANT* result) {
  const std::optional<Variant> value = get(control_, id);
  if (!value) return DISP_E_MEMBERNOTFOUND;
  VARIANT v;
  const HRESULT h = toVariant(*value, &v);
  if (FAILED(h)) return h;
  if (result) {
    *result = v;
  } else {
    ::VariantClear(&v);
  }
  return S_OK;
}

HRESULT CtlMessageCom::putProperty(DISPID id, bool byRef, const VARIANT& argument) {
  VARIANT value;
  ::VariantInit(&value);
  HRESULT h = ::VariantCopyInd(&value, const_cast<VARIANT*>(&argument));
  if (FAILED(h)) return h;
  if (byRef) {
    IDispatch* object = nullptr;
    if (V_VT(&value) == VT_DISPATCH) {
      object = V_DISPATCH(&value);
    } else if (V_VT(&value) != VT_EMPTY && V_VT(&value) != VT_NULL) {
      ::VariantClear(&value);
      return DISP_E_TYPEMISMATCH;
    }
    h = putObjectMember(control_, id, object);
    ::VariantClear(&value);
    return h;
  }
  const VARTYPE want = id == kWkcycle ? VT_I2 : id == kHitStr ? VT_I4 : VT_BSTR;
  const char* name = id == kWkcycle   ? "wkcycle"
                     : id == kHitStr  ? "HitStr"
                     : id == kText    ? "text"
                     : id == kTextWeb ? "textWeb"
                                      : "textWebbefore";
  VARIANT converted;
  ::VariantInit(&converted);
  h = V_VT(&value) == VT_NULL || V_VT(&value) == VT_DISPATCH || V_VT(&value) == VT_UNKNOWN
          ? DISP_E_TYPEMISMATCH
          : ::VariantChangeType(&converted, &value, 0, want);
  ::VariantClear(&value);
  if (h == DISP_E_OVERFLOW) {
    return raise(err::kOverflow, std::string("Overflow: the new value of ") + name +
                                     (id == kWkcycle ? " must lie in -32768..32767"
                                                     : " must lie in -2147483648..2147483647"));
  }
  if (FAILED(h)) {
    return raise(err::kTypeMismatch,
                 std::string("Type mismatch: the new value of ") + name + " cannot be converted");
  }
  const Variant typed = id == kWkcycle  ? Variant::integer(V_I2(&converted))
                        : id == kHitStr ? Variant::longValue(V_I4(&converted))
                                        : Variant::string(fromBstr(V_BSTR(&converted)));
  h = guarded([&] {
    if (putValue(control_, id, typed) != members::Outcome::Done)
      throw RuntimeError(err::kTypeMismatch, name);
  });
  ::VariantClear(&converted);
  return h;
}

// ---- _ctlMessage ---------------------------------------------------------------

#define DORVANE_OBJECT_PROPERTY(name, k)                   \
  HRESULT CtlMessageCom::get_##name(IDispatch** value) {   \
    if (!value) return E_POINTER;                          \
    *value = wrapHeldObject(control_.get_##name());        \
    return S_OK;                                           \
  }                                                        \
  HRESULT CtlMessageCom::putref_##name(IDispatch* value) { \
    return putObjectMember(control_, k, value);            \
  }
DORVANE_OBJECT_PROPERTY(c, kC)
DORVANE_OBJECT_PROPERTY(kivdbtbl, kKivdbtbl)
DORVANE_OBJECT_PROPERTY(kivdbdetail, kKivdbdetail)
DORVANE_OBJECT_PROPERTY(objExcel, kObjExcel)
DORVANE_OBJECT_PROPERTY(objWorkbook, kObjWorkbook)
DORVANE_OBJECT_PROPERTY(objWorksheet, kObjWorksheet)
DORVANE_OBJECT_PROPERTY(kivdb, kKivdb)
DORVANE_OBJECT_PROPERTY(DB, kDB)
DORVANE_OBJECT_PROPERTY(kivrs, kKivrs)
DORVANE_OBJECT_PROPERTY(kivrs2, kKivrs2)
DORVANE_OBJECT_PROPERTY(rs, kRs)
#undef DORVANE_OBJECT_PROPERTY

HRESULT CtlMessageCom::get_wkcycle(short* value) {
  if (!value) return E_POINTER;
  *value = control_.get_wkcycle();
  return S_OK;
}
HRESULT CtlMessageCom::put_wkcycle(short value) {
  control_.put_wkcycle(value);
  return S_OK;
}
HRESULT CtlMessageCom::get_HitStr(LONG* value) {
  if (!value) return E_POINTER;
  *value = control_.get_HitStr();
  return S_OK;
}
HRESULT CtlMessageCom::put_HitStr(LONG value) {
  control_.put_HitStr(value);
  return S_OK;
}

#define DORVANE_TEXT_PROPERTY(name)                                \
  HRESULT CtlMessageCom::get_##name(BSTR* value) {                 \
    if (!value) return E_POINTER;                                  \
    *value = toBstr(control_.get_##name());                        \
    return *value ? S_OK : E_OUTOFMEMORY;                          \
  }                                                                \
  HRESULT CtlMessageCom::put_##name(BSTR value) {                  \
    return guarded([&] { control_.put_##name(fromBstr(value)); }); \
  }
DORVANE_TEXT_PROPERTY(text)
DORVANE_TEXT_PROPERTY(textWeb)
DORVANE_TEXT_PROPERTY(textWebbefore)
#undef DORVANE_TEXT_PROPERTY

HRESULT CtlMessageCom::Detail() {
  return guarded([&] { control_.明細型(); });
}

HRESULT CtlMessageCom::WebDetail() {
  return guarded([&] { control_.WEB明細型(); });
}

HRESULT CtlMessageCom::ocxKiv(BSTR* kivdbloc, BSTR* kivdb2loc, VARIANT* result) {
  if (!kivdbloc || !kivdb2loc) return E_POINTER;
  if (result) ::VariantInit(result);
  // The strings are read, never written back.
  return guarded([&] { control_.ocxKiv(fromBstr(*kivdbloc), fromBstr(*kivdb2loc)); });
}

HRESULT CtlMessageCom::ocxwebKiv(BSTR* readFile, BSTR* saveFile, BSTR* kivdbloc, BSTR* kivdb2loc,
                                 VARIANT* result) {
  if (!readFile || !saveFile || !kivdbloc || !kivdb2loc) return E_POINTER;
  if (result) ::VariantInit(result);
  return guarded([&] {
    control_.ocxwebKiv(fromBstr(*readFile), fromBstr(*saveFile), fromBstr(*kivdbloc),
                       fromBstr(*kivdb2loc));
  });
}

}  // namespace dorvane::windows
