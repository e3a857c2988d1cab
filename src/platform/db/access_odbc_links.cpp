#include "platform/db/access_odbc_links.h"

#include <dorvane/runtime_error.h>

#include <algorithm>

#include "platform/db/access/access_file.h"
#include "platform/db/access/access_queries.h"
#include "platform/db/odbc/odbc_database.h"
#include "platform/db/odbc_connect_string.h"
#include "platform/db/sqlite/sqlite_database.h"
#include "platform/text/compare.h"
#include "platform/text/utf.h"

namespace dorvane::db {

RemoteTable remoteTableOf(const CatalogEntry& link) {
  std::u16string foreign = text::fromUtf8(link.foreignName);
  if (foreign.empty()) foreign = link.name;
  RemoteTable t;
  if (size_t dot = foreign.find(u'.'); dot != std::u16string::npos) {
    t.schema = foreign.substr(0, dot);
    t.name = foreign.substr(dot + 1);
  } else {
    t.name = foreign;
  }
  return t;
}

void checkOdbcLink(const CatalogEntry& link) {
  OdbcConnection::pooled(odbcAttributes(link.connect))
      ->run(u"SELECT * FROM " + remoteTableOf(link).quoted() + u" WHERE 1 = 0", {});
}

namespace {
constexpr int kMaxQueryDepth = 8;
// MSysQueries attributes and select flags (see the rebuilding of queries).
constexpr int kType = 1, kParameter = 2, kFlags = 3, kTable = 5, kColumn = 6, kJoin = 7, kWhere = 8,
              kGroupBy = 9, kHaving = 10, kOrderBy = 11;
constexpr int kStar = 0x01, kDistinct = 0x02, kDistinctRow = 0x08, kTop = 0x10;

std::u16string bracketed(const std::string& name) { return u"[" + text::fromUtf8(name) + u"]"; }
}  // namespace

std::u16string accessQueryText(std::vector<QueryRow> rows, int objectFlags) {
  if ((objectFlags & 0xF0) != query_flags::kSelect || (objectFlags & 0x80))
    throw TranslateError("it is no select query");
  std::stable_sort(rows.begin(), rows.end(), [](const QueryRow& a, const QueryRow& b) {
    return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
  });
  int flags = 0;
  std::vector<std::u16string> columns, where, groupBy, having, orderBy;
  std::vector<std::pair<std::string, std::string>> tables;  // name, alias
  std::vector<const QueryRow*> joins;
  for (const QueryRow& r : rows) {
    std::u16string e = text::fromUtf8(r.expression.value_or(""));
    switch (r.attribute) {
      case kType:
        if (r.flag && *r.flag != 1) throw TranslateError("it is no select query");
        break;
      case kParameter:
        throw TranslateError("it asks for a parameter");
      case kFlags:
        flags = static_cast<int>(r.flag.value_or(0));
        if (flags & kTop) throw TranslateError("TOP has no standard form");
        break;
      case kTable:
        if (!r.name1 || !e.empty()) throw TranslateError("it reads a subquery or another file");
        tables.emplace_back(*r.name1, r.name2.value_or(""));
        break;
      case kColumn:
        columns.push_back(e + (r.name1 && !r.name1->empty() ? u" AS " + bracketed(*r.name1) : u""));
        break;
      case kJoin:
        if (!r.name1 || !r.name2 || e.empty()) throw TranslateError("an incomplete join");
        joins.push_back(&r);
        break;
      case kWhere:
        where.push_back(e);
        break;
      case kGroupBy:
        groupBy.push_back(e);
        break;
      case kHaving:
        having.push_back(e);
        break;
      case kOrderBy:
        orderBy.push_back(e + (r.name1 && (*r.name1 == "D" || *r.name1 == "d") ? u" DESC" : u""));
        break;
      default:
        break;
    }
  }
  if (tables.empty()) throw TranslateError("it names no table");
  if (flags & kStar) columns.insert(columns.begin(), u"*");
  if (columns.empty()) throw TranslateError("it selects no column");
  auto join = [](const std::vector<std::u16string>& parts, std::u16string_view sep) {
    std::u16string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? std::u16string(sep) : u"") + parts[i];
    return out;
  };
  auto tableText = [&](const std::string& ref) {
    for (const auto& [name, alias] : tables)
      if (text::equalsText(text::fromUtf8(alias.empty() ? name : alias), text::fromUtf8(ref)))
        return bracketed(name) + (alias.empty() ? u"" : u" AS " + bracketed(alias));
    throw TranslateError("a join names a table the query does not list");
  };
  // FROM: one chain of joins, each joining a table to those before it, then
  // the tables no join names.
  std::u16string from;
  std::vector<std::string> joined;
  auto inChain = [&](const std::string& ref) {
    for (const auto& j : joined)
      if (text::equalsText(text::fromUtf8(j), text::fromUtf8(ref))) return true;
    return false;
  };
  for (const QueryRow* j : joins) {
    const char16_t* kind = j->flag.value_or(1) == 2   ? u" LEFT JOIN "
                           : j->flag.value_or(1) == 3 ? u" RIGHT JOIN "
                                                      : u" INNER JOIN ";
    std::u16string on = u" ON " + text::fromUtf8(*j->expression);
    if (joined.empty()) {
      from = tableText(*j->name1) + kind + tableText(*j->name2) + on;
      joined = {*j->name1, *j->name2};
    } else if (inChain(*j->name1) && !inChain(*j->name2)) {
      from += kind + tableText(*j->name2) + on;
      joined.push_back(*j->name2);
    } else {
      throw TranslateError("this arrangement of joins has no plain standard form");
    }
  }
  for (const auto& [name, alias] : tables)
    if (!inChain(alias.empty() ? name : alias))
      from += (from.empty() ? u"" : u", ") + tableText(alias.empty() ? name : alias);
  std::u16string out = u"SELECT ";
  if (flags & (kDistinct | kDistinctRow)) out += u"DISTINCT ";
  out += join(columns, u", ") + u" FROM " + from;
  if (!where.empty()) out += u" WHERE " + join(where, u" AND ");
  if (!groupBy.empty()) out += u" GROUP BY " + join(groupBy, u", ");
  if (!having.empty()) out += u" HAVING " + join(having, u" AND ");
  if (!orderBy.empty()) out += u" ORDER BY " + join(orderBy, u", ");
  return out;
}

std::string AccessOdbcLinks::serverOf(const CatalogEntry* entry, int depth) {
  if (!entry) return "";
  if (entry->type == object_type::kOdbcLinkedTable) return odbcAttributes(entry->connect);
  if (entry->type != object_type::kQuery || depth > kMaxQueryDepth) return "";
  const std::vector<QueryRow>* rows = file_.queryRows(*entry);
  if (!rows) return "";
  std::string server;
  for (const QueryRow& r : *rows) {
    if (r.attribute != kTable) continue;
    std::string s = r.name1 ? serverOf(file_.find(text::fromUtf8(*r.name1)), depth + 1) : "";
    if (s.empty() || (!server.empty() && s != server)) return "";
    server = s;
  }
  return server;
}

std::u16string AccessOdbcLinks::queryText(const CatalogEntry& query) {
  const std::vector<QueryRow>* rows = file_.queryRows(query);
  try {
    if (!rows) throw TranslateError("MSysQueries holds no clause of it");
    return accessQueryText(*rows, query.flags);
  } catch (const TranslateError& e) {
    throw RuntimeError(err::kSyntaxError, "The stored query '" + text::toUtf8(query.name) +
                                              "' of '" + file_.path() +
                                              "' cannot be run on its server: " + e.what() + ".");
  }
}

std::shared_ptr<Recordset> AccessOdbcLinks::open(const std::u16string& source) {
  // Most files link to no server: their texts are not looked at here.
  if (std::none_of(file_.catalog().begin(), file_.catalog().end(),
                   [](const CatalogEntry& e) { return e.type == object_type::kOdbcLinkedTable; }))
    return nullptr;
  // A name of the file's catalog (blanks included) opens that object; only
  // what lives on one server is read here.
  if (const CatalogEntry* entry = file_.find(sourceName(source))) {
    std::string server = serverOf(entry, 0);
    if (server.empty()) return nullptr;
    connection_ = OdbcConnection::pooled(server);
    if (entry->type == object_type::kQuery)
      return openOnServer(*connection_, *this, queryText(*entry), source);
    return std::make_shared<OdbcDynaset>(
        connection_->run(u"SELECT * FROM " + remoteTableOf(*entry).quoted(), {}), source);
  }
  std::vector<std::u16string> names;
  try {
    names = sourceTables(source);
  } catch (const TranslateError& e) {
    // A text the server would get, if it names a server table, that cannot
    // be taken apart; otherwise the file's own copy reports what is wrong.
    for (const auto& entry : file_.catalog())
      if (entry.type == object_type::kOdbcLinkedTable &&
          text::InStr(1, source, entry.name, text::CompareMode::Text) > 0)
        throw RuntimeError(err::kSyntaxError, "The SQL text cannot be run on the server '" +
                                                  maskPasswords(odbcAttributes(entry.connect)) +
                                                  "': " + e.what() + ": " + text::toUtf8(source));
    return nullptr;
  }
  std::vector<std::string> servers;
  std::string server;
  bool mixed = false;
  for (const auto& name : names) {
    servers.push_back(serverOf(file_.find(name), 0));
    if (servers.back().empty()) {
      mixed = true;
      continue;
    }
    if (server.empty()) server = servers.back();
    if (servers.back() != server) mixed = true;
  }
  if (server.empty()) return nullptr;
  if (mixed) {
    std::string onServers, local;
    for (size_t i = 0; i < names.size(); ++i) {
      std::string name = text::toUtf8(names[i]);
      if (!servers[i].empty())
        onServers +=
            (onServers.empty() ? "" : ", ") + name + " ('" + maskPasswords(servers[i]) + "')";
      else
        local += (local.empty() ? "" : ", ") + name;
    }
    throw RuntimeError(err::kOperationNotSupported,
                       "The SQL text reads tables of more than one source, which are not joined "
                       "here: on a server " +
                           onServers +
                           (local.empty() ? "" : "; in '" + file_.path() + "' " + local) + ": " +
                           text::toUtf8(source));
  }
  connection_ = OdbcConnection::pooled(server);
  return openOnServer(*connection_, *this, source, source);
}

RemoteTable AccessOdbcLinks::table(const std::u16string& written) {
  // open() let only links and queries over this connection's server through.
  const CatalogEntry* entry = file_.find(written);
  if (entry->type != object_type::kQuery) return remoteTableOf(*entry);
  RemoteTable t;
  t.name = entry->name;
  try {
    t.select = translateForServer(queryText(*entry), *this, false).sql;
  } catch (const TranslateError& e) {
    throw RuntimeError(err::kSyntaxError, "The stored query '" + text::toUtf8(entry->name) +
                                              "' of '" + file_.path() +
                                              "' cannot be run on its server: " + e.what() + ".");
  }
  return t;
}

const std::vector<OdbcColumn>& AccessOdbcLinks::columns(const RemoteTable& table) {
  return connection_->columns(table);
}

}  // namespace dorvane::db
