// The members of _ctlMessage by dispatch id, read, written and called as
// both component shells do it: the POSIX component runtime
// (control/ctl_message_object.cpp) and the Windows COM object
// (windows/ocx/ctl_message_com.cpp). Each shell turns its own argument and
// error types into these and back.
#pragma once

#include <dorvane/ctl_message.h>
#include <dorvane/variant.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::members {

// The dispatch ids of the type library's table.
enum : std::int32_t {
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

enum class Outcome { Done, NoMember, TypeMismatch, Overflow };

// The value of property id: an object member as an Object variant (null for
// Nothing), wkcycle as Integer, HitStr as Long, the texts as String;
// nullopt when id names no property.
std::optional<Variant> get(const ctlMessage& c, std::int32_t id);

// Puts object (null: Nothing) into object property id. TypeMismatch when
// the object is not of the kind the member holds.
Outcome putObject(ctlMessage& c, std::int32_t id, std::shared_ptr<Object> object);

// Puts value into value property id: numbers rounded to whole numbers half
// to even, as automation converts them (Overflow beyond the member's type),
// anything else as text. Raises type mismatch (13) for a value that does
// not convert.
Outcome putValue(ctlMessage& c, std::int32_t id, const Variant& value);

// Runs method id with its string arguments in the declared order (none for
// 明細型 and WEB明細型). NoMember for another id, TypeMismatch for another
// count. Raises what the method raises.
Outcome call(ctlMessage& c, std::int32_t id, const std::vector<std::u16string>& args);

}  // namespace dorvane::members
