// The members of _ctlMessage as dispatch finds them, from the control's own
// description (control/type_library.h): by dispatch id, and by name as
// automation binds names (case-blind; 明細型 and WEB明細型 too).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dorvane::windows {

enum class MemberKind { ObjectProperty, ValueProperty, Method };

struct MemberInfo {
  std::int32_t id;
  MemberKind kind;
  std::size_t parameterCount;
};

std::optional<MemberInfo> memberNamed(const std::u16string& name);
std::optional<MemberInfo> memberWithId(std::int32_t id);

}  // namespace dorvane::windows
