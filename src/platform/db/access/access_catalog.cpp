#include "platform/db/access/access_catalog.h"

#include <dorvane/runtime_error.h>

#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

namespace {
constexpr std::int32_t kSystemFlags = static_cast<std::int32_t>(0x80000002u);

std::optional<std::string> textAt(const std::vector<JetValue>& row, int col) {
  if (col < 0 || static_cast<size_t>(col) >= row.size()) return std::nullopt;
  const JetValue& v = row[static_cast<size_t>(col)];
  if (v.kind == JetValue::Kind::Text) return text::toUtf8(v.text);
  return std::nullopt;
}

std::optional<std::int64_t> intAt(const std::vector<JetValue>& row, int col) {
  if (col < 0 || static_cast<size_t>(col) >= row.size()) return std::nullopt;
  const JetValue& v = row[static_cast<size_t>(col)];
  if (v.kind == JetValue::Kind::Integer) return v.i;
  return std::nullopt;
}
}  // namespace

bool CatalogEntry::system() const {
  return (flags & kSystemFlags) != 0 || name.rfind(u"MSys", 0) == 0 || name.rfind(u"~", 0) == 0;
}

int CollectSink::column(const char* name) const {
  std::u16string wanted = text::fromUtf8(name);
  for (size_t i = 0; i < def_.columns.size(); ++i)
    if (text::equalsText(text::fromUtf8(def_.columns[i].name), wanted)) return static_cast<int>(i);
  return -1;
}

std::vector<CatalogEntry> catalogFromRows(const CollectSink& objects, const std::string& path) {
  int name = objects.column("Name"), type = objects.column("Type"), id = objects.column("Id"),
      flags = objects.column("Flags"), database = objects.column("Database"),
      foreign = objects.column("ForeignName"), connect = objects.column("Connect");
  if (name < 0 || type < 0) {
    throw RuntimeError(err::kCannotOpenDatabase,
                       "The Access file '" + path +
                           "' is damaged: its catalog MSysObjects lacks the column Name or Type.");
  }
  std::vector<CatalogEntry> out;
  for (const auto& row : objects.rows()) {
    auto n = textAt(row, name);
    auto t = intAt(row, type);
    if (!n || !t) continue;
    CatalogEntry e;
    e.name = text::fromUtf8(*n);
    e.type = static_cast<int>(*t);
    e.id = static_cast<std::int32_t>(intAt(row, id).value_or(0));
    e.flags = static_cast<std::int32_t>(intAt(row, flags).value_or(0));
    e.database = textAt(row, database).value_or("");
    e.foreignName = textAt(row, foreign).value_or("");
    e.connect = textAt(row, connect).value_or("");
    out.push_back(std::move(e));
  }
  return out;
}

std::map<std::int32_t, std::vector<QueryRow>> queryRowsFromRows(const CollectSink& queries) {
  int attribute = queries.column("Attribute"), order = queries.column("Order"),
      flag = queries.column("Flag"), name1 = queries.column("Name1"),
      name2 = queries.column("Name2"), expression = queries.column("Expression"),
      objectId = queries.column("ObjectId");
  std::map<std::int32_t, std::vector<QueryRow>> out;
  if (attribute < 0 || objectId < 0) return out;
  for (const auto& row : queries.rows()) {
    auto a = intAt(row, attribute);
    auto o = intAt(row, objectId);
    if (!a || !o) continue;
    QueryRow q;
    q.attribute = static_cast<int>(*a);
    if (order >= 0 && row[static_cast<size_t>(order)].kind == JetValue::Kind::Blob)
      q.order = row[static_cast<size_t>(order)].bytes;
    q.flag = intAt(row, flag);
    q.name1 = textAt(row, name1);
    q.name2 = textAt(row, name2);
    q.expression = textAt(row, expression);
    out[static_cast<std::int32_t>(*o)].push_back(std::move(q));
  }
  return out;
}

}  // namespace dorvane::db
