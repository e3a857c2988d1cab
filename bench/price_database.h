// The benchmarks' reference database: "!!p" sums items.price by code (indexed),
// with codes K00000, K00001, ... and prices 0, 1.25, 2.5, ...
#pragma once

#include <string>

#include "../tests/support/temp_db.h"
#include "platform/text/utf.h"

namespace dorvane::bench {

// Builds it once per process in a folder that lives as long as the process.
inline std::u16string priceDatabase(int codes) {
  static testing::TempDir* dir = new testing::TempDir;
  std::string file = dir->file("bench-" + std::to_string(codes) + ".sqlite");
  std::string sql = testing::referenceTableSchema();
  sql += "CREATE TABLE items (code TEXT, price DOUBLE); CREATE INDEX items_code ON items (code);";
  sql +=
      "INSERT INTO 参照ﾃｰﾌﾞﾙ (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "
      "\"ﾃｰﾌﾞﾙ／ｸｴﾘｰF\", ﾃｰﾌﾞﾙ名, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES ('!!p', 1, 'code', '" +
      file + "', 'price', '数値', 'table', 'items', 1, '四捨五入', 2);";
  sql += "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(codes - 1) +
         ") INSERT INTO items SELECT printf('K%05d', i), i * 1.25 FROM n;";
  testing::buildDatabase(file, sql);
  return text::fromUtf8(file);
}

}  // namespace dorvane::bench
