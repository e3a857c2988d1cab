#include "resolve/reference_table.h"

#include "platform/convert.h"
#include "platform/text/utf.h"
#include "resolve/names.h"

namespace dorvane::reference {

std::shared_ptr<Recordset> open(Database& kivdb) {
  return kivdb.OpenRecordset(names::kReferenceTable);
}

bool seek(Recordset& kivrs, const std::u16string& key) {
  kivrs.setIndex(names::kKeyIndex);
  kivrs.Seek(u"=", Variant::string(key));
  return !kivrs.NoMatch();
}

bool selectsPass(const Variant& transferPriority, std::int16_t wkcycle) {
  if (!transferPriority.isNumber()) return false;
  double v = toDouble(transferPriority);
  return (v == -1 && wkcycle == 1) || (v == 0 && wkcycle == 2);
}

std::u16string requireText(const Recordset& kivrs, const char16_t* column,
                           const std::u16string& key) {
  Variant v = kivrs.Fields(column);
  if (!v.isNull()) return toText(v);
  return toText(v, "column '" + text::toUtf8(column) + "' of the " +
                       text::toUtf8(names::kReferenceTable) + " row '" + text::toUtf8(key) + "'");
}

std::u16string joinText(const Recordset& kivrs, const char16_t* column) {
  Variant v = kivrs.Fields(column);
  return v.isNull() ? std::u16string() : toText(v);
}

}  // namespace dorvane::reference
