// Stored Access queries: rebuilding a select query from its MSysQueries rows
// into SQLite SQL.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dorvane::db {

// One MSysQueries row (one clause of a query).
struct QueryRow {
  int attribute = 0;
  std::vector<std::uint8_t> order;  // compared bytewise
  std::optional<std::int64_t> flag;
  std::optional<std::string> name1, name2, expression;  // UTF-8
};

// The query types of MSysObjects' Flags.
namespace query_flags {
inline constexpr int kSelect = 0, kCrosstab = 16, kDelete = 32, kUpdate = 48, kAppend = 64,
                     kMakeTable = 80, kDataDefinition = 96, kPassThrough = 112, kUnion = 128;
}

// The name of a query type ("crosstab", "union", ...).
std::string queryTypeName(int objectFlags);

// What a query needs to know of a table or query it reads from.
struct SourceShape {
  bool isTable = false;              // a table (which has rowids), not a query
  std::vector<std::string> columns;  // column names, UTF-8
};
// Gives the shape of the named table or query; raises when there is none.
using ShapeOf = std::function<SourceShape(const std::string& name)>;

// Builds the SELECT statement (SQLite SQL, UTF-8) of a stored select query
// from its rows (any order) and its MSysObjects Flags. shapeOf is asked only
// for DISTINCTROW over several tables, which keeps one row per combination of
// rows of the tables whose fields it shows. Raises TranslateError
// (translate_error.h) with the reason when it is no select query or uses
// what cannot be translated; passes on what shapeOf raises.
std::string buildQuerySql(std::vector<QueryRow> rows, int objectFlags, const ShapeOf& shapeOf);

}  // namespace dorvane::db
