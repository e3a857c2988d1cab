#include "office/uno_variant.h"

#include <dorvane/object.h>

#include <com/sun/star/lang/XServiceInfo.hpp>
#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/supportsservice.hxx>

#include "platform/convert.h"

namespace dorvane::office {

namespace {

namespace css = ::com::sun::star;
namespace uno = css::uno;

// An object of the control (a database, a recordset, a cell) as a UNO
// object: it can be held and put back into a member, nothing more.
class ObjectHandle : public ::cppu::WeakImplHelper1<css::lang::XServiceInfo> {
 public:
  explicit ObjectHandle(std::shared_ptr<Object> object) : object_(std::move(object)) {}
  const std::shared_ptr<Object>& object() const { return object_; }

  ::rtl::OUString SAL_CALL getImplementationName() override { return "dorvane.office.Object"; }
  sal_Bool SAL_CALL supportsService(const ::rtl::OUString& name) override {
    return ::cppu::supportsService(this, name);
  }
  uno::Sequence<::rtl::OUString> SAL_CALL getSupportedServiceNames() override {
    const ::rtl::OUString name("Dorvane.Object");
    return uno::Sequence<::rtl::OUString>(&name, 1);
  }

 private:
  std::shared_ptr<Object> object_;
};

// An object from elsewhere in the office: no member of the control takes it.
class ForeignObject : public Object {};

std::u16string fromOU(const ::rtl::OUString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.getStr()),
                        static_cast<std::size_t>(s.getLength()));
}

}  // namespace

Variant toVariant(const uno::Any& a) {
  switch (a.getValueTypeClass()) {
    case uno::TypeClass_BOOLEAN:
      return Variant::boolean(*static_cast<const sal_Bool*>(a.getValue()));
    case uno::TypeClass_BYTE:
      return Variant::integer(*static_cast<const sal_Int8*>(a.getValue()));
    case uno::TypeClass_SHORT:
      return Variant::integer(*static_cast<const sal_Int16*>(a.getValue()));
    case uno::TypeClass_UNSIGNED_SHORT:
      return Variant::longValue(*static_cast<const sal_uInt16*>(a.getValue()));
    case uno::TypeClass_LONG:
      return Variant::longValue(*static_cast<const sal_Int32*>(a.getValue()));
    case uno::TypeClass_UNSIGNED_LONG:
      return Variant::dbl(*static_cast<const sal_uInt32*>(a.getValue()));
    case uno::TypeClass_HYPER:
      return Variant::dbl(static_cast<double>(*static_cast<const sal_Int64*>(a.getValue())));
    case uno::TypeClass_UNSIGNED_HYPER:
      return Variant::dbl(static_cast<double>(*static_cast<const sal_uInt64*>(a.getValue())));
    case uno::TypeClass_FLOAT:
      return Variant::single(*static_cast<const float*>(a.getValue()));
    case uno::TypeClass_DOUBLE:
      return Variant::dbl(*static_cast<const double*>(a.getValue()));
    case uno::TypeClass_CHAR:
      return Variant::string(std::u16string(1, *static_cast<const sal_Unicode*>(a.getValue())));
    case uno::TypeClass_STRING:
      return Variant::string(fromOU(*static_cast<const ::rtl::OUString*>(a.getValue())));
    case uno::TypeClass_INTERFACE: {
      uno::Reference<uno::XInterface> x(a, uno::UNO_QUERY);
      if (!x.is()) return Variant::object(nullptr);
      if (auto* handle = dynamic_cast<ObjectHandle*>(x.get()))
        return Variant::object(handle->object());
      return Variant::object(std::make_shared<ForeignObject>());
    }
    default:
      return Variant();
  }
}

uno::Any toAny(const Variant& v) {
  switch (v.type()) {
    case VarType::Empty:
    case VarType::Null:
      return {};
    case VarType::Boolean:
      return uno::Any(v.asBool());
    case VarType::Byte:
    case VarType::Integer:
      return uno::Any(static_cast<sal_Int16>(v.asInt()));
    case VarType::Long:
      return uno::Any(static_cast<sal_Int32>(v.asInt()));
    case VarType::Single:
      return uno::Any(static_cast<float>(v.asDouble()));
    case VarType::Double:
    case VarType::Date:
      return uno::Any(v.asDouble());
    case VarType::Currency:
      return uno::Any(static_cast<double>(v.asInt()) / 10000.0);
    case VarType::Decimal:
      return uno::Any(decimalToDouble(v.asDecimal()));
    case VarType::String:
      return uno::Any(::rtl::OUString(reinterpret_cast<const sal_Unicode*>(v.asString().data()),
                                      static_cast<sal_Int32>(v.asString().size())));
    case VarType::Object:
      if (!v.asObject()) return {};
      return uno::Any(uno::Reference<css::lang::XServiceInfo>(new ObjectHandle(v.asObject())));
    default:
      return {};
  }
}

}  // namespace dorvane::office
