// The service "Dorvane.ctlMessage" inside LibreOffice: a thin host over the
// control's component object. Every call — through the typed interface
// Dorvane.XctlMessage or by name through XInvocation2 — goes to the same
// dispatch a host of Dorvane.ocx uses (names bound case-blind, Japanese
// names included), with this office registered as the running spreadsheet
// application for the call's thread, so ocxKiv merges the active sheet of the
// current document in-process.
//
// A run-time error that reaches the caller is thrown as a
// com.sun.star.script.BasicErrorException carrying its number and
// description (wrapped in an InvocationTargetException when the call came by
// name; a RuntimeException with the same message from an attribute's
// setter). Basic reports every exception of a UNO object as its error 1 with
// the message in Error$, so the message names the number too.
#include <dorvane/ctl_message.h>
#include <dorvane/runtime_error.h>
#include <uno/lbnames.h>

#include <Dorvane/XctlMessage.hpp>
#include <com/sun/star/beans/XExactName.hpp>
#include <com/sun/star/beans/XIntrospection.hpp>
#include <com/sun/star/beans/XIntrospectionAccess.hpp>
#include <com/sun/star/beans/theIntrospection.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/lang/XSingleComponentFactory.hpp>
#include <com/sun/star/reflection/InvocationTargetException.hpp>
#include <com/sun/star/reflection/ParamMode.hpp>
#include <com/sun/star/script/BasicErrorException.hpp>
#include <com/sun/star/script/InvocationInfo.hpp>
#include <com/sun/star/script/MemberType.hpp>
#include <com/sun/star/script/XInvocation2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <cppuhelper/factory.hxx>
#include <cppuhelper/implbase4.hxx>
#include <cppuhelper/supportsservice.hxx>
#include <cstring>

#include "control/ctl_message_object.h"
#include "control/type_library.h"
#include "office/office_message_box.h"
#include "office/uno_variant.h"
#include "platform/sheet/calc/calc_in_process.h"
#include "platform/sheet/calc/calc_module.h"
#include "platform/text/utf.h"

namespace dorvane::office {

namespace {

namespace css = ::com::sun::star;
namespace uno = css::uno;
using ::rtl::OUString;

constexpr char kImplementationName[] = "dorvane.office.CtlMessage";
constexpr char kServiceName[] = "Dorvane.ctlMessage";

OUString toOU(const std::u16string& s) {
  return OUString(reinterpret_cast<const sal_Unicode*>(s.data()), static_cast<sal_Int32>(s.size()));
}
std::u16string fromOU(const OUString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()),
                        static_cast<std::size_t>(s.getLength()));
}

// The exception for run-time error number: ErrorCode holds the number, the
// message says "Dorvane.ctlMessage error <number>: <description>" (Basic
// shows only the message, under its own error number 1).
css::script::BasicErrorException basicError(int number, const std::string& description) {
  const std::string text =
      "Dorvane.ctlMessage error " + std::to_string(number) + ": " + description;
  const OUString message(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
  return css::script::BasicErrorException(message, nullptr, number, message);
}

// The run-time error a dispatch result stands for, as automation reports it.
css::script::BasicErrorException dispatchError(com::HRESULT h, const com::ExcepInfo& excep,
                                               const std::u16string& name) {
  const std::string member = text::toUtf8(name);
  switch (h) {
    case com::DISP_E_EXCEPTION:
      return basicError(excep.number, excep.description);
    case com::DISP_E_TYPEMISMATCH:
      return basicError(err::kTypeMismatch, "Type mismatch: " + member);
    case com::DISP_E_OVERFLOW:
      return basicError(err::kOverflow, "Overflow: " + member);
    case com::DISP_E_BADPARAMCOUNT:
      return basicError(450, "Wrong number of arguments or invalid property assignment: " + member);
    case com::DISP_E_MEMBERNOTFOUND:
    case com::DISP_E_UNKNOWNNAME:
      return basicError(438, "Object doesn't support this property or method: " + member);
    default:
      return basicError(err::kInvalidCall, "Invalid procedure call: " + member);
  }
}

uno::Type typeOf(const char* automationType) {
  const std::string t = automationType;
  if (t == "short") return cppu::UnoType<sal_Int16>::get();
  if (t == "long") return cppu::UnoType<sal_Int32>::get();
  if (t == "BSTR" || t == "BSTR*") return cppu::UnoType<OUString>::get();
  if (t == "void") return cppu::UnoType<void>::get();
  return cppu::UnoType<uno::Any>::get();  // objects and VARIANT
}

class CtlMessageService
    : public ::cppu::WeakImplHelper4<::Dorvane::XctlMessage, css::script::XInvocation2,
                                     css::beans::XExactName, css::lang::XServiceInfo> {
 public:
  explicit CtlMessageService(uno::Reference<uno::XComponentContext> context)
      : context_(std::move(context)), object_(com::CtlMessageObject::create()) {
    object_->control().setMessageBox(std::make_shared<OfficeMessageBox>(context_));
  }
  ~CtlMessageService() override { object_->Release(); }

  // ---- XInvocation2 ------------------------------------------------------
  // The office's introspection of this object (PyUNO asks for it and does
  // not expect null).
  uno::Reference<css::beans::XIntrospectionAccess> SAL_CALL getIntrospection() override {
    return css::beans::theIntrospection::get(context_)->inspect(
        uno::Any(uno::Reference<css::script::XInvocation2>(this)));
  }
  uno::Any SAL_CALL invoke(const OUString& name, const uno::Sequence<uno::Any>& params,
                           uno::Sequence<sal_Int16>& outIndex,
                           uno::Sequence<uno::Any>& outParams) override {
    outIndex.realloc(0);
    outParams.realloc(0);
    std::vector<Variant> args;
    for (const uno::Any& a : params) args.push_back(toVariant(a));
    return byName(name, com::DISPATCH_METHOD, args);
  }
  void SAL_CALL setValue(const OUString& name, const uno::Any& value) override {
    const typelib::Member* m = member(name);
    std::vector<Variant> args{toVariant(value)};
    byName(name,
           m && m->kind == typelib::MemberKind::ObjectProperty ? com::DISPATCH_PROPERTYPUTREF
                                                               : com::DISPATCH_PROPERTYPUT,
           args);
  }
  uno::Any SAL_CALL getValue(const OUString& name) override {
    std::vector<Variant> none;
    return byName(name, com::DISPATCH_PROPERTYGET, none);
  }
  sal_Bool SAL_CALL hasMethod(const OUString& name) override {
    const typelib::Member* m = member(name);
    return m && m->kind == typelib::MemberKind::Method;
  }
  sal_Bool SAL_CALL hasProperty(const OUString& name) override {
    const typelib::Member* m = member(name);
    return m && m->kind != typelib::MemberKind::Method;
  }
  uno::Sequence<OUString> SAL_CALL getMemberNames() override {
    const auto& members = typelib::defaultInterface().members;
    uno::Sequence<OUString> names(static_cast<sal_Int32>(members.size()));
    for (std::size_t i = 0; i < members.size(); ++i) {
      names.getArray()[i] = toOU(typelib::displayName(members[i]));
    }
    return names;
  }
  uno::Sequence<css::script::InvocationInfo> SAL_CALL getInfo() override {
    const auto& members = typelib::defaultInterface().members;
    uno::Sequence<css::script::InvocationInfo> all(static_cast<sal_Int32>(members.size()));
    for (std::size_t i = 0; i < members.size(); ++i) all.getArray()[i] = info(members[i]);
    return all;
  }
  css::script::InvocationInfo SAL_CALL getInfoForName(const OUString& name,
                                                      sal_Bool exact) override {
    const typelib::Member* m = member(name);
    if (!m || (exact && toOU(typelib::displayName(*m)) != name)) {
      throw css::lang::IllegalArgumentException("Dorvane.ctlMessage has no member " + name,
                                                static_cast<::cppu::OWeakObject*>(this), 0);
    }
    return info(*m);
  }

  // ---- XExactName -------------------------------------------------------
  OUString SAL_CALL getExactName(const OUString& name) override {
    const typelib::Member* m = member(name);
    return m ? toOU(typelib::displayName(*m)) : OUString();
  }

  // ---- Dorvane.XctlMessage ----------------------------------------------
#define DORVANE_OBJECT_ATTRIBUTE(name)                               \
  uno::Any SAL_CALL get##name() override { return getValue(#name); } \
  void SAL_CALL set##name(const uno::Any& value) override { typedPut(#name, value); }
  DORVANE_OBJECT_ATTRIBUTE(c)
  DORVANE_OBJECT_ATTRIBUTE(kivdbtbl)
  DORVANE_OBJECT_ATTRIBUTE(kivdbdetail)
  DORVANE_OBJECT_ATTRIBUTE(objExcel)
  DORVANE_OBJECT_ATTRIBUTE(objWorkbook)
  DORVANE_OBJECT_ATTRIBUTE(objWorksheet)
  DORVANE_OBJECT_ATTRIBUTE(kivdb)
  DORVANE_OBJECT_ATTRIBUTE(DB)
  DORVANE_OBJECT_ATTRIBUTE(kivrs)
  DORVANE_OBJECT_ATTRIBUTE(kivrs2)
  DORVANE_OBJECT_ATTRIBUTE(rs)
#undef DORVANE_OBJECT_ATTRIBUTE
  sal_Int16 SAL_CALL getwkcycle() override { return control().get_wkcycle(); }
  void SAL_CALL setwkcycle(sal_Int16 v) override { control().put_wkcycle(v); }
  OUString SAL_CALL gettext() override { return toOU(control().get_text()); }
  void SAL_CALL settext(const OUString& v) override { control().put_text(fromOU(v)); }
  sal_Int32 SAL_CALL getHitStr() override { return control().get_HitStr(); }
  void SAL_CALL setHitStr(sal_Int32 v) override { control().put_HitStr(v); }
  OUString SAL_CALL gettextWeb() override { return toOU(control().get_textWeb()); }
  void SAL_CALL settextWeb(const OUString& v) override { control().put_textWeb(fromOU(v)); }
  OUString SAL_CALL gettextWebbefore() override { return toOU(control().get_textWebbefore()); }
  void SAL_CALL settextWebbefore(const OUString& v) override {
    control().put_textWebbefore(fromOU(v));
  }

  uno::Any SAL_CALL ocxKiv(const OUString& kivdbloc, const OUString& kivdb2loc) override {
    std::vector<Variant> args{Variant::string(fromOU(kivdbloc)),
                              Variant::string(fromOU(kivdb2loc))};
    return typedCall(u"ocxKiv", args);
  }
  uno::Any SAL_CALL ocxwebKiv(const OUString& readFile, const OUString& saveFile,
                              const OUString& kivdbloc, const OUString& kivdb2loc) override {
    std::vector<Variant> args{Variant::string(fromOU(readFile)), Variant::string(fromOU(saveFile)),
                              Variant::string(fromOU(kivdbloc)),
                              Variant::string(fromOU(kivdb2loc))};
    return typedCall(u"ocxwebKiv", args);
  }

  // ---- XServiceInfo -----------------------------------------------------
  OUString SAL_CALL getImplementationName() override { return kImplementationName; }
  sal_Bool SAL_CALL supportsService(const OUString& name) override {
    return ::cppu::supportsService(this, name);
  }
  uno::Sequence<OUString> SAL_CALL getSupportedServiceNames() override {
    const OUString name(kServiceName);
    return uno::Sequence<OUString>(&name, 1);
  }

 private:
  ctlMessage& control() { return object_->control(); }

  // The member called name. PyUNO turns an attribute name into a UNO
  // string byte by byte, each UTF-8 byte a character of its own (sign-
  // extended: 0xE6 arrives as U+FFE6), so a name made only of such
  // characters is also tried as UTF-8: that is how o.明細型 from Python
  // arrives.
  static const typelib::Member* member(const OUString& name) {
    if (const typelib::Member* m = typelib::memberByName(fromOU(name))) return m;
    std::string bytes;
    for (sal_Int32 i = 0; i < name.getLength(); ++i) {
      if (name[i] > 0xFF && name[i] < 0xFF80) return nullptr;
      bytes += static_cast<char>(name[i] & 0xFF);
    }
    const OUString decoded(bytes.data(), static_cast<sal_Int32>(bytes.size()),
                           RTL_TEXTENCODING_UTF8);
    return decoded.isEmpty() || decoded == name ? nullptr : typelib::memberByName(fromOU(decoded));
  }

  static css::script::InvocationInfo info(const typelib::Member& m) {
    css::script::InvocationInfo i;
    i.aName = toOU(typelib::displayName(m));
    i.eMemberType = m.kind == typelib::MemberKind::Method ? css::script::MemberType_METHOD
                                                          : css::script::MemberType_PROPERTY;
    i.PropertyAttribute = 0;
    i.aType = typeOf(m.type);
    i.aParamTypes.realloc(static_cast<sal_Int32>(m.parameters.size()));
    i.aParamModes.realloc(static_cast<sal_Int32>(m.parameters.size()));
    for (std::size_t p = 0; p < m.parameters.size(); ++p) {
      i.aParamTypes.getArray()[p] = cppu::UnoType<OUString>::get();
      i.aParamModes.getArray()[p] = css::reflection::ParamMode_IN;
    }
    return i;
  }

  // Calls the member name through the control's dispatch with this office
  // as the running spreadsheet application. Raises the dispatch's run-time
  // error as a BasicErrorException.
  uno::Any dispatch(const std::u16string& name, std::uint16_t kind, std::vector<Variant>& args) {
    com::DISPID id = 0;
    com::HRESULT h = object_->GetIDsOfNames(name, &id);
    com::ExcepInfo excep;
    Variant result;
    if (com::succeeded(h)) {
      std::unique_ptr<sheet::RunningOnThisThread> running;
      try {
        running = std::make_unique<sheet::RunningOnThisThread>(office());
      } catch (const RuntimeError& e) {
        throw basicError(e.number(), e.description());
      }
      h = object_->Invoke(id, kind, args, &result, &excep);
    }
    if (!com::succeeded(h)) throw dispatchError(h, excep, name);
    return toAny(result);
  }

  // dispatch for a call by name: the error arrives wrapped, as XInvocation
  // reports what the called member raised.
  uno::Any byName(const OUString& name, std::uint16_t kind, std::vector<Variant>& args) {
    const typelib::Member* m = member(name);
    try {
      return dispatch(m ? typelib::displayName(*m) : fromOU(name), kind, args);
    } catch (const css::script::BasicErrorException& e) {
      throw css::reflection::InvocationTargetException(
          e.Message, static_cast<::cppu::OWeakObject*>(this), uno::Any(e));
    }
  }
  uno::Any typedCall(const std::u16string& name, std::vector<Variant>& args) {
    return dispatch(name, com::DISPATCH_METHOD, args);
  }
  // An attribute's setter may raise only a RuntimeException that keeps its
  // message on the way to Basic.
  void typedPut(const char* name, const uno::Any& value) {
    std::vector<Variant> args{toVariant(value)};
    try {
      dispatch(text::fromUtf8(name), com::DISPATCH_PROPERTYPUTREF, args);
    } catch (const css::script::BasicErrorException& e) {
      throw uno::RuntimeException(e.Message, static_cast<::cppu::OWeakObject*>(this));
    }
  }

  // This office as a spreadsheet application, made on first use.
  const std::shared_ptr<sheet::Application>& office() {
    if (!office_) office_ = sheet::calc::inProcess(context_);
    return office_;
  }

  uno::Reference<uno::XComponentContext> context_;
  com::CtlMessageObject* object_;  // one reference, released with this
  std::shared_ptr<sheet::Application> office_;
};

uno::Reference<uno::XInterface> SAL_CALL
create(const uno::Reference<uno::XComponentContext>& context) {
  // Inside the office the Calc code is linked in: no module to load.
  sheet::calc::useBackend(sheet::calc::unoBackend());
  return static_cast<::cppu::OWeakObject*>(new CtlMessageService(context));
}

}  // namespace

}  // namespace dorvane::office

// The entry points the office's shared-library loader looks for.
extern "C" SAL_DLLPUBLIC_EXPORT void* component_getFactory(const char* implementationName,
                                                           void* serviceManager, void*) {
  using namespace dorvane::office;
  if (!serviceManager || std::strcmp(implementationName, kImplementationName) != 0) return nullptr;
  const ::rtl::OUString service(kServiceName);
  ::com::sun::star::uno::Reference<::com::sun::star::lang::XSingleComponentFactory> factory =
      ::cppu::createSingleComponentFactory(
          create, ::rtl::OUString(kImplementationName),
          ::com::sun::star::uno::Sequence<::rtl::OUString>(&service, 1));
  factory->acquire();
  return factory.get();
}

extern "C" SAL_DLLPUBLIC_EXPORT void component_getImplementationEnvironment(
    const char** environmentTypeName, uno_Environment**) {
  *environmentTypeName = CPPU_CURRENT_LANGUAGE_BINDING_NAME;
}
