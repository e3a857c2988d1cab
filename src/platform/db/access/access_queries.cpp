#include "platform/db/access/access_queries.h"

#include <algorithm>
#include <set>

#include "platform/db/access_sql_translate.h"
#include "platform/db/sqlite/sqlite_connection.h"

namespace dorvane::db {

namespace {

namespace attr {
constexpr int kType = 1, kParameter = 2, kFlags = 3, kTable = 5, kColumn = 6, kJoin = 7, kWhere = 8,
              kGroupBy = 9, kHaving = 10, kOrderBy = 11;
}
namespace select_flags {
constexpr int kStar = 0x01, kDistinct = 0x02, kDistinctRow = 0x08, kTop = 0x10, kPercent = 0x20;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

struct FromPart {
  std::string sql;
  std::set<std::string> refs;  // upper-cased table names or aliases inside
};

// DISTINCTROW over several tables keeps one row per combination of rows of
// the tables whose fields the query shows: a grouping by their rowids, or ""
// when it shows fields of every table (then every row is such a combination).
std::string distinctRowGrouping(const std::vector<std::pair<std::string, std::string>>& tables,
                                const std::vector<const QueryRow*>& columns,
                                const ShapeOf& shapeOf) {
  std::set<std::string> shown;
  auto keyOf = [](const std::pair<std::string, std::string>& t) {
    return upper(t.second.empty() ? t.first : t.second);
  };
  std::vector<std::pair<SourceShape, std::string>> shapes;  // lazily filled
  for (const QueryRow* c : columns) {
    NameUses uses = namesIn(c->expression.value_or(""));
    for (const auto& q : uses.qualifiers) shown.insert(upper(q));
    for (const auto& name : uses.unqualified) {
      if (shapes.empty()) {
        for (const auto& t : tables) shapes.emplace_back(shapeOf(t.first), keyOf(t));
      }
      bool found = false;
      for (const auto& [shape, key] : shapes) {
        for (const auto& col : shape.columns) {
          if (upper(col) == upper(name)) {
            shown.insert(key);
            found = true;
          }
        }
      }
      if (!found) throw TranslateError("its column '" + name + "' is in none of its tables");
    }
  }
  std::string group;
  bool all = true;
  for (const auto& t : tables) all = all && shown.count(keyOf(t));
  if (all) return "";
  for (const auto& t : tables) {
    if (!shown.count(keyOf(t))) continue;
    if (!shapeOf(t.first).isTable)
      throw TranslateError("DISTINCTROW showing fields of the query '" + t.first +
                           "' joined with other tables is not supported");
    group +=
        (group.empty() ? "" : ", ") + quoteName(t.second.empty() ? t.first : t.second) + ".rowid";
  }
  return group;
}

}  // namespace

std::string queryTypeName(int objectFlags) {
  switch (objectFlags & 0xF0) {
    case query_flags::kSelect:
      return "select";
    case query_flags::kCrosstab:
      return "crosstab";
    case query_flags::kDelete:
      return "delete";
    case query_flags::kUpdate:
      return "update";
    case query_flags::kAppend:
      return "append";
    case query_flags::kMakeTable:
      return "make-table";
    case query_flags::kDataDefinition:
      return "data-definition";
    case query_flags::kPassThrough:
      return "pass-through";
  }
  if ((objectFlags & 0xF0) == query_flags::kUnion || (objectFlags & 0x80)) return "union";
  return "unknown";
}

std::string buildQuerySql(std::vector<QueryRow> rows, int objectFlags, const ShapeOf& shapeOf) {
  std::string type = queryTypeName(objectFlags);
  if (type != "select") throw TranslateError("it is a " + type + " query, not a select query");
  std::stable_sort(rows.begin(), rows.end(), [](const QueryRow& a, const QueryRow& b) {
    return a.attribute != b.attribute ? a.attribute < b.attribute : a.order < b.order;
  });

  int flags = 0;
  std::string top;
  std::vector<std::pair<std::string, std::string>> tables;  // name, alias
  std::vector<const QueryRow*> columns, joins, where, groupBy, having, orderBy;
  for (const QueryRow& r : rows) {
    switch (r.attribute) {
      case attr::kType:
        if (r.flag && *r.flag != 1) throw TranslateError("it is not a select query");
        break;
      case attr::kParameter:
        throw TranslateError("it asks for the parameter '" + r.name1.value_or("") + "'");
      case attr::kFlags:
        flags = static_cast<int>(r.flag.value_or(0));
        if (r.name1) top = *r.name1;
        break;
      case attr::kTable:
        if (!r.name1) throw TranslateError("a subquery in its FROM clause is not supported");
        if (r.expression && !r.expression->empty())
          throw TranslateError("a table in another database ('" + *r.expression +
                               "') is not supported");
        tables.emplace_back(*r.name1, r.name2.value_or(""));
        break;
      case attr::kColumn:
        columns.push_back(&r);
        break;
      case attr::kJoin:
        joins.push_back(&r);
        break;
      case attr::kWhere:
        where.push_back(&r);
        break;
      case attr::kGroupBy:
        groupBy.push_back(&r);
        break;
      case attr::kHaving:
        having.push_back(&r);
        break;
      case attr::kOrderBy:
        orderBy.push_back(&r);
        break;
      default:
        break;
    }
  }
  if (tables.empty()) throw TranslateError("it names no table");
  if (flags & select_flags::kPercent) throw TranslateError("TOP n PERCENT is not supported");

  std::string sql = "SELECT ";
  if (flags & select_flags::kDistinct) sql += "DISTINCT ";
  std::vector<std::string> items;
  if (flags & select_flags::kStar) items.push_back("*");
  int unnamed = 0;
  for (const QueryRow* c : columns) {
    if (!c->expression) throw TranslateError("a column without an expression");
    std::string e = translateAccessExpression(*c->expression);
    if (c->name1 && !c->name1->empty()) {
      e += " AS " + quoteName(*c->name1);
    } else if (!isColumnReference(*c->expression) && e.find('*') == std::string::npos) {
      e += " AS " + quoteName("Expr" + std::to_string(1000 + unnamed++));
    }
    items.push_back(e);
  }
  if (items.empty()) throw TranslateError("it selects no column");
  std::string distinctRowGroup;
  if ((flags & select_flags::kDistinctRow) && tables.size() > 1 && groupBy.empty() &&
      !(flags & select_flags::kStar))
    distinctRowGroup = distinctRowGrouping(tables, columns, shapeOf);
  for (size_t i = 0; i < items.size(); ++i) sql += (i ? ", " : "") + items[i];

  // FROM: joined tables grouped into join chains, the others listed apart.
  auto tableSql = [&](const std::string& ref) -> std::pair<std::string, std::string> {
    for (const auto& [name, alias] : tables) {
      std::string key = alias.empty() ? name : alias;
      if (upper(key) == upper(ref))
        return {quoteName(name) + (alias.empty() ? "" : " AS " + quoteName(alias)), upper(key)};
    }
    throw TranslateError("a join names the table '" + ref + "', which the query does not list");
  };
  std::vector<FromPart> parts;
  std::vector<std::string> extraWhere;
  auto partOf = [&](const std::string& key) -> FromPart* {
    for (auto& p : parts)
      if (p.refs.count(key)) return &p;
    return nullptr;
  };
  for (const QueryRow* j : joins) {
    if (!j->name1 || !j->name2 || !j->expression) throw TranslateError("an incomplete join");
    std::string kind;
    std::string flipped;
    switch (j->flag.value_or(1)) {
      case 1:
        kind = flipped = "INNER JOIN";
        break;
      case 2:
        kind = "LEFT JOIN", flipped = "RIGHT JOIN";
        break;
      case 3:
        kind = "RIGHT JOIN", flipped = "LEFT JOIN";
        break;
      default:
        throw TranslateError("a join of an unknown kind");
    }
    auto [lSql, lKey] = tableSql(*j->name1);
    auto [rSql, rKey] = tableSql(*j->name2);
    std::string on = " ON " + translateAccessExpression(*j->expression);
    FromPart* lp = partOf(lKey);
    FromPart* rp = partOf(rKey);
    if (!lp && !rp) {
      parts.push_back({lSql + " " + kind + " " + rSql + on, {lKey, rKey}});
    } else if (lp && !rp) {
      lp->sql += " " + kind + " " + rSql + on;
      lp->refs.insert(rKey);
    } else if (rp && !lp) {
      rp->sql += " " + flipped + " " + lSql + on;
      rp->refs.insert(lKey);
    } else if (lp != rp) {
      // Two chains joined to each other: Access's nested joins.
      lp->sql = "(" + lp->sql + ") " + kind + " (" + rp->sql + ")" + on;
      lp->refs.insert(rp->refs.begin(), rp->refs.end());
      parts.erase(parts.begin() + (rp - parts.data()));
    } else if (kind == "INNER JOIN") {
      // A further condition between tables already joined.
      extraWhere.push_back(translateAccessExpression(*j->expression));
    } else {
      throw TranslateError("this arrangement of outer joins is not supported");
    }
  }
  std::string from;
  auto addFrom = [&](const std::string& s) { from += (from.empty() ? "" : ", ") + s; };
  for (const auto& p : parts) addFrom(p.sql);
  for (const auto& [name, alias] : tables) {
    std::string key = upper(alias.empty() ? name : alias);
    if (!partOf(key)) addFrom(tableSql(alias.empty() ? name : alias).first);
  }
  sql += " FROM " + from;

  auto clause = [&](const std::vector<const QueryRow*>& rs, const char* word, const char* sep) {
    if (rs.empty()) return;
    sql += word;
    for (size_t i = 0; i < rs.size(); ++i) {
      if (!rs[i]->expression) throw TranslateError(std::string("an empty") + word + " clause");
      sql += (i ? sep : "") + translateAccessExpression(*rs[i]->expression);
    }
  };
  clause(where, " WHERE ", " AND ");
  for (size_t i = 0; i < extraWhere.size(); ++i)
    sql += (i == 0 && where.empty() ? " WHERE " : " AND ") + extraWhere[i];
  clause(groupBy, " GROUP BY ", ", ");
  if (!distinctRowGroup.empty()) sql += " GROUP BY " + distinctRowGroup;
  clause(having, " HAVING ", " AND ");
  if (!orderBy.empty()) {
    sql += " ORDER BY ";
    for (size_t i = 0; i < orderBy.size(); ++i) {
      if (!orderBy[i]->expression) throw TranslateError("an empty ORDER BY clause");
      sql += (i ? ", " : "") + translateAccessExpression(*orderBy[i]->expression);
      if (orderBy[i]->name1 && upper(*orderBy[i]->name1) == "D") sql += " DESC";
    }
  }
  if (flags & select_flags::kTop) {
    if (top.empty() || top.find_first_not_of("0123456789") != std::string::npos)
      throw TranslateError("TOP with the count '" + top + "' is not understood");
    sql += " LIMIT " + top;
  }
  return sql;
}

}  // namespace dorvane::db
