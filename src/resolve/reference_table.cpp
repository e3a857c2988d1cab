#include "resolve/reference_table.h"

#include <dorvane/runtime_error.h>

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

std::vector<ObservedField> observedRow(const Recordset& kivrs) {
  static constexpr const char16_t* kShown[] = {
      names::kDbName,   names::kTableOrQuery, names::kTableName,     names::kQueryName,
      names::kKeyField, names::kAltKeyField,  names::kFieldName,     names::kFieldType,
      names::kUnit,     names::kRounding,     names::kDecimalPlaces, names::kTransferPriority};
  std::vector<ObservedField> fields;
  for (const char16_t* column : kShown) {
    try {
      const Variant v = kivrs.Fields(column);
      fields.push_back({column, v.isNull() ? u"Null" : toText(v)});
    } catch (const RuntimeError&) {
      // not a column of this reference table
    }
  }
  return fields;
}

}  // namespace dorvane::reference
