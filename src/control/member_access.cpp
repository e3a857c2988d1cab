#include "control/member_access.h"

#include <dorvane/sheet.h>

#include <cmath>
#include <limits>

#include "platform/convert.h"

namespace dorvane::members {

namespace {

template <class T>
Outcome put(ctlMessage& c, void (ctlMessage::*setter)(std::shared_ptr<T>),
            std::shared_ptr<Object> object) {
  if (!object) {
    (c.*setter)(nullptr);
    return Outcome::Done;
  }
  auto typed = std::dynamic_pointer_cast<T>(std::move(object));
  if (!typed) return Outcome::TypeMismatch;
  (c.*setter)(std::move(typed));
  return Outcome::Done;
}

}  // namespace

std::optional<Variant> get(const ctlMessage& c, std::int32_t id) {
  switch (id) {
    case kC:
      return Variant::object(c.get_c());
    case kKivdbtbl:
      return Variant::object(c.get_kivdbtbl());
    case kKivdbdetail:
      return Variant::object(c.get_kivdbdetail());
    case kObjExcel:
      return Variant::object(c.get_objExcel());
    case kObjWorkbook:
      return Variant::object(c.get_objWorkbook());
    case kObjWorksheet:
      return Variant::object(c.get_objWorksheet());
    case kKivdb:
      return Variant::object(c.get_kivdb());
    case kDB:
      return Variant::object(c.get_DB());
    case kKivrs:
      return Variant::object(c.get_kivrs());
    case kKivrs2:
      return Variant::object(c.get_kivrs2());
    case kRs:
      return Variant::object(c.get_rs());
    case kWkcycle:
      return Variant::integer(c.get_wkcycle());
    case kText:
      return Variant::string(c.get_text());
    case kHitStr:
      return Variant::longValue(c.get_HitStr());
    case kTextWeb:
      return Variant::string(c.get_textWeb());
    case kTextWebbefore:
      return Variant::string(c.get_textWebbefore());
    default:
      return std::nullopt;
  }
}

Outcome putObject(ctlMessage& c, std::int32_t id, std::shared_ptr<Object> object) {
  switch (id) {
    case kC:
      return put(c, &ctlMessage::putref_c, std::move(object));
    case kKivdbtbl:
      return put(c, &ctlMessage::putref_kivdbtbl, std::move(object));
    case kKivdbdetail:
      return put(c, &ctlMessage::putref_kivdbdetail, std::move(object));
    case kObjExcel:
      return put(c, &ctlMessage::putref_objExcel, std::move(object));
    case kObjWorkbook:
      return put(c, &ctlMessage::putref_objWorkbook, std::move(object));
    case kObjWorksheet:
      return put(c, &ctlMessage::putref_objWorksheet, std::move(object));
    case kKivdb:
      return put(c, &ctlMessage::putref_kivdb, std::move(object));
    case kDB:
      return put(c, &ctlMessage::putref_DB, std::move(object));
    case kKivrs:
      return put(c, &ctlMessage::putref_kivrs, std::move(object));
    case kKivrs2:
      return put(c, &ctlMessage::putref_kivrs2, std::move(object));
    case kRs:
      return put(c, &ctlMessage::putref_rs, std::move(object));
    default:
      return Outcome::NoMember;
  }
}

Outcome putValue(ctlMessage& c, std::int32_t id, const Variant& v) {
  switch (id) {
    case kWkcycle:
    case kHitStr: {
      const double d = toDouble(v, "the new value");
      const double limit = id == kWkcycle ? std::numeric_limits<std::int16_t>::max()
                                          : std::numeric_limits<std::int32_t>::max();
      // Whole numbers as automation converts them: rounded half to even.
      const double rounded = std::nearbyint(d);
      if (rounded > limit || rounded < -limit - 1) return Outcome::Overflow;
      if (id == kWkcycle) {
        c.put_wkcycle(static_cast<std::int16_t>(rounded));
      } else {
        c.put_HitStr(static_cast<std::int32_t>(rounded));
      }
      return Outcome::Done;
    }
    case kText:
      c.put_text(toText(v, "the new text"));
      return Outcome::Done;
    case kTextWeb:
      c.put_textWeb(toText(v, "the new textWeb"));
      return Outcome::Done;
    case kTextWebbefore:
      c.put_textWebbefore(toText(v, "the new textWebbefore"));
      return Outcome::Done;
    default:
      return Outcome::NoMember;
  }
}

Outcome call(ctlMessage& c, std::int32_t id, const std::vector<std::u16string>& s) {
  const std::size_t count = id == kOcxKiv ? 2 : id == kOcxwebKiv ? 4 : 0;
  if (id != kDetailRows && id != kOcxKiv && id != kOcxwebKiv && id != kWebDetailRows)
    return Outcome::NoMember;
  if (s.size() != count) return Outcome::TypeMismatch;
  switch (id) {
    case kDetailRows:
      c.明細型();
      break;
    case kOcxKiv:
      c.ocxKiv(s[0], s[1]);
      break;
    case kOcxwebKiv:
      c.ocxwebKiv(s[0], s[1], s[2], s[3]);
      break;
    default:
      c.WEB明細型();
  }
  return Outcome::Done;
}

}  // namespace dorvane::members
