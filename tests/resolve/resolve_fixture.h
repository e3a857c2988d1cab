// A reference database with one row per case of value resolution, and the
// source tables those rows name (all in one SQLite file).
#pragma once

#include <string>

#include "support/temp_db.h"

namespace dorvane::testing {

// Builds the database at path; "DB名" of every row names path itself except
// where a row is about a missing or Null database.
inline void buildResolveDatabase(const std::string& path) {
  std::string sql = referenceTableSchema();
  sql += R"sql(
CREATE TABLE items (code TEXT, name TEXT, price DOUBLE, note TEXT, lot TEXT);
CREATE INDEX items_code ON items (code);
INSERT INTO items VALUES
  ('A01', 'pen', 120, 'black', '1'), ('A01', NULL, 80, '', '2'),
  ('A02', 'note', 245.5, NULL, '1'), ('T1', 'x', 2500, NULL, NULL),
  ('R1', NULL, 2.675, NULL, NULL), ('R2', NULL, -2.5, NULL, NULL),
  ('S1', NULL, 1234, NULL, NULL),
  ('N1', 'a', 1, NULL, NULL), ('N1', NULL, 2, NULL, NULL), ('N1', 'b', 3, NULL, NULL),
  ('Q', 'quoted', 9, NULL, '2''3');
CREATE TABLE mixed (code TEXT, v TEXT);
INSERT INTO mixed VALUES ('M1', '10'), ('M1', NULL), ('M1', '5'), ('M1', 'x'),
                         ('M2', '1,000'), ('M2', ' 7 ');
CREATE VIEW q_items AS SELECT code, lot, price * 2 AS price FROM items;
INSERT INTO 参照ﾃｰﾌﾞﾙ
  (ｷｰ, 転送優先, ｷｰﾌｨｰﾙﾄﾞ, ALTｷｰﾌｨｰﾙﾄﾞ, DB名, ﾌｨｰﾙﾄﾞ名, ﾌｨｰﾙﾄﾞﾀｲﾌﾟ, "ﾃｰﾌﾞﾙ／ｸｴﾘｰF",
   ﾃｰﾌﾞﾙ名, ｸｴﾘｰ名, コメント項目名, 内容説明, 単位, ﾗｳﾝﾄﾞ, 小数位) VALUES
  ('!!price',    1, 'code', 'lot', '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, '単価', 1, '四捨五入', 0),
  ('!!k_down',   1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1000, '切り捨て', 0),
  ('!!k_up',     1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1000, '切り上げ', 0),
  ('!!k_near',   1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1000, '四捨五入', 0),
  ('!!t_down',   1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '切り捨て', -3),
  ('!!t_up',     1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '切り上げ', -3),
  ('!!t_near',   1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', -3),
  ('!!r2',       1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 2),
  ('!!thousand', 1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1000, '四捨五入', 0),
  ('!!mixed',    1, 'code', NULL, '@DB@', 'v',     '数値', 'table', 'mixed', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!name',     0, 'code', NULL, '@DB@', 'name',  'テキスト', 'table', 'items', NULL, 'note', '品名', 1, NULL, 0),
  ('!!names',    1, 'code', NULL, '@DB@', 'name',  'テキスト', 'table', 'items', NULL, NULL, '品名一覧', 1, '連結', 0),
  ('!!qprice',   1, 'code', 'lot', '@DB@', 'price', '数値', 'query', NULL, 'q_items', NULL, NULL, 1, '四捨五入', 1),
  ('!!badround', 1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, '丸め不明', 1, '適当', 0),
  ('!!Table',    1, 'code', NULL, '@DB@', 'price', '数値', 'Table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!trail',    1, 'code', NULL, '@DB@', 'price', '数値 ', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!nullprio', NULL, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!nodb',     1, 'code', NULL, '@DIR@/missing.sqlite', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!nulldb',   1, 'code', NULL, NULL, 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!unit0',    1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 0, '四捨五入', 0),
  ('!!nullunit', 1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, NULL, '四捨五入', 0),
  ('!!nullplaces', 1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, NULL, 1, '適当', NULL),
  ('!!badfield', 1, 'code', NULL, '@DB@', 'nope',  '数値', 'table', 'items', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!notable',  1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'nope', NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!nulltable', 1, 'code', NULL, '@DB@', 'price', '数値', 'table', NULL, NULL, NULL, NULL, 1, '四捨五入', 0),
  ('!!nullcomment', 0, 'code', 'lot', '@DB@', 'name', 'テキスト', 'table', 'items', NULL, 'note', NULL, 1, NULL, 0),
  ('!!first',    1, 'code', 'lot', '@DB@', 'name',  'テキスト', 'table', 'items', NULL, NULL, NULL, 1, NULL, 0),
  ('!!dup',      1, 'code', NULL, '@DB@', 'price', '数値', 'table', 'items', NULL, NULL, 'first', 1, '四捨五入', 0),
  ('!!dup',      1, 'code', NULL, '@DB@', 'name',  'テキスト', 'table', 'items', NULL, NULL, 'second', 1, NULL, 0);
)sql";
  std::string dir = path.substr(0, path.rfind('/'));
  for (size_t p; (p = sql.find("@DB@")) != std::string::npos;) sql.replace(p, 4, path);
  for (size_t p; (p = sql.find("@DIR@")) != std::string::npos;) sql.replace(p, 5, dir);
  buildDatabase(path, sql);
}

}  // namespace dorvane::testing
