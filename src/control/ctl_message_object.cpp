#include "control/ctl_message_object.h"

#include <dorvane/runtime_error.h>

#include <cmath>
#include <limits>

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

// Member dispatch ids (the type library's table).
enum : DISPID {
  kC = 0x40030005,
  kKivdbtbl = 0x4003000D,
  kKivdbdetail = 0x4003000E,
  kObjExcel = 0x40030014,
  kObjWorkbook = 0x40030015,
  kObjWorksheet = 0x40030016,
  kKivdb = 0x40030017,
  kDB = 0x40030018,
  kKivrs = 0x40030019,
  kKivrs2 = 0x4003001A,
  kRs = 0x4003001B,
  kWkcycle = 0x40030028,
  kText = 0x40030029,
  kHitStr = 0x4003002A,
  kTextWeb = 0x4003002B,
  kTextWebbefore = 0x4003002C,
  kDetailRows = 0x60030001,
  kOcxKiv = 0x60030002,
  kOcxwebKiv = 0x60030005,
  kWebDetailRows = 0x60030007,
};

// Puts an object argument into a member of type T: Nothing (or Empty) clears
// it; an object of another kind is a type mismatch.
template <class T>
HRESULT putObject(const Variant& v, void (ctlMessage::*put)(std::shared_ptr<T>), ctlMessage& c) {
  if (v.isEmpty() || v.isNull() || (v.type() == VarType::Object && !v.asObject())) {
    (c.*put)(nullptr);
    return S_OK;
  }
  if (v.type() != VarType::Object) return DISP_E_TYPEMISMATCH;
  auto typed = std::dynamic_pointer_cast<T>(v.asObject());
  if (!typed) return DISP_E_TYPEMISMATCH;
  (c.*put)(std::move(typed));
  return S_OK;
}

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
  if (!result) return S_OK;
  ctlMessage& c = control_;
  switch (id) {
    case kC:
      *result = Variant::object(c.get_c());
      break;
    case kKivdbtbl:
      *result = Variant::object(c.get_kivdbtbl());
      break;
    case kKivdbdetail:
      *result = Variant::object(c.get_kivdbdetail());
      break;
    case kObjExcel:
      *result = Variant::object(c.get_objExcel());
      break;
    case kObjWorkbook:
      *result = Variant::object(c.get_objWorkbook());
      break;
    case kObjWorksheet:
      *result = Variant::object(c.get_objWorksheet());
      break;
    case kKivdb:
      *result = Variant::object(c.get_kivdb());
      break;
    case kDB:
      *result = Variant::object(c.get_DB());
      break;
    case kKivrs:
      *result = Variant::object(c.get_kivrs());
      break;
    case kKivrs2:
      *result = Variant::object(c.get_kivrs2());
      break;
    case kRs:
      *result = Variant::object(c.get_rs());
      break;
    case kWkcycle:
      *result = Variant::integer(c.get_wkcycle());
      break;
    case kText:
      *result = Variant::string(c.get_text());
      break;
    case kHitStr:
      *result = Variant::longValue(c.get_HitStr());
      break;
    case kTextWeb:
      *result = Variant::string(c.get_textWeb());
      break;
    case kTextWebbefore:
      *result = Variant::string(c.get_textWebbefore());
      break;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  return S_OK;
}

HRESULT CtlMessageObject::putProperty(DISPID id, const Variant& v, bool byRef) {
  ctlMessage& c = control_;
  if (byRef) {
    switch (id) {
      case kC:
        return putObject(v, &ctlMessage::putref_c, c);
      case kKivdbtbl:
        return putObject(v, &ctlMessage::putref_kivdbtbl, c);
      case kKivdbdetail:
        return putObject(v, &ctlMessage::putref_kivdbdetail, c);
      case kObjExcel:
        return putObject(v, &ctlMessage::putref_objExcel, c);
      case kObjWorkbook:
        return putObject(v, &ctlMessage::putref_objWorkbook, c);
      case kObjWorksheet:
        return putObject(v, &ctlMessage::putref_objWorksheet, c);
      case kKivdb:
        return putObject(v, &ctlMessage::putref_kivdb, c);
      case kDB:
        return putObject(v, &ctlMessage::putref_DB, c);
      case kKivrs:
        return putObject(v, &ctlMessage::putref_kivrs, c);
      case kKivrs2:
        return putObject(v, &ctlMessage::putref_kivrs2, c);
      case kRs:
        return putObject(v, &ctlMessage::putref_rs, c);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }
  if (v.type() == VarType::Object) return DISP_E_TYPEMISMATCH;
  switch (id) {
    case kWkcycle:
    case kHitStr: {
      double d = toDouble(v, "the new value");
      double limit = id == kWkcycle ? std::numeric_limits<std::int16_t>::max()
                                    : std::numeric_limits<std::int32_t>::max();
      // Whole numbers as automation converts them: rounded half to even.
      double rounded = std::nearbyint(d);
      if (rounded > limit || rounded < -limit - 1) return DISP_E_OVERFLOW;
      if (id == kWkcycle) {
        c.put_wkcycle(static_cast<std::int16_t>(rounded));
      } else {
        c.put_HitStr(static_cast<std::int32_t>(rounded));
      }
      return S_OK;
    }
    case kText:
      c.put_text(toText(v, "the new text"));
      return S_OK;
    case kTextWeb:
      c.put_textWeb(toText(v, "the new textWeb"));
      return S_OK;
    case kTextWebbefore:
      c.put_textWebbefore(toText(v, "the new textWebbefore"));
      return S_OK;
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
    switch (id) {
      case kDetailRows:
        control_.明細型();
        break;
      case kOcxKiv:
        control_.ocxKiv(s[0], s[1]);
        break;
      case kOcxwebKiv:
        control_.ocxwebKiv(s[0], s[1], s[2], s[3]);
        break;
      case kWebDetailRows:
        control_.WEB明細型();
        break;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
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
