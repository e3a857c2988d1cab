#include "control/ctl_message_object.h"

#include <dorvane/runtime_error.h>

#include <optional>

#include "control/member_access.h"
#include "control/type_library.h"
#include "platform/convert.h"
#include "platform/text/utf.h"

namespace dorvane::com {

std::atomic<long>& liveObjects() {
  static std::atomic<long> count{0};
  return count;
}

std::atomic<long>& serverLocks() {
  static std::atomic<long> count{0};
  return count;
}

namespace {

void fill(ExcepInfo* excep, int number, const std::string& description) {
  if (!excep) return;
  excep->number = number;
  excep->source = "Dorvane.ctlMessage";
  excep->description = description;
}

}  // namespace

CtlMessageObject* CtlMessageObject::create() { return new CtlMessageObject(); }

CtlMessageObject::CtlMessageObject() : owner_(std::this_thread::get_id()) { ++liveObjects(); }

CtlMessageObject::~CtlMessageObject() { --liveObjects(); }

HRESULT CtlMessageObject::QueryInterface(const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == typelib::kIidCtlMessage) {
    AddRef();
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

std::uint32_t CtlMessageObject::AddRef() { return ++refs_; }

std::uint32_t CtlMessageObject::Release() {
  std::uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT CtlMessageObject::GetIDsOfNames(const std::u16string& name, DISPID* id) {
  if (!id) return E_POINTER;
  if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
  const typelib::Member* m = typelib::memberByName(name);
  if (!m) return DISP_E_UNKNOWNNAME;
  *id = m->id;
  return S_OK;
}

HRESULT CtlMessageObject::Invoke(DISPID id, std::uint16_t kind, std::vector<Variant>& args,
                                 Variant* result, ExcepInfo* excep) {
  if (std::this_thread::get_id() != owner_) return RPC_E_WRONG_THREAD;
  const typelib::Member* m = typelib::memberById(id);
  if (!m) return DISP_E_MEMBERNOTFOUND;
  if (m->kind == typelib::MemberKind::Method) {
    if (!(kind & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
    return callMethod(id, args, result, excep);
  }
  if (kind & DISPATCH_PROPERTYGET) {
    if (!args.empty()) return DISP_E_BADPARAMCOUNT;
    return getProperty(id, result);
  }
  const bool byRef = kind & DISPATCH_PROPERTYPUTREF;
  if (!(kind & DISPATCH_PROPERTYPUT) && !byRef) return DISP_E_MEMBERNOTFOUND;
  // Objects are put by reference, values by value.
  if (byRef != (m->kind == typelib::MemberKind::ObjectProperty)) return DISP_E_MEMBERNOTFOUND;
  if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
  try {
    return putProperty(id, args[0], byRef);
  } catch (const RuntimeError& e) {
    fill(excep, e.number(), e.description());
    return DISP_E_EXCEPTION;
  }
}

HRESULT CtlMessageObject::getProperty(DISPID id, Variant* result) {
  std::optional<Variant> value = members::get(control_, id);
  if (!value) return DISP_E_MEMBERNOTFOUND;
  if (result) *result = std::move(*value);
  return S_OK;
}

HRESULT CtlMessageObject::putProperty(DISPID id, const Variant& v, bool byRef) {
  members::Outcome done;
  if (byRef) {
    // Nothing (or Empty) clears the member; a value that is no object is a
    // type mismatch.
    if (v.isEmpty() || v.isNull() || (v.type() == VarType::Object && !v.asObject())) {
      done = members::putObject(control_, id, nullptr);
    } else if (v.type() != VarType::Object) {
      return DISP_E_TYPEMISMATCH;
    } else {
      done = members::putObject(control_, id, v.asObject());
    }
  } else {
    if (v.type() == VarType::Object) return DISP_E_TYPEMISMATCH;
    done = members::putValue(control_, id, v);
  }
  switch (done) {
    case members::Outcome::Done:
      return S_OK;
    case members::Outcome::Overflow:
      return DISP_E_OVERFLOW;
    case members::Outcome::TypeMismatch:
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

HRESULT CtlMessageObject::callMethod(DISPID id, std::vector<Variant>& args, Variant* result,
                                     ExcepInfo* excep) {
  const typelib::Member* m = typelib::memberById(id);
  if (args.size() != m->parameters.size()) return DISP_E_BADPARAMCOUNT;
  // The string parameters are read, never written back.
  std::vector<std::u16string> s;
  for (const Variant& a : args) {
    if (a.type() == VarType::Object) return DISP_E_TYPEMISMATCH;
    if (a.isNull()) return DISP_E_TYPEMISMATCH;
    s.push_back(toText(a));
  }
  try {
    if (members::call(control_, id, s) == members::Outcome::NoMember) return DISP_E_MEMBERNOTFOUND;
  } catch (const RuntimeError& e) {
    fill(excep, e.number(), e.description());
    if (result) *result = Variant();
    return DISP_E_EXCEPTION;
  }
  if (result) *result = Variant();  // always Empty
  return S_OK;
}

CtlMessageFactory* CtlMessageFactory::create() { return new CtlMessageFactory(); }

HRESULT CtlMessageFactory::QueryInterface(const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    AddRef();
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

std::uint32_t CtlMessageFactory::AddRef() { return ++refs_; }

std::uint32_t CtlMessageFactory::Release() {
  std::uint32_t left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT CtlMessageFactory::CreateInstance(IUnknown* outer, const Guid& iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  CtlMessageObject* object = CtlMessageObject::create();
  HRESULT h = object->QueryInterface(iid, out);
  object->Release();
  return h;
}

HRESULT CtlMessageFactory::LockServer(bool lock) {
  if (lock) {
    ++serverLocks();
  } else {
    --serverLocks();
  }
  return S_OK;
}

}  // namespace dorvane::com
