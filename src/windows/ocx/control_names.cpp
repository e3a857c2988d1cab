#include "ocx/control_names.h"

#include "control/type_library.h"

namespace dorvane::windows {

namespace {
std::optional<MemberInfo> info(const typelib::Member* m) {
  if (!m) return std::nullopt;
  MemberKind kind = m->kind == typelib::MemberKind::Method           ? MemberKind::Method
                    : m->kind == typelib::MemberKind::ObjectProperty ? MemberKind::ObjectProperty
                                                                     : MemberKind::ValueProperty;
  return MemberInfo{m->id, kind, m->parameters.size()};
}
}  // namespace

std::optional<MemberInfo> memberNamed(const std::u16string& name) {
  return info(typelib::memberByName(name));
}

std::optional<MemberInfo> memberWithId(std::int32_t id) { return info(typelib::memberById(id)); }

}  // namespace dorvane::windows
